#include <gtest/gtest.h>
#include <unistd.h>

#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "pdf/ObjectPrinter.h"
#include "support/TempDir.h"
#include "tests/pdf/MuPDFFixture.h"

namespace {

using PDF::ObjectPrinter;

class ObjectPrinterTest : public TestSupport::MuPDFFixture {
protected:
    std::string PrintParsed(const std::string& text) { return ObjectPrinter::Print(Ctx(), Parse(text)); }

    // The bytes MuPDF's own parser reads back from a printed string.
    std::string RoundTrip(const std::string& bytes) {
        pdf_obj* parsed = Parse(ObjectPrinter::FormatString(bytes));
        size_t length = 0;
        const char* data = pdf_to_string(Ctx(), parsed, &length);
        return std::string(data, length);
    }
};

std::string Utf16(const std::string& ascii) {
    std::string out = "\xFE\xFF";
    for (const char c : ascii) {
        out.push_back('\0');
        out.push_back(c);
    }
    return out;
}

TEST_F(ObjectPrinterTest, WritesObjectsInCompactFormWithMinimalSeparation) {
    const struct {
        const char* source;
        const char* printed;
    } cases[] = {
        {"<</Ff 1/F 132>>", "<</Ff 1/F 132>>"},
        {"[0 0 612 792]", "[0 0 612 792]"},
        {"<< /Root 1 0 R /Size 13 >>", "<</Root 1 0 R/Size 13>>"},
        {"<< /Type /Sig >>", "<</Type/Sig>>"},
        {"[ <0A1B> <FF0D> ]", "[<0A1B><FF0D>]"},
        // Each string takes the form its bytes call for: 0x2C 0x3D need no escape.
        {"<</ID[<0A1B><2C3D>]>>", "<</ID[<0A1B>(,=)]>>"},
        {"[1 2.5 /N (s) [3] << /K true >> null false 4 0 R]", "[1 2.5/N(s)[3]<</K true>>null false 4 0 R]"},
        {"<</A[]/B<<>>/C()>>", "<</A[]/B<<>>/C<>>>"},
        {"<< /Z 1 /A 2 /M 3 >>", "<</Z 1/A 2/M 3>>"},  // never sorted
        {"-17", "-17"},
        {"2147483647", "2147483647"},
        {"true", "true"},
        {"<</P 7 0 R/Prev 1234>>", "<</P 7 0 R/Prev 1234>>"},
        // The empty name runs on into a token that is no delimiter (found by fuzzing).
        {"<</ null/Pages 2 0 R>>", "<</ null/Pages 2 0 R>>"},
        {"[/ 1 / /A / (s)]", "[/ 1//A/(s)]"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.source);
        EXPECT_EQ(PrintParsed(c.source), c.printed);
    }
    EXPECT_EQ(ObjectPrinter::Print(Ctx(), nullptr), "null");
    // What is printed reads back as the same object.
    for (const auto& c : cases) {
        SCOPED_TRACE(c.source);
        EXPECT_EQ(PrintParsed(c.printed), c.printed);
    }
}

TEST_F(ObjectPrinterTest, ChoosesLiteralOrHexStringForm) {
    const struct {
        std::string bytes;
        std::string printed;
    } cases[] = {
        {"Signature 1", "(Signature 1)"},
        {"a(b", "(a\\(b)"},
        {std::string("\xFE\xFF\x00\x41", 4), "<FEFF0041>"},
        {Utf16("Signature"), "(\\376\\377\\0S\\0i\\0g\\0n\\0a\\0t\\0u\\0r\\0e)"},
        {"", "<>"},
        {"a)b\\c", "(a\\)b\\\\c)"},
        {"x\b\t\n\f\ry", "(x\\b\\t\\n\\f\\ry)"},
        {"((", "<2828>"},  // count equal to the length: hexadecimal
        {"a((", "(a\\(\\()"},
        {std::string("\0\0\0A", 4), "(\\0\\0\\0A)"},
        {"line one\nline two", "(line one\\nline two)"},
        {std::string("ab\x01z", 4), "(ab\\1z)"},
        {std::string("abc\x1F", 4), "(abc\\37)"},
        {"abcd\xFE", "(abcd\\376)"},
        {"\xFE\xFF", "<FEFF>"},
        {"D:20261208170000Z", "(D:20261208170000Z)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.printed);
        EXPECT_EQ(ObjectPrinter::FormatString(c.bytes), c.printed);
    }
}

// A reader takes up to three octal digits after a backslash: an octal escape
// followed by a digit is written with three digits, or the bytes would change.
TEST_F(ObjectPrinterTest, LiteralStringsReadBackUnchanged) {
    const std::string cases[] = {
        Utf16("Signature 1"),
        Utf16("2026"),
        Utf16("Invoice 12345 of 2026"),
        std::string("a\x01"
                    "7b",
                    4),
        std::string("abcdef\x1F"
                    "0",
                    8),
        std::string("abcdef\x1F"
                    "8",
                    8),
        "a(b)c\\d\n\r\t\b\f",
        "plain text",
        std::string("\x00\x01\x02\x03", 4),
        "\xC3\xA4\xC3\xB6\xC3\xBC",
    };
    for (const std::string& bytes : cases) {
        SCOPED_TRACE(ObjectPrinter::FormatString(bytes));
        EXPECT_EQ(RoundTrip(bytes), bytes);
    }
    EXPECT_EQ(ObjectPrinter::FormatString(Utf16("20261208")),
              "(\\376\\377\\0002\\0000\\0002\\0006\\0001\\0002\\0000\\08)");
    EXPECT_EQ(ObjectPrinter::FormatString(std::string("ab\x01"
                                                      "8",
                                                      4)),
              "(ab\\18)");  // 8 is no octal digit
}

TEST_F(ObjectPrinterTest, EscapesNameBytes) {
    const struct {
        const char* name;
        const char* printed;
    } cases[] = {
        {"Type", "/Type"},
        {"a b", "/a#20b"},
        {"A(B)", "/A#28B#29"},
        {"x<>[]{}/%y", "/x#3C#3E#5B#5D#7B#7D#2F#25y"},
        {"#1", "/#231"},
        {"tab\there", "/tab#09here"},
        {"\xE4"
         "\x7F",
         "/#E4#7F"},
        {"!~", "/!~"},
        {"lf\nff\fcr\r", "/lf#0Aff#0Ccr#0D"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.printed);
        EXPECT_EQ(ObjectPrinter::FormatName(c.name), c.printed);
        EXPECT_EQ(ObjectPrinter::Print(Ctx(), Name(c.name)), c.printed);
        // MuPDF reads the printed name back as the same bytes.
        EXPECT_STREQ(pdf_to_name(Ctx(), Parse(c.printed)), c.name);
    }
}

TEST_F(ObjectPrinterTest, FormatsRealsLikePrintfInTheCLocale) {
    const struct {
        float value;
        const char* printed;
    } cases[] = {
        {0.5f, "0.5"},
        {612.0f, "612"},
        {-0.25f, "-0.25"},
        {1.0f / 3.0f, "0.333333"},
        {170.07875f, "170.079"},
        {123456.7f, "123457"},
        {1234567.0f, "1234567.0"},
        {-25000000.0f, "-25000000.0"},
        {0.00001f, "0.00001000"},
        {-0.0000123f, "-0.00001230"},
        {1e-9f, "0.00000000"},
        {0.0001f, "0.0001"},
        {0.0f, "0"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.printed);
        EXPECT_EQ(ObjectPrinter::FormatReal(c.value), c.printed);
        pdf_obj* real = Keep(pdf_new_real(Ctx(), c.value));
        EXPECT_EQ(ObjectPrinter::Print(Ctx(), real), c.printed);
    }
}

TEST_F(ObjectPrinterTest, RealsAgreeWithTheCLibrary) {
    ASSERT_NE(std::setlocale(LC_NUMERIC, "C"), nullptr);
    const float values[] = {1.5f,    -7.125f,        3.14159265f, 99999.5f, 999999.f, 1e6f,
                            1.0e7f,  -1.0e10f,       1e-4f,       9.9e-5f,  1e-5f,    -3.3e-7f,
                            2.5e-2f, 72.0f / 254.0f, 16777216.0f, 1e30f,    -1e-30f};
    for (const float v : values) {
        char general[64];
        std::snprintf(general, sizeof general, "%g", static_cast<double>(v));
        char expected[400];
        if (std::string(general).find('e') == std::string::npos)
            std::snprintf(expected, sizeof expected, "%s", general);
        else if (std::fabs(v) > 1.0f)
            std::snprintf(expected, sizeof expected, "%1.1f", static_cast<double>(v));
        else
            std::snprintf(expected, sizeof expected, "%1.8f", static_cast<double>(v));
        EXPECT_EQ(ObjectPrinter::FormatReal(v), expected) << general;
    }
}

// Restores the numeric locale when the test ends.
class NumericLocale {
public:
    NumericLocale() : _saved(std::setlocale(LC_NUMERIC, nullptr)) {}
    ~NumericLocale() { std::setlocale(LC_NUMERIC, _saved.c_str()); }
    NumericLocale(const NumericLocale&) = delete;
    NumericLocale& operator=(const NumericLocale&) = delete;

private:
    std::string _saved;
};

// Finds or builds a locale with a decimal comma; empty when none can be had.
std::string CommaLocale(const TestSupport::TempDir& dir) {
    for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "de_DE", "fr_FR.UTF-8"}) {
        if (std::setlocale(LC_NUMERIC, name) != nullptr) return name;
    }
    const std::string command =
        "localedef -i de_DE -f UTF-8 '" + dir.File("de_DE.UTF-8") + "' >/dev/null 2>&1";
    if (std::system(command.c_str()) != 0 && !TestSupport::FileExists(dir.File("de_DE.UTF-8"))) return "";
    ::setenv("LOCPATH", dir.Path().c_str(), 1);
    const bool found = std::setlocale(LC_NUMERIC, "de_DE.UTF-8") != nullptr;
    ::unsetenv("LOCPATH");
    return found ? "de_DE.UTF-8" : "";
}

TEST_F(ObjectPrinterTest, IgnoresACommaLocale) {
    const NumericLocale restore;
    const TestSupport::TempDir dir;
    const std::string locale = CommaLocale(dir);
    if (locale.empty()) GTEST_SKIP() << "no locale with a decimal comma is installed and localedef failed";
    char probe[16];
    std::snprintf(probe, sizeof probe, "%g", 0.5);
    ASSERT_STREQ(probe, "0,5") << "locale " << locale << " is active";

    EXPECT_EQ(PrintParsed("[0.5 -2.25 1234567.0 0.00001]"), "[0.5 -2.25 1234567.0 0.00001000]");
    EXPECT_EQ(ObjectPrinter::FormatReal(170.07875f), "170.079");
}

}  // namespace
