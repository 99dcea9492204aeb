#include "pdf/TextString.h"

#include <utf8.h>

#include <cstdint>
#include <iterator>
#include <vector>

#include "common/Util.h"

namespace PDF {

namespace {

constexpr char32_t kReplacement = 0xFFFD;
constexpr char32_t kUndefined = 0;  // a PDFDocEncoding code without a character

// PDFDocEncoding where it differs from Latin-1: codes 0x18 to 0x1F and 0x7F
// to 0xA0, and the undefined 0xAD.
constexpr char32_t kLow[8] = {0x02D8, 0x02C7, 0x02C6, 0x02D9, 0x02DD, 0x02DB, 0x02DA, 0x02DC};
constexpr char32_t kHigh[34] = {
    kUndefined, 0x2022, 0x2020, 0x2021, 0x2026, 0x2014, 0x2013, 0x0192, 0x2044,     0x2039, 0x203A, 0x2212,
    0x2030,     0x201E, 0x201C, 0x201D, 0x2018, 0x2019, 0x201A, 0x2122, 0xFB01,     0xFB02, 0x0141, 0x0152,
    0x0160,     0x0178, 0x017D, 0x0131, 0x0142, 0x0153, 0x0161, 0x017E, kUndefined, 0x20AC};

char32_t FromPdfDoc(unsigned char code) {
    if (code >= 0x18 && code <= 0x1F) return kLow[code - 0x18];
    if (code >= 0x7F && code <= 0xA0) return kHigh[code - 0x7F];
    if (code == 0xAD) return kUndefined;
    return code;
}

// The PDFDocEncoding code of a character, or -1 when it has none. NUL has
// none either: a reader ends the text there.
int ToPdfDoc(char32_t c) {
    if (c == 0) return -1;
    if (c < 0x100 && FromPdfDoc(static_cast<unsigned char>(c)) == c) return static_cast<int>(c);
    for (int i = 0; i < 8; ++i)
        if (kLow[i] == c) return 0x18 + i;
    for (int i = 0; i < 34; ++i)
        if (kHigh[i] == c && c != kUndefined) return 0x7F + i;
    return -1;
}

void PutUnits(std::wstring& out, char32_t c) {
    if (c > 0xFFFF) {
        out.push_back(static_cast<wchar_t>(0xD800 + ((c - 0x10000) >> 10)));
        out.push_back(static_cast<wchar_t>(0xDC00 + ((c - 0x10000) & 0x3FF)));
    } else {
        out.push_back(static_cast<wchar_t>(c));
    }
}

// Valid UTF-8 decoded; broken sequences become U+FFFD.
std::u32string FromUtf8(std::string::const_iterator begin, std::string::const_iterator end) {
    std::string valid;
    utf8::replace_invalid(begin, end, std::back_inserter(valid), kReplacement);
    std::u32string out;
    utf8::utf8to32(valid.begin(), valid.end(), std::back_inserter(out));
    return out;
}

bool IsHigh(unsigned unit) {
    return unit >= 0xD800 && unit <= 0xDBFF;
}
bool IsLow(unsigned unit) {
    return unit >= 0xDC00 && unit <= 0xDFFF;
}

std::wstring FromUtf16(const std::string& bytes) {
    std::vector<unsigned> units;
    for (std::size_t i = 2; i + 1 < bytes.size(); i += 2)
        units.push_back(static_cast<unsigned char>(bytes[i]) << 8 | static_cast<unsigned char>(bytes[i + 1]));
    std::wstring out;
    for (std::size_t i = 0; i < units.size(); ++i) {
        if (IsHigh(units[i]) && i + 1 < units.size() && IsLow(units[i + 1])) {
            out.push_back(static_cast<wchar_t>(units[i]));
            out.push_back(static_cast<wchar_t>(units[++i]));
        } else {
            out.push_back(
                static_cast<wchar_t>(IsHigh(units[i]) || IsLow(units[i]) ? kReplacement : units[i]));
        }
    }
    return out;
}

bool StartsWith(const std::string& bytes, const char* mark, std::size_t length) {
    return bytes.compare(0, length, mark, length) == 0;
}

bool BeyondAscii(const std::string& bytes) {
    for (const char c : bytes)
        if (static_cast<unsigned char>(c) >= 0x80) return true;
    return false;
}

}  // namespace

std::wstring TextString::Decode(const std::string& bytes) {
    if (StartsWith(bytes, "\xFE\xFF", 2)) return FromUtf16(bytes);
    std::wstring out;
    if (StartsWith(bytes, "\xEF\xBB\xBF", 3)) {
        for (const char32_t c : FromUtf8(bytes.begin() + 3, bytes.end())) PutUnits(out, c);
        return out;
    }
    const std::string text = bytes.substr(0, bytes.find('\0'));
    if (BeyondAscii(text) && utf8::is_valid(text.begin(), text.end())) {
        for (const char32_t c : FromUtf8(text.begin(), text.end())) PutUnits(out, c);
        return out;
    }
    for (const char byte : text) {
        const char32_t c = FromPdfDoc(static_cast<unsigned char>(byte));
        out.push_back(static_cast<wchar_t>(c == kUndefined ? kReplacement : c));
    }
    return out;
}

std::string TextString::DecodeToUtf8(const std::string& bytes) {
    return Util::WtoA(Decode(bytes));  // Decode leaves no broken surrogate
}

std::string TextString::Encode(const std::string& utf8) {
    const std::u32string text = FromUtf8(utf8.begin(), utf8.end());
    std::string doc;
    bool fits = true;
    for (const char32_t c : text) {
        const int code = ToPdfDoc(c);
        if (code < 0) {
            fits = false;
            break;
        }
        doc.push_back(static_cast<char>(code));
    }
    // PDFDocEncoding bytes a reader would take for a byte order mark or for
    // UTF-8 would not read back as this text.
    if (fits && !StartsWith(doc, "\xFE\xFF", 2) && !StartsWith(doc, "\xEF\xBB\xBF", 3) &&
        !(BeyondAscii(doc) && utf8::is_valid(doc.begin(), doc.end())))
        return doc;

    std::wstring units;
    for (const char32_t c : text) PutUnits(units, c);
    std::string out("\xFE\xFF", 2);
    for (const wchar_t unit : units) {
        out.push_back(static_cast<char>(static_cast<unsigned>(unit) >> 8 & 0xFF));
        out.push_back(static_cast<char>(static_cast<unsigned>(unit) & 0xFF));
    }
    return out;
}

}  // namespace PDF
