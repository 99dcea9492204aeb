#include "common/Logger.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "support/TempDir.h"

using TestSupport::FileExists;
using TestSupport::ReadFile;
using TestSupport::TempDir;
using TestSupport::WriteFile;

namespace {

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t nl; (nl = text.find('\n', start)) != std::string::npos; start = nl + 1)
        lines.push_back(text.substr(start, nl - start));
    if (start < text.size()) lines.push_back(text.substr(start));
    return lines;
}

}  // namespace

TEST(Logger, EntryHasDateTimeAndFunctionPrefix) {
    const TempDir dir;
    Logger logger(dir.Path());
    logger.SetFunc("Sign");
    EXPECT_EQ(logger.Log("value %d of %s", 42, "x"), static_cast<int>(std::string("value 42 of x").size()));
    logger.SetFunc(nullptr);
    logger.Log("no name");

    const auto lines = Lines(ReadFile(logger.FileName()));
    ASSERT_EQ(lines.size(), 2u);
    const std::regex prefix(R"(^\[\d{2}\.\d{2}\.\d{4} \d{2}:\d{2}:\d{2}\] )");
    EXPECT_TRUE(std::regex_search(lines[0], prefix)) << lines[0];
    EXPECT_EQ(lines[0].substr(22), "Sign: value 42 of x");
    EXPECT_EQ(lines[1].substr(22), ": no name");  // a null name leaves "] : "
}

TEST(Logger, FormatWithAtSignLeavesBarePrefixWithoutLineEnd) {
    const TempDir dir;
    Logger logger(dir.Path());
    logger.SetFunc("Obj");
    const char* objcFormat = "%@ is here";  // not a literal: the compiler would reject "%@"
    EXPECT_EQ(logger.Log(objcFormat, 0), 0);
    logger.Log("next");
    const auto lines = Lines(ReadFile(logger.FileName()));
    ASSERT_EQ(lines.size(), 1u);  // both entries on one line
    EXPECT_NE(lines[0].find("] Obj: [", 0), std::string::npos) << lines[0];
    EXPECT_EQ(lines[0].substr(lines[0].size() - 9), "Obj: next");
}

TEST(Logger, TrimsFromExactlyTheLimitToTheLastBytes) {
    struct Case {
        long size;
        bool trimmed;
    };
    for (const Case c : {Case{99999, false}, Case{100000, true}, Case{250001, true}}) {
        SCOPED_TRACE(c.size);
        const TempDir dir;
        std::string content(static_cast<size_t>(c.size), 'a');
        for (long i = 0; i < c.size; ++i) content[static_cast<size_t>(i)] = static_cast<char>('a' + i % 26);
        const std::string log = dir.File("PendrelPDF_Safari.log");
        WriteFile(log, content);
        const Logger logger(dir.Path());
        const std::string after = ReadFile(log);
        if (c.trimmed)
            EXPECT_EQ(after, content.substr(content.size() - 20000));
        else
            EXPECT_EQ(after, content);
        EXPECT_FALSE(FileExists(log + ".old"));
    }
}

TEST(Logger, FlagFileSwitchesLoggingOffWithoutTouchingTheLog) {
    const TempDir dir;
    const std::string log = dir.File("PendrelPDF_Safari.log");
    const std::string big(150000, 'x');
    WriteFile(log, big);
    WriteFile(dir.File("do_not_log"), "");
    Logger logger(dir.Path());
    EXPECT_FALSE(logger.Enabled());
    logger.SetFunc("F");
    EXPECT_EQ(logger.Log("hello"), 0);
    EXPECT_EQ(ReadFile(log), big);  // not trimmed, not written

    const TempDir empty;
    WriteFile(empty.File("do_not_log"), "");
    Logger quiet(empty.Path());
    quiet.Log("hello");
    EXPECT_FALSE(FileExists(empty.File("PendrelPDF_Safari.log")));
}

TEST(Logger, UnusableLogPlaceLeavesCallerUnaffected) {
    const TempDir dir;
    {
        Logger missing(dir.File("no/such/folder"));
        missing.SetFunc("F");
        EXPECT_EQ(missing.Log("lost"), 0);
    }
    ASSERT_EQ(::mkdir(dir.File("PendrelPDF_Safari.log").c_str(), 0700), 0);
    Logger directory(dir.Path());  // the log file is a directory
    EXPECT_EQ(directory.Log("lost"), 0);
}

TEST(Logger, EachThreadKeepsItsOwnFunctionName) {
    const TempDir dir;
    Logger logger(dir.Path());
    const int kEntries = 300;
    auto worker = [&logger](const char* name) {
        for (int i = 0; i < kEntries; ++i) {
            logger.SetFunc(name);
            logger.Log("%s %d", name, i);
        }
    };
    std::thread a(worker, "Alpha");
    std::thread b(worker, "Beta");
    a.join();
    b.join();
    const auto lines = Lines(ReadFile(logger.FileName()));
    ASSERT_EQ(lines.size(), 2u * kEntries);
    for (const std::string& line : lines) {
        const std::string body = line.substr(22);
        const std::string name = body.substr(0, body.find(':'));
        EXPECT_EQ(body.compare(name.size() + 2, name.size(), name), 0) << line;
    }
}

// The log tells what the user signed and verified: only the user may read
// it, whatever the umask, after a trim, and also when an earlier run left it
// readable to others.
TEST(Logger, LogIsReadableByItsOwnerOnly) {
    const mode_t savedMask = ::umask(0);
    const auto mode = [](const std::string& path) {
        struct stat st {};
        return ::stat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
    };
    const struct {
        const char* name;
        long existingSize;  // 0: no log yet
        mode_t existingMode;
    } cases[] = {
        {"created", 0, 0},
        {"trimmed", 150000, 0600},
        {"left readable by an earlier run", 10, 0644},
        {"left readable and trimmed", 150000, 0644},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const TempDir dir;
        const std::string log = dir.File("PendrelPDF_Safari.log");
        if (c.existingSize > 0) {
            WriteFile(log, std::string(static_cast<size_t>(c.existingSize), 'x'));
            ::chmod(log.c_str(), c.existingMode);
        }
        Logger logger(dir.Path());
        logger.SetFunc("F");
        logger.Log("entry");
        EXPECT_EQ(mode(log), 0600u);
        EXPECT_NE(ReadFile(log).find("F: entry"), std::string::npos);
    }
    ::umask(savedMask);
}
