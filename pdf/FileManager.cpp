#include "pdf/FileManager.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>

namespace PDF {

namespace {

const char kPrefix[] = "PDFF";

struct DirCloser {
    void operator()(DIR* dir) const noexcept { ::closedir(dir); }
};
using DirPtr = std::unique_ptr<DIR, DirCloser>;

}  // namespace

FileManager* FileManager::_inst = nullptr;

FileManager* FileManager::Instance() {
    // Deliberately never destroyed: the registry lives as long as the process,
    // and what is left over goes with the sweep of a later run.
    if (_inst == nullptr) _inst = new FileManager(TempDirectory());
    return _inst;
}

std::string FileManager::TempDirectory() {
    std::string dir = "/tmp/";
    if (const char* env = std::getenv("TMPDIR"); env != nullptr && *env != '\0') dir = env;
    if (dir.back() != '/') dir += '/';
    return dir;
}

FileManager::FileManager(const std::string& directory) : _dir(directory) {
    if (_dir.empty() || _dir.back() != '/') _dir += '/';
    Sweep();
}

FileManager::~FileManager() {
    for (const std::string& path : _files)
        if (!path.empty()) std::remove(path.c_str());
    if (_inst == this) _inst = nullptr;
}

std::string FileManager::GenerateFileName() const {
    char name[32];
    for (int n = 0; n <= kHighestCounter; ++n) {
        std::snprintf(name, sizeof name, "PDFF%04d.pdf", n);
        const std::string path = _dir + name;
        struct stat st {};
        // lstat: a dangling link planted under a name still takes that name.
        if (::lstat(path.c_str(), &st) != 0 && errno == ENOENT) return path;
    }
    return std::string();
}

Util::FilePtr FileManager::CreateNew(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) return nullptr;
    Util::FilePtr file(::fdopen(fd, "w+b"));
    if (!file) {
        ::close(fd);
        ::unlink(path.c_str());
    }
    return file;
}

// Removes our stale working files: regular files (never through a link) of
// this user whose name starts with the prefix and that were last modified
// more than ten hours ago. A file that cannot be removed is left alone.
void FileManager::Sweep() const {
    const DirPtr dir(::opendir(_dir.c_str()));
    if (!dir) return;
    const std::time_t now = std::time(nullptr);
    const uid_t me = ::geteuid();
    while (const dirent* entry = ::readdir(dir.get())) {
        if (std::strncmp(entry->d_name, kPrefix, sizeof kPrefix - 1) != 0) continue;
        struct stat st {};
        if (::fstatat(::dirfd(dir.get()), entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
        if (!S_ISREG(st.st_mode) || st.st_uid != me) continue;
        if (now - st.st_mtime > kMaxAgeSeconds) ::unlinkat(::dirfd(dir.get()), entry->d_name, 0);
    }
}

}  // namespace PDF
