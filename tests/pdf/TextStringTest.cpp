// PDF text strings both ways: PDFDocEncoding, UTF-16BE after FE FF and
// UTF-8 after EF BB BF, with broken input shown as U+FFFD.
#include <gtest/gtest.h>

#include <string>

#include "pdf/TextString.h"

namespace {

std::string Bytes(std::initializer_list<int> values) {
    std::string out;
    for (const int v : values) out.push_back(static_cast<char>(v));
    return out;
}

TEST(TextString, DecodesWhatOtherWritersStore) {
    const struct {
        const char* name;
        std::string bytes;
        std::wstring expected;
    } cases[] = {
        {"empty", "", L""},
        {"byte order mark alone", Bytes({0xFE, 0xFF}), L""},
        {"UTF-8 mark alone", Bytes({0xEF, 0xBB, 0xBF}), L""},
        {"UTF-16BE", Bytes({0xFE, 0xFF, 0x00, 0x4F, 0x00, 0xF6, 0x20, 0xAC}), L"O\u00F6\u20AC"},
        {"UTF-16BE, odd last byte dropped", Bytes({0xFE, 0xFF, 0x00, 0x4F, 0x00}), L"O"},
        {"surrogate pair kept as two units", Bytes({0xFE, 0xFF, 0xD8, 0x3D, 0xDE, 0x00}),
         std::wstring{0xD83D, 0xDE00}},
        {"lone high surrogate", Bytes({0xFE, 0xFF, 0x00, 0x4F, 0xD8, 0x00, 0x00, 0x4B}), L"O\uFFFDK"},
        {"lone low surrogate", Bytes({0xFE, 0xFF, 0xDC, 0x00, 0x00, 0x4B}), L"\uFFFDK"},
        {"high surrogate at the end", Bytes({0xFE, 0xFF, 0x00, 0x4F, 0xD8, 0x3D}), L"O\uFFFD"},
        {"two high surrogates, then a pair", Bytes({0xFE, 0xFF, 0xD8, 0x00, 0xD8, 0x3D, 0xDE, 0x00}),
         std::wstring{0xFFFD, 0xD83D, 0xDE00}},
        {"NUL unit kept in UTF-16", Bytes({0xFE, 0xFF, 0x00, 0x41, 0x00, 0x00, 0x00, 0x42}),
         std::wstring{L'A', 0, L'B'}},
        {"UTF-8 after its mark", Bytes({0xEF, 0xBB, 0xBF, 'Z', 0xC3, 0xAB}), L"Z\u00EB"},
        {"broken UTF-8 after its mark", Bytes({0xEF, 0xBB, 0xBF, 'Z', 0xC3}), L"Z\uFFFD"},
        {"UTF-8 beyond U+FFFF after its mark", Bytes({0xEF, 0xBB, 0xBF, 0xF0, 0x9F, 0x98, 0x80}),
         std::wstring{0xD83D, 0xDE00}},
        {"PDFDocEncoding: Latin-1 part", Bytes({'K', 0xF6, 'l', 'n', 0xE9}), L"K\u00F6ln\u00E9"},
        {"PDFDocEncoding: its own codes", Bytes({0x80, 0x84, 0x8D, 0x8E, 0x93, 0xA0, 0x18, 0x1F}),
         L"\u2022\u2014\u201C\u201D\uFB01\u20AC\u02D8\u02DC"},
        {"PDFDocEncoding: undefined codes", Bytes({'a', 0x7F, 0x9F, 0xAD}), L"a\uFFFD\uFFFD\uFFFD"},
        {"PDFDocEncoding: up to the first NUL", std::string("AB\0CD", 5), L"AB"},
        {"raw UTF-8 without a mark, as earlier versions wrote names", "Zo\xC3\xAB \xE2\x82\xAC",
         L"Zo\u00EB \u20AC"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_TRUE(PDF::TextString::Decode(c.bytes) == c.expected);
    }
}

TEST(TextString, EncodesInPDFDocEncodingWhenItFitsElseUTF16) {
    const struct {
        const char* name;
        std::string utf8;
        std::string bytes;
    } cases[] = {
        {"ASCII", "Signature 1", "Signature 1"},
        {"empty", "", ""},
        {"Latin-1 letters", "Zo\xC3\xAB", Bytes({'Z', 'o', 0xEB})},
        {"PDFDocEncoding's own codes", "\xE2\x82\xAC \xE2\x80\x94", Bytes({0xA0, ' ', 0x84})},
        {"beyond PDFDocEncoding", "\xD0\x96", Bytes({0xFE, 0xFF, 0x04, 0x16})},
        {"beyond U+FFFF", "\xF0\x9F\x98\x80", Bytes({0xFE, 0xFF, 0xD8, 0x3D, 0xDE, 0x00})},
        {"no-break space has no PDFDocEncoding code", "a\xC2\xA0",
         Bytes({0xFE, 0xFF, 0x00, 'a', 0x00, 0xA0})},
        {"a start that would read as a byte order mark", "\xC3\xBE\xC3\xBFx",
         Bytes({0xFE, 0xFF, 0x00, 0xFE, 0x00, 0xFF, 0x00, 'x'})},
        {"PDFDocEncoding bytes that would read as UTF-8", "\xC3\x83\xC2\xAB",
         Bytes({0xFE, 0xFF, 0x00, 0xC3, 0x00, 0xAB})},
        {"NUL, which PDFDocEncoding would end the text at", std::string("a\0b", 3),
         Bytes({0xFE, 0xFF, 0x00, 'a', 0x00, 0x00, 0x00, 'b'})},
        {"broken UTF-8 becomes U+FFFD", "a\xFF", Bytes({0xFE, 0xFF, 0x00, 'a', 0xFF, 0xFD})},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(PDF::TextString::Encode(c.utf8), c.bytes);
        // what is written reads back as the same text
        if (c.utf8.find('\xFF') == std::string::npos) {
            EXPECT_EQ(PDF::TextString::DecodeToUtf8(c.bytes), c.utf8);
        }
    }
}

}  // namespace
