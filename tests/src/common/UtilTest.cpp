#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <utf8.h>

#include <climits>
#include <csignal>
#include <cstdlib>
#include <string>

#include "common/Util.h"
#include "common/posix/HomeDir.h"
#include "support/TempDir.h"

using TestSupport::FileExists;
using TestSupport::ReadFile;
using TestSupport::TempDir;
using TestSupport::WriteFile;

TEST(Util, RemoteUrlsAndTheirReductionToFileNames) {
    const std::string home = Util::HomeDirectory();
    const struct {
        const char* url;
        bool remote;
        std::string file;
    } cases[] = {
        {"http://example.org/a.pdf", true, ""},
        {"HTTPS://EXAMPLE.ORG/A.PDF", true, ""},
        {"ftp://h/x", true, ""},
        {"TfTp://h/x", true, ""},
        {"httpx://h/x", false, "httpx://h/x"},
        {"file:///tmp/my%20doc.pdf", false, "/tmp/my doc.pdf"},
        {"FILE:///tmp/a%2", false, "/tmp/a2"},      // escape cut short: '%' dropped
        {"file:///tmp/a%zzb", false, "/tmp/azzb"},  // undecodable: '%' dropped
        {"file:///tmp/a%4gb", false,
         "/tmp/a\x04"
         "b"},                                                    // "%02x" reads what it can
        {"file:///tmp/a.pdf%00.txt", false, "/tmp/a.pdf00.txt"},  // never cuts the name short
        {"/tmp/plain.pdf", false, "/tmp/plain.pdf"},
        {"doc.pdf", false, home + "/doc.pdf"},
        {"file://doc%20x.pdf", false, home + "/doc x.pdf"},
        {"", false, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.url);
        EXPECT_EQ(Util::IsRemoteUrl(c.url), c.remote);
        std::string url = c.url;
        Util::ProcessUrlToFileName(url);
        EXPECT_EQ(url, c.file);
    }
}

TEST(Util, DateStringsUseTheLocalDate) {
    const char* saved = std::getenv("TZ");
    const std::string savedTz = saved ? saved : "";
    setenv("TZ", "UTC", 1);
    tzset();
    EXPECT_EQ(Util::TimeToDateString(1262304000), "01.01.2010");  // 2010-01-01 00:00 UTC
    EXPECT_EQ(Util::TimeToDateString(-1), "");
    setenv("TZ", "America/Los_Angeles", 1);
    tzset();
    EXPECT_EQ(Util::TimeToDateString(1262304000), "31.12.2009");
    if (saved)
        setenv("TZ", savedTz.c_str(), 1);
    else
        unsetenv("TZ");
    tzset();
}

TEST(Util, WideAndNarrowTextRoundTrip) {
    const std::wstring wide = {L'A', 0x00E9, 0x4E2D, 0xD83D, 0xDE00};  // A é 中 😀
    const std::string narrow = "A\xC3\xA9\xE4\xB8\xAD\xF0\x9F\x98\x80";
    EXPECT_EQ(Util::WtoA(wide), narrow);
    EXPECT_EQ(Util::AtoW(narrow), wide);
    // only the low 16 bits of an element count
    EXPECT_EQ(Util::WtoA(std::wstring{static_cast<wchar_t>(0x10041)}), "A");
    // byte-wise forms
    EXPECT_EQ(Util::WtoA(std::wstring{0xE9, L'b'}, false),
              "\xE9"
              "b");
    EXPECT_EQ(Util::AtoW("\xE9"
                         "b",
                         false),
              (std::wstring{0xE9, L'b'}));
}

TEST(Util, MalformedTextRaisesConversionErrors) {
    EXPECT_THROW(Util::WtoA(std::wstring{0xD83D}), utf8::invalid_utf16);        // lone lead
    EXPECT_THROW(Util::WtoA(std::wstring{0xDE00, L'x'}), utf8::invalid_utf16);  // lone trail
    EXPECT_THROW(Util::WtoA(std::wstring{0xD83D, L'x'}), utf8::invalid_utf16);  // lead + non-trail
    EXPECT_THROW(Util::AtoW("\xC3"), utf8::invalid_utf8);                       // truncated
    EXPECT_THROW(Util::AtoW("\xFF"
                            "abc"),
                 utf8::invalid_utf8);
    EXPECT_THROW(Util::AtoW("\xC0\xAF"), utf8::invalid_utf8);        // overlong
    EXPECT_THROW(Util::AtoW("ab\xF0\x9F\x98"), utf8::invalid_utf8);  // cut at the end
    EXPECT_THROW(Util::AtoW("\xF4\x90\x80\x80"), utf8::exception);   // beyond U+10FFFF
    try {
        Util::WtoA(std::wstring{0xD800});
        ADD_FAILURE();
    } catch (const utf8::exception& e) {
        EXPECT_STREQ(e.what(), "Invalid UTF-16");
    }
}

TEST(Util, CopyFileCopiesOrFailsWithoutLeavingHalfAFile) {
    const TempDir dir;
    std::string content(10000, '\0');
    for (size_t i = 0; i < content.size(); ++i) content[i] = static_cast<char>(i * 31);
    WriteFile(dir.File("src.pdf"), content);
    WriteFile(dir.File("dst.pdf"), "old content that is longer than nothing");

    EXPECT_EQ(Util::CopyFile(dir.File("src.pdf"), "file://" + dir.File("dst.pdf")), 1);
    EXPECT_EQ(ReadFile(dir.File("dst.pdf")), content);

    EXPECT_EQ(Util::CopyFile(dir.File("missing.pdf"), dir.File("x.pdf")), 0);
    EXPECT_FALSE(FileExists(dir.File("x.pdf")));
    EXPECT_EQ(Util::CopyFile(dir.File("src.pdf"), dir.File("no/such/dir/x.pdf")), 0);
    EXPECT_EQ(Util::CopyFile(dir.File("src.pdf"), "http://example.org/x.pdf"), 0);

    // A write that fails halfway (file size limit): 0, and the old destination stays.
    {
        struct rlimit saved {};
        ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
        const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        struct rlimit small = saved;
        small.rlim_cur = 4096;
        ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
        WriteFile(dir.File("keep.pdf"), "keep");
        const int copied = Util::CopyFile(dir.File("src.pdf"), dir.File("keep.pdf"));
        ::setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, oldHandler);
        EXPECT_EQ(copied, 0);
        EXPECT_EQ(ReadFile(dir.File("keep.pdf")), "keep");
        EXPECT_EQ(std::system(("test -z \"$(ls " + dir.Path() + " | grep keep.pdf.)\"").c_str()), 0)
            << "temporary copy left behind";
    }
    // An unwritable folder: nothing appears there (root bypasses the check).
    ASSERT_EQ(::mkdir(dir.File("ro").c_str(), 0500), 0);
    if (::geteuid() != 0) {
        EXPECT_EQ(Util::CopyFile(dir.File("src.pdf"), dir.File("ro/x.pdf")), 0);
        EXPECT_FALSE(FileExists(dir.File("ro/x.pdf")));
    }
}

TEST(Util, ResourcesAreFoundNextToTheProgramOrWhereTheEnvironmentSays) {
    const char* saved = std::getenv("PENDREL_RESOURCE_DIR");
    const std::string savedValue = saved ? saved : "";
    unsetenv("PENDREL_RESOURCE_DIR");
    // this test program lives in <build>/tests, the resources in <build>/resources
    char build[PATH_MAX];
    ASSERT_NE(::realpath(PENDREL_BINARY_DIR, build), nullptr);
    EXPECT_EQ(Util::ResourceFolder(), std::string(build) + "/tests/../resources");
    EXPECT_TRUE(FileExists(Util::ResourcePath("Pendrel.msg")));
    setenv("PENDREL_RESOURCE_DIR", "/opt/elsewhere", 1);
    EXPECT_EQ(Util::ResourcePath("Pendrel.msg"), "/opt/elsewhere/Pendrel.msg");
    if (saved)
        setenv("PENDREL_RESOURCE_DIR", savedValue.c_str(), 1);
    else
        unsetenv("PENDREL_RESOURCE_DIR");
}
