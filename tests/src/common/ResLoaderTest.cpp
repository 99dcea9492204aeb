#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/MsgLoaderFile.h"
#include "common/ResLoader.h"
#include "support/TempDir.h"

namespace {

struct Lookup {
    int id;
    const char* text;  // nullptr: absent
};

void ExpectNumbers(const ResLoader& loader, std::initializer_list<Lookup> lookups) {
    for (const Lookup& l : lookups) {
        SCOPED_TRACE(l.id);
        std::string text = "stale";
        loader.Get(l.id, text);
        EXPECT_EQ(text, l.text ? l.text : "");
    }
}

ResLoader Parsed(const std::string& bytes) {
    ResLoader loader;
    loader.Parse(bytes.data(), bytes.size());
    return loader;
}

}  // namespace

TEST(ResLoader, FirstLineIsHeaderCommentsAndKeysFollowTheRules) {
    const ResLoader loader = Parsed(
        "12=Header pair\n"
        "\n   \t 12 \t= \t first value  \n"
        "12=second value\n"
        "# 13=commented\n"
        "14 = a # b\n"
        "15abc=numeric prefix\n"
        "abc = text key\n"
        "no equals sign\n"
        "-3=negative\n"
        "16=\n");
    ExpectNumbers(loader, {{12, "first value  "},
                           {13, nullptr},
                           {14, "a # b"},
                           {15, "numeric prefix"},
                           {-3, "negative"},
                           {16, ""}});
    std::string text;
    loader.Get("abc", text);
    EXPECT_EQ(text, "text key");
    loader.Get("15abc", text);
    EXPECT_EQ(text, "");
}

TEST(ResLoader, LineEndsParseAlike) {
    for (const char* eol : {"\n", "\r\n", "\r"}) {
        SCOPED_TRACE(testing::PrintToString(std::string(eol)));
        const std::string e = eol;
        const ResLoader loader =
            Parsed("header" + e + "1=one" + e + "#2=x" + e + "2=two" + e + e + "3=three");
        ExpectNumbers(loader, {{1, "one"}, {2, "two"}, {3, "three"}});
    }
}

TEST(ResLoader, ReadsFileInBlocksWithLinesAcrossThem) {
    const TestSupport::TempDir dir;
    std::string content = "header\n";
    for (int id = 1; id <= 200; ++id)
        content += std::to_string(id) + "=text number " + std::to_string(id) + "\n";
    TestSupport::WriteFile(dir.File("m.msg"), content);
    ResLoader loader;
    EXPECT_EQ(loader.Load(dir.File("m.msg")), 1);
    ExpectNumbers(loader, {{1, "text number 1"}, {57, "text number 57"}, {200, "text number 200"}});
    ResLoader missing;
    EXPECT_EQ(missing.Load(dir.File("none.msg")), 0);
}

TEST(ResLoader, BadInputLoadsWhatItCan) {
    // a 5000-byte value: cut to 4095 bytes of line, the last byte read kept last
    const std::string longValue(5000, 'v');
    std::string bytes = "h\n1=" + longValue + "E\n2=after\n";
    bytes += std::string("3=nul\0inside\n", 13);
    bytes += "\x01\xff\xfe junk \x80\n";
    bytes += "4=no line end";
    const ResLoader loader = Parsed(bytes);
    std::string text;
    loader.Get(1, text);
    EXPECT_EQ(text.size(), 4095u - 2);
    EXPECT_EQ(text.back(), 'E');
    ExpectNumbers(loader, {{2, "after"}, {3, "nul"}, {4, "no line end"}});

    std::string junk(100000, '\0');
    for (size_t i = 0; i < junk.size(); ++i) junk[i] = static_cast<char>((i * 7919) % 251);
    Parsed(junk);  // must simply not crash
}

TEST(MsgLoader, LanguageOffsetAndMissingTexts) {
    const TestSupport::TempDir dir;
    TestSupport::WriteFile(dir.File("Pendrel.msg"),
                           "header\n165=base\n1165=one\n2165=two\n6165=six\n7165=seven\n");
    MsgLoaderFile loader(dir.File("Pendrel.msg"));
    const struct {
        int language;
        const char* text;
    } cases[] = {{0, "base"}, {1, "one"}, {2, "two"}, {6, "six"}, {7, "base"}, {-1, "base"}, {3, "??? "}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.language);
        std::string text;
        loader.LoadMessage(165, c.language, text);
        EXPECT_EQ(text, c.text);
    }
    MsgLoaderFile missing(dir.File("absent.msg"));
    EXPECT_FALSE(missing.Loaded());
    std::string text;
    missing.LoadMessage(165, 0, text);
    EXPECT_EQ(text, "??? ");
}

TEST(MsgLoader, ShippedMessageFileHasEveryWindowTextInBothLanguages) {
    MsgLoaderFile loader(std::string(PENDREL_SOURCE_DIR) + "/resources/Pendrel.msg");
    ASSERT_TRUE(loader.Loaded());
    std::vector<int> ids;
    for (int id = 128; id <= 138; ++id) ids.push_back(id);
    for (int id = 158; id <= 179; ++id) ids.push_back(id);
    for (int id = 201; id <= 207; ++id) ids.push_back(id);
    ids.push_back(501);
    ids.push_back(502);
    for (const int language : {0, 1}) {
        for (const int id : ids) {
            std::string text;
            loader.LoadMessage(id, language, text);
            EXPECT_NE(text, "??? ") << "id " << id << ", language " << language;
        }
    }
}
