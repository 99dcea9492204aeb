#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "common/Util.h"
#include "common/posix/KernelCopy.h"
#include "support/TempDir.h"

using TestSupport::ReadFile;
using TestSupport::TempDir;
using TestSupport::WriteFile;

namespace {

std::string Pattern(std::size_t size) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 131) ^ (i >> 9));
    return bytes;
}

// A folder on another file system than TempDir's, where the kernel may
// refuse to copy across (the copy then goes through the process).
std::string OtherFileSystem() {
    struct stat st {};
    return ::stat("/dev/shm", &st) == 0 && S_ISDIR(st.st_mode) ? "/dev/shm" : "";
}

}  // namespace

// The working copy of a sign: the first `size` bytes of the document appended
// after what is there, the position at the new end for the writes that follow.
TEST(KernelCopy, AppendsThePrefixOfTheSourceAtTheEnd) {
    const TempDir dir;
    const std::string source = Pattern(300000);
    WriteFile(dir.File("in"), source);
    const struct {
        const char* what;
        std::string head;
        std::int64_t size;
    } cases[] = {
        {"whole into an empty file", "", 300000},
        {"prefix into an empty file", "", 123457},
        {"whole after a head", "head\n", 300000},
        {"one byte", "", 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        WriteFile(dir.File("out"), c.head);
        const int in = ::open(dir.File("in").c_str(), O_RDONLY);
        const int out = ::open(dir.File("out").c_str(), O_RDWR);
        ASSERT_GE(in, 0);
        ASSERT_GE(out, 0);
        const std::int64_t copied = Util::KernelCopy(in, out, c.size);
        // What the kernel did not copy, the caller writes from there on.
        const std::string rest = source.substr(static_cast<std::size_t>(copied), c.size - copied);
        EXPECT_EQ(::lseek(out, 0, SEEK_CUR), static_cast<off_t>(c.head.size() + copied));
        EXPECT_EQ(::write(out, rest.data(), rest.size()), static_cast<ssize_t>(rest.size()));
        EXPECT_EQ(::write(out, "tail", 4), 4);
        ::close(in);
        ::close(out);
        EXPECT_EQ(ReadFile(dir.File("out")), c.head + source.substr(0, c.size) + "tail");
    }
}

TEST(KernelCopy, CopiesNothingFromWhatIsNotAFileLongEnough) {
    const TempDir dir;
    WriteFile(dir.File("in"), "short");
    WriteFile(dir.File("out"), "");
    const int in = ::open(dir.File("in").c_str(), O_RDONLY);
    const int out = ::open(dir.File("out").c_str(), O_RDWR);
    const int folder = ::open(dir.Path().c_str(), O_RDONLY);
    EXPECT_EQ(Util::KernelCopy(in, out, 6), 0);      // longer than the file
    EXPECT_EQ(Util::KernelCopy(folder, out, 1), 0);  // not a file
    EXPECT_EQ(Util::KernelCopy(in, folder, 1), 0);
    EXPECT_EQ(Util::KernelCopy(-1, out, 1), 0);
    ::close(in);
    ::close(out);
    ::close(folder);
    EXPECT_EQ(ReadFile(dir.File("out")), "");
}

// Whether the kernel copies or the process does: the same bytes, a new or an
// existing destination.
TEST(KernelCopy, CopyFileGivesTheSameBytesOnEveryRoad) {
    const TempDir dir;
    const std::string other = OtherFileSystem();
    for (const std::size_t size : {0, 1, 65537, 3 * 1024 * 1024 + 1}) {
        const std::string bytes = Pattern(size);
        for (const std::string& folder : {dir.Path(), other}) {
            if (folder.empty()) continue;
            const std::string source = folder + "/pendrel-copy-source-" + std::to_string(::getpid());
            WriteFile(source, bytes);
            for (const bool existing : {false, true}) {
                SCOPED_TRACE(std::to_string(size) + " bytes from " + folder +
                             (existing ? ", over a file" : ""));
                const std::string target = dir.File("copy.pdf");
                ::unlink(target.c_str());
                if (existing) WriteFile(target, std::string(size + 100, 'x'));
                EXPECT_EQ(Util::CopyFile(source, target), 1);
                EXPECT_EQ(ReadFile(target), bytes);
            }
            ::unlink(source.c_str());
        }
    }
}
