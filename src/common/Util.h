#pragma once

#include <ctime>
#include <string>

// Small shared functions. Wide text holds one UTF-16 code unit per element
// (a character beyond U+FFFF takes two, a surrogate pair); narrow text is UTF-8.
namespace Util {

// With utf8, reads UTF-16 code units and gives UTF-8 (utf8::invalid_utf16 on
// a broken surrogate); without, narrows each element to one byte.
std::string WtoA(const std::wstring& wide, bool utf8 = true);
// With utf8, decodes UTF-8 into UTF-16 code units (utf8::invalid_utf8 or
// utf8::invalid_code_point on bad input); without, widens each byte.
std::wstring AtoW(const std::string& narrow, bool utf8 = true);

bool StartsWithNoCase(const std::string& text, const char* prefix);
// http://, https://, ftp:// or tftp://, in any case.
bool IsRemoteUrl(const std::string& url);
// Turns a URL into a local file name in place: a remote URL becomes empty,
// "file://" is dropped and its escapes decoded, a bare name goes to the home folder.
void ProcessUrlToFileName(std::string& url);

// Copies source to destination (a path or file:// URL): 1 on success, 0 on
// failure. The copy is written beside the destination and renamed over it
// only once complete, so a failed copy leaves no half-written file behind.
int CopyFile(const std::string& source, const std::string& destination, const std::string& = std::string(),
             const std::string& = std::string());

// "dd.mm.yyyy" of the local date, empty for -1 or a time that cannot be converted.
std::string TimeToDateString(std::time_t time);

// Message id in language index `language` (that of the request or window
// asking), UTF-8.
std::string LoadString(int id, int language);

// The resource folder (message file, window descriptions, icons): the
// PENDREL_RESOURCE_DIR folder when set, else "resources" next to the library
// or program that holds this code (or in its parent folder).
std::string ResourceFolder();
std::string ResourcePath(const std::string& name);

}  // namespace Util
