#include "common/AllowedOrigins.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "support/ScopedEnv.h"
#include "support/TempDir.h"

using TestSupport::ScopedEnv;

namespace {

class AllowedOriginsTest : public testing::Test {
protected:
    AllowedOriginsTest()
        : _listed("PENDREL_ALLOWED_ORIGINS", nullptr),
          _file("PENDREL_ALLOWED_ORIGINS_FILE", _dir.File("conf/Pendrel/allowed-origins").c_str()) {}

    std::string File() const { return _dir.File("conf/Pendrel/allowed-origins"); }

    TestSupport::TempDir _dir;
    ScopedEnv _listed;
    ScopedEnv _file;
};

TEST_F(AllowedOriginsTest, ListsAreReadAsOrigins) {
    EXPECT_EQ(AllowedOrigins::Parse("# allowed\n\nHTTPS://A.test:443/\r\n  http://b.test:8080\n"
                                    "https://c.test https://d.test\nnull\nfile:///x\nnot an origin\n"),
              (std::vector<std::string>{"https://a.test", "http://b.test:8080", "https://c.test", "https://d.test"}));
}

TEST_F(AllowedOriginsTest, TheVariableTakesThePlaceOfTheFile) {
    ::mkdir(_dir.File("conf").c_str(), 0700);
    ::mkdir(_dir.File("conf/Pendrel").c_str(), 0700);
    TestSupport::WriteFile(File(), "https://from-file.test\n");
    EXPECT_TRUE(AllowedOrigins::Contains("https://from-file.test"));
    EXPECT_TRUE(AllowedOrigins::Contains("https://FROM-FILE.test:443"));
    EXPECT_FALSE(AllowedOrigins::Contains("http://from-file.test"));
    {
        const ScopedEnv listed("PENDREL_ALLOWED_ORIGINS", "https://a.test\nhttp://127.0.0.1:8080 https://b.test");
        EXPECT_FALSE(AllowedOrigins::Contains("https://from-file.test"));
        EXPECT_TRUE(AllowedOrigins::Contains("http://127.0.0.1:8080"));
        EXPECT_TRUE(AllowedOrigins::Contains("https://b.test"));
        EXPECT_FALSE(AllowedOrigins::Contains("http://127.0.0.1"));
    }
    {
        const ScopedEnv none("PENDREL_ALLOWED_ORIGINS", "");
        EXPECT_FALSE(AllowedOrigins::Contains("https://from-file.test"));
    }
    // Never an opaque or a local page, whatever a list says.
    const ScopedEnv odd("PENDREL_ALLOWED_ORIGINS", "null file:///x");
    EXPECT_FALSE(AllowedOrigins::Contains("null"));
    EXPECT_FALSE(AllowedOrigins::Contains(""));
}

TEST_F(AllowedOriginsTest, AddingWritesTheWholeListPrivately) {
    EXPECT_FALSE(AllowedOrigins::Contains("https://shop.test"));
    ASSERT_TRUE(AllowedOrigins::Add("https://SHOP.test:443"));  // the folders are made
    EXPECT_EQ(TestSupport::ReadFile(File()), "https://shop.test\n");
    struct stat st {};
    ASSERT_EQ(::stat(File().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    ASSERT_EQ(::stat(_dir.File("conf").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);

    // What is there stays, comments and a last line without its line feed included.
    TestSupport::WriteFile(File(), "# mine\nhttps://a.test");
    ASSERT_TRUE(AllowedOrigins::Add("http://127.0.0.1:9000"));
    ASSERT_TRUE(AllowedOrigins::Add("http://127.0.0.1:9000/page"));  // there already
    EXPECT_EQ(TestSupport::ReadFile(File()), "# mine\nhttps://a.test\nhttp://127.0.0.1:9000\n");
    EXPECT_TRUE(AllowedOrigins::Contains("http://127.0.0.1:9000"));

    // What cannot be allowed, or written, changes nothing.
    EXPECT_FALSE(AllowedOrigins::Add("null"));
    EXPECT_FALSE(AllowedOrigins::Add("file:///home"));
    EXPECT_EQ(TestSupport::ReadFile(File()), "# mine\nhttps://a.test\nhttp://127.0.0.1:9000\n");
    TestSupport::WriteFile(_dir.File("blocker"), "a file where a folder should be");
    const ScopedEnv blocked("PENDREL_ALLOWED_ORIGINS_FILE", _dir.File("blocker/allowed-origins").c_str());
    EXPECT_FALSE(AllowedOrigins::Add("https://b.test"));
}

}  // namespace
