#include <gtest/gtest.h>

#include "host/TextCodec.h"

namespace {

struct ConversionCase {
    const char* what;
    std::string script;  // Duktape's internal form (CESU-8)
    std::string utf8;
};

// Encodings from the Unicode standard: U+00E9, U+20AC, U+1F600 (surrogates D83D DE00).
const ConversionCase kRoundTrips[] = {
    {"empty", "", ""},
    {"ASCII with NUL", std::string("a\0b", 3), std::string("a\0b", 3)},
    {"two bytes", "\xC3\xA9", "\xC3\xA9"},
    {"three bytes", "\xE2\x82\xAC", "\xE2\x82\xAC"},
    {"beyond U+FFFF", "\xED\xA0\xBD\xED\xB8\x80", "\xF0\x9F\x98\x80"},
    {"mixed", "x\xED\xA0\xBD\xED\xB8\x80y\xC3\xA9", "x\xF0\x9F\x98\x80y\xC3\xA9"},
};

TEST(TextCodec, ScriptTextAndUtf8ConvertBothWays) {
    for (const ConversionCase& c : kRoundTrips) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(TextCodec::ScriptToUtf8(c.script), c.utf8);
        EXPECT_EQ(TextCodec::Utf8ToScript(c.utf8), c.script);
    }
}

TEST(TextCodec, MalformedInputBecomesReplacementCharacters) {
    const std::string replacement = "\xEF\xBF\xBD";
    const ConversionCase cases[] = {
        {"lone high surrogate", "\xED\xA0\xBD", replacement},
        {"lone low surrogate", "a\xED\xB8\x80", "a" + replacement},
        {"high surrogate at the end", "\xC3\xA9\xED\xA0\xBD", "\xC3\xA9" + replacement},
        {"stray continuation byte", "\x80z", replacement + "z"},
        {"truncated sequence", "\xE2\x82", replacement + replacement},
        {"overlong form", "\xC0\xAF", replacement},
    };
    for (const ConversionCase& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(TextCodec::ScriptToUtf8(c.script), c.utf8);
    }
    // Surrogates are not characters in UTF-8 input either.
    EXPECT_EQ(TextCodec::Utf8ToScript("\xED\xA0\xBD"), replacement);
    EXPECT_EQ(TextCodec::Utf8ToScript("\xF4\x90\x80\x80"), replacement);  // above U+10FFFF
}

// ASCII runs are copied eight bytes at a time: a character that needs
// converting must be found wherever it falls in or after such a run.
TEST(TextCodec, ConvertsCharactersAtEveryOffsetOfAnAsciiRun) {
    const std::string replacement = "\xEF\xBF\xBD";
    for (size_t before = 0; before <= 17; ++before) {
        for (const size_t after : {0, 1, 7, 8, 9}) {
            SCOPED_TRACE("after " + std::to_string(before) + " ASCII bytes, " + std::to_string(after) +
                         " more follow");
            const std::string lead(before, 'a');
            const std::string trail(after, 'z');
            EXPECT_EQ(TextCodec::ScriptToUtf8(lead + "\xED\xA0\xBD\xED\xB8\x80" + trail),
                      lead + "\xF0\x9F\x98\x80" + trail);
            EXPECT_EQ(TextCodec::Utf8ToScript(lead + "\xF0\x9F\x98\x80" + trail),
                      lead + "\xED\xA0\xBD\xED\xB8\x80" + trail);
            EXPECT_EQ(TextCodec::ScriptToUtf8(lead + "\xED\xA0\xBD" + trail), lead + replacement + trail);
            EXPECT_EQ(TextCodec::Utf8ToScript(lead + "\x80" + trail), lead + replacement + trail);
            EXPECT_EQ(TextCodec::ScriptToUtf8(lead + "\xC3\xA9" + trail), lead + "\xC3\xA9" + trail);
        }
    }
}

TEST(TextCodec, Base64MatchesPublishedVectors) {
    // RFC 4648, section 10.
    const std::pair<std::string, std::string> vectors[] = {
        {"", ""},
        {"f", "Zg=="},
        {"fo", "Zm8="},
        {"foo", "Zm9v"},
        {"foob", "Zm9vYg=="},
        {"fooba", "Zm9vYmE="},
        {"foobar", "Zm9vYmFy"},
    };
    for (const auto& [in, out] : vectors) EXPECT_EQ(TextCodec::Base64(in), out) << in;
    EXPECT_EQ(TextCodec::Base64(std::string("\xFF\xFE\x00", 3)), "//4A");
    EXPECT_EQ(TextCodec::Base64(std::string(100, 'a')).find('\n'), std::string::npos);
}

}  // namespace
