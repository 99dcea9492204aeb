#pragma once

#include <string>

namespace PDF {

// PDF text strings (the /T, /Reason, /Location and /ContactInfo of a
// signature): PDFDocEncoding, or UTF-16BE after the byte order mark FE FF,
// or UTF-8 after EF BB BF. Text from a document is hostile input: whatever
// cannot be decoded reads as U+FFFD, never as an error.
class TextString {
public:
    // Wide text (one UTF-16 code unit per element, a character beyond U+FFFF
    // as a surrogate pair) that always converts to UTF-8: a surrogate without
    // its partner becomes U+FFFD, and so do undefined PDFDocEncoding codes
    // and broken UTF-8. A byte order mark alone is the empty text.
    // PDFDocEncoding ends at the first NUL byte. Bytes without a mark that
    // form valid UTF-8 beyond ASCII are read as UTF-8, as some writers (and
    // earlier versions of this one, for field names) store them.
    static std::wstring Decode(const std::string& bytes);
    // The same as UTF-8.
    static std::string DecodeToUtf8(const std::string& bytes);

    // UTF-8 text as a text string: PDFDocEncoding when every character has a
    // code there and the bytes cannot be read any other way, otherwise
    // UTF-16BE after FE FF. Broken UTF-8 is written as U+FFFD.
    static std::string Encode(const std::string& utf8);
};

}  // namespace PDF
