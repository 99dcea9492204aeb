#pragma once

#include <string>

// Text conversions at the edges of the host. Duktape keeps strings as CESU-8
// (characters beyond the Basic Multilingual Plane as two encoded surrogates);
// plug-ins, files and the terminal speak UTF-8.
namespace TextCodec {

// Script text to UTF-8: surrogate pairs are joined, a lone surrogate or a
// malformed sequence becomes U+FFFD.
std::string ScriptToUtf8(const char* text, size_t length);
inline std::string ScriptToUtf8(const std::string& text) {
    return ScriptToUtf8(text.data(), text.size());
}

// UTF-8 to script text: characters beyond U+FFFF become surrogate pairs,
// malformed input becomes U+FFFD.
std::string Utf8ToScript(const char* text, size_t length);
inline std::string Utf8ToScript(const std::string& text) {
    return Utf8ToScript(text.data(), text.size());
}

// Standard Base64 (RFC 4648 alphabet, '=' padding) without line breaks.
std::string Base64(const std::string& bytes);

}  // namespace TextCodec
