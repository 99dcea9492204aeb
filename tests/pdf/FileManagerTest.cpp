#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "pdf/FileManager.h"
#include "support/TempDir.h"

using PDF::FileManager;
using TestSupport::FileExists;
using TestSupport::ReadFile;
using TestSupport::SetAge;
using TestSupport::TempDir;
using TestSupport::WriteFile;

TEST(FileManager, GeneratesTheFirstFreeNameWithoutCreatingIt) {
    const TempDir dir;
    const FileManager manager(dir.Path());
    EXPECT_EQ(manager.GenerateFileName(), dir.File("PDFF0000.pdf"));
    EXPECT_EQ(manager.GenerateFileName(), dir.File("PDFF0000.pdf"));  // still free
    WriteFile(dir.File("PDFF0000.pdf"), "");
    WriteFile(dir.File("PDFF0001.pdf"), "");
    ASSERT_EQ(::symlink("/nonexistent", dir.File("PDFF0002.pdf").c_str()),
              0);  // dangling link takes its name
    EXPECT_EQ(manager.GenerateFileName(), dir.File("PDFF0003.pdf"));
    EXPECT_FALSE(FileExists(dir.File("PDFF0003.pdf")));
}

TEST(FileManager, NamesBeyondFourDigits) {
    const TempDir dir;
    const FileManager manager(dir.Path());
    for (int n = 0; n < 10000; ++n) {
        char name[32];
        std::snprintf(name, sizeof name, "PDFF%04d.pdf", n);
        WriteFile(dir.File(name), "");
    }
    EXPECT_EQ(manager.GenerateFileName(), dir.File("PDFF10000.pdf"));
}

TEST(FileManager, SweepRemovesOnlyOldRegularFilesOfOurPrefix) {
    const TempDir dir;
    WriteFile(dir.File("PDFFold.txt"), "x");
    SetAge(dir.File("PDFFold.txt"), 11 * 3600);
    WriteFile(dir.File("PDFFrecent.pdf"), "x");
    SetAge(dir.File("PDFFrecent.pdf"), 9 * 3600);
    WriteFile(dir.File("other.pdf"), "x");
    SetAge(dir.File("other.pdf"), 11 * 3600);
    ASSERT_EQ(::mkdir(dir.File("PDFFdir").c_str(), 0700), 0);
    SetAge(dir.File("PDFFdir"), 11 * 3600);
    // an old link to an old file elsewhere: neither the link nor its target goes
    WriteFile(dir.File("target.pdf"), "keep");
    SetAge(dir.File("target.pdf"), 11 * 3600);
    ASSERT_EQ(::symlink(dir.File("target.pdf").c_str(), dir.File("PDFFlink").c_str()), 0);
    SetAge(dir.File("PDFFlink"), 11 * 3600);

    const FileManager manager(dir.Path());
    EXPECT_FALSE(FileExists(dir.File("PDFFold.txt")));
    EXPECT_TRUE(FileExists(dir.File("PDFFrecent.pdf")));
    EXPECT_TRUE(FileExists(dir.File("other.pdf")));
    EXPECT_TRUE(FileExists(dir.File("PDFFdir")));
    EXPECT_TRUE(FileExists(dir.File("PDFFlink")));
    EXPECT_EQ(ReadFile(dir.File("target.pdf")), "keep");
}

TEST(FileManager, CreateNewNeverWritesThroughPlantedFilesOrLinks) {
    const TempDir dir;
    WriteFile(dir.File("victim"), "precious");
    ASSERT_EQ(::symlink(dir.File("victim").c_str(), dir.File("PDFF0000.pdf").c_str()), 0);
    EXPECT_EQ(FileManager::CreateNew(dir.File("PDFF0000.pdf")), nullptr);
    EXPECT_EQ(ReadFile(dir.File("victim")), "precious");

    WriteFile(dir.File("PDFF0001.pdf"), "existing");
    EXPECT_EQ(FileManager::CreateNew(dir.File("PDFF0001.pdf")), nullptr);
    EXPECT_EQ(ReadFile(dir.File("PDFF0001.pdf")), "existing");

    Util::FilePtr created = FileManager::CreateNew(dir.File("PDFF0002.pdf"));
    ASSERT_NE(created, nullptr);
    std::fputs("new", created.get());
    // The sign operation reads back what it wrote.
    char back[4] = {};
    ASSERT_EQ(std::fseek(created.get(), 0, SEEK_SET), 0);
    EXPECT_EQ(std::fread(back, 1, 3, created.get()), 3u);
    EXPECT_STREQ(back, "new");
    EXPECT_TRUE(Util::FinishWrite(std::move(created)));
    struct stat st {};
    ASSERT_EQ(::stat(dir.File("PDFF0002.pdf").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_EQ(ReadFile(dir.File("PDFF0002.pdf")), "new");
}

TEST(FileManager, DestructionDeletesRegisteredFiles) {
    const TempDir dir;
    {
        FileManager manager(dir.Path());
        const std::string name = manager.GenerateFileName();
        manager.Register(name);
        manager.Register("");
        ASSERT_NE(FileManager::CreateNew(name), nullptr);
        EXPECT_TRUE(FileExists(name));
    }
    EXPECT_FALSE(FileExists(dir.File("PDFF0000.pdf")));
}

TEST(FileManager, TempDirectoryFollowsTMPDIR) {
    const char* saved = std::getenv("TMPDIR");
    const std::string savedValue = saved ? saved : "";
    setenv("TMPDIR", "/var/tmp", 1);
    EXPECT_EQ(FileManager::TempDirectory(), "/var/tmp/");
    unsetenv("TMPDIR");
    EXPECT_EQ(FileManager::TempDirectory(), "/tmp/");
    if (saved) setenv("TMPDIR", savedValue.c_str(), 1);
}
