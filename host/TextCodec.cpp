#include "host/TextCodec.h"

#include <cstdint>
#include <cstring>

namespace {

constexpr char32_t kReplacement = 0xFFFD;

// Decodes one sequence of up to four bytes (generalised UTF-8: surrogates are
// let through so that CESU-8 pairs can be joined by the caller). Returns the
// number of bytes used (at least 1) and the code point in `cp`; a malformed
// sequence yields U+FFFD for its first byte.
size_t Decode(const unsigned char* s, size_t n, char32_t& cp) {
    const unsigned char b0 = s[0];
    size_t len = 0;
    char32_t min = 0;
    if (b0 < 0x80) {
        cp = b0;
        return 1;
    } else if ((b0 & 0xE0) == 0xC0) {
        len = 2, cp = b0 & 0x1F, min = 0x80;
    } else if ((b0 & 0xF0) == 0xE0) {
        len = 3, cp = b0 & 0x0F, min = 0x800;
    } else if ((b0 & 0xF8) == 0xF0) {
        len = 4, cp = b0 & 0x07, min = 0x10000;
    } else {
        cp = kReplacement;
        return 1;
    }
    if (len > n) {
        cp = kReplacement;
        return 1;
    }
    for (size_t i = 1; i < len; ++i) {
        if ((s[i] & 0xC0) != 0x80) {
            cp = kReplacement;
            return 1;
        }
        cp = (cp << 6) | (s[i] & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF) cp = kReplacement;
    return len;
}

void Encode(char32_t cp, std::string& out) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

// The length of the run of ASCII bytes that `s` begins with, eight bytes at a
// time: the same in both forms, such text is copied as it stands. Base64 text
// and most names are nothing else.
size_t AsciiRun(const unsigned char* s, size_t n) {
    size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        std::uint64_t word = 0;
        std::memcpy(&word, s + i, 8);
        if ((word & 0x8080808080808080ULL) != 0) break;
    }
    while (i < n && s[i] < 0x80) ++i;
    return i;
}

bool IsHighSurrogate(char32_t cp) {
    return cp >= 0xD800 && cp <= 0xDBFF;
}
bool IsLowSurrogate(char32_t cp) {
    return cp >= 0xDC00 && cp <= 0xDFFF;
}

}  // namespace

namespace TextCodec {

std::string ScriptToUtf8(const char* text, size_t length) {
    std::string out;
    out.reserve(length);
    const auto* s = reinterpret_cast<const unsigned char*>(text);
    size_t i = 0;
    while (i < length) {
        const size_t ascii = AsciiRun(s + i, length - i);
        out.append(text + i, ascii);
        i += ascii;
        if (i == length) break;
        char32_t cp = 0;
        i += Decode(s + i, length - i, cp);
        if (IsHighSurrogate(cp) && i < length) {
            char32_t low = 0;
            const size_t used = Decode(s + i, length - i, low);
            if (IsLowSurrogate(low)) {
                cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
                i += used;
            }
        }
        if (IsHighSurrogate(cp) || IsLowSurrogate(cp)) cp = kReplacement;
        Encode(cp, out);
    }
    return out;
}

std::string Utf8ToScript(const char* text, size_t length) {
    std::string out;
    out.reserve(length);
    const auto* s = reinterpret_cast<const unsigned char*>(text);
    size_t i = 0;
    while (i < length) {
        const size_t ascii = AsciiRun(s + i, length - i);
        out.append(text + i, ascii);
        i += ascii;
        if (i == length) break;
        char32_t cp = 0;
        i += Decode(s + i, length - i, cp);
        if (IsHighSurrogate(cp) || IsLowSurrogate(cp)) {
            cp = kReplacement;  // surrogates are not characters in UTF-8
        }
        if (cp >= 0x10000) {
            Encode(0xD800 + ((cp - 0x10000) >> 10), out);
            Encode(0xDC00 + ((cp - 0x10000) & 0x3FF), out);
        } else {
            Encode(cp, out);
        }
    }
    return out;
}

std::string Base64(const std::string& bytes) {
    static const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    const auto* s = reinterpret_cast<const unsigned char*>(bytes.data());
    size_t i = 0;
    for (; i + 3 <= bytes.size(); i += 3) {
        const unsigned v = (s[i] << 16) | (s[i + 1] << 8) | s[i + 2];
        out += kAlphabet[v >> 18];
        out += kAlphabet[(v >> 12) & 63];
        out += kAlphabet[(v >> 6) & 63];
        out += kAlphabet[v & 63];
    }
    const size_t rest = bytes.size() - i;
    if (rest > 0) {
        const unsigned v = (s[i] << 16) | (rest == 2 ? s[i + 1] << 8 : 0);
        out += kAlphabet[v >> 18];
        out += kAlphabet[(v >> 12) & 63];
        out += rest == 2 ? kAlphabet[(v >> 6) & 63] : '=';
        out += '=';
    }
    return out;
}

}  // namespace TextCodec
