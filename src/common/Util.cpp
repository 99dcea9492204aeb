#include "common/Util.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utf8.h>

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "common/Logger.h"
#include "common/MsgLoaderFile.h"
#include "common/posix/HomeDir.h"
#include "common/posix/KernelCopy.h"

namespace Util {

std::string WtoA(const std::wstring& wide, bool utf8) {
    std::string out;
    if (!utf8) {
        out.reserve(wide.size());
        for (const wchar_t c : wide) out.push_back(static_cast<char>(c));
        return out;
    }
    std::vector<uint16_t> units;
    units.reserve(wide.size());
    for (const wchar_t c : wide) units.push_back(static_cast<uint16_t>(c & 0xFFFF));
    utf8::utf16to8(units.begin(), units.end(), std::back_inserter(out));
    return out;
}

std::wstring AtoW(const std::string& narrow, bool utf8) {
    std::wstring out;
    if (!utf8) {
        out.reserve(narrow.size());
        for (const char c : narrow) out.push_back(static_cast<wchar_t>(static_cast<unsigned char>(c)));
        return out;
    }
    std::vector<uint16_t> units;
    try {
        utf8::utf8to16(narrow.begin(), narrow.end(), std::back_inserter(units));
    } catch (const utf8::not_enough_room&) {
        // a sequence cut short at the end is malformed input like any other
        throw utf8::invalid_utf8(static_cast<uint8_t>(narrow.back()));
    }
    out.reserve(units.size());
    for (const uint16_t u : units) out.push_back(static_cast<wchar_t>(u));
    return out;
}

bool StartsWithNoCase(const std::string& text, const char* prefix) {
    const size_t n = std::strlen(prefix);
    return text.size() >= n && strncasecmp(text.c_str(), prefix, n) == 0;
}

bool IsRemoteUrl(const std::string& url) {
    return StartsWithNoCase(url, "http://") || StartsWithNoCase(url, "ftp://") ||
           StartsWithNoCase(url, "https://") || StartsWithNoCase(url, "tftp://");
}

void ProcessUrlToFileName(std::string& url) {
    if (IsRemoteUrl(url)) {
        url.clear();
        return;
    }
    if (StartsWithNoCase(url, "file://")) {
        const std::string rest = url.substr(7);
        std::string decoded;
        decoded.reserve(rest.size());
        for (size_t i = 0; i < rest.size(); ++i) {
            if (rest[i] != '%') {
                decoded.push_back(rest[i]);
                continue;
            }
            unsigned int byte = 0;
            // "%00" would cut the name short where the C library reads it:
            // it is treated like any escape that cannot be decoded.
            if (i + 2 < rest.size() && std::sscanf(rest.substr(i + 1, 2).c_str(), "%02x", &byte) == 1 &&
                byte != 0) {
                decoded.push_back(static_cast<char>(byte));
                i += 2;
            }
            // an escape that cannot be decoded loses its '%'
        }
        url = decoded;
    }
    if (!url.empty() && url.find('/') == std::string::npos) url = HomeDirectory() + "/" + url;
}

namespace {

// Closes a descriptor when it goes.
class Fd {
public:
    explicit Fd(int fd) : _fd(fd) {}
    ~Fd() {
        if (_fd >= 0) ::close(_fd);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int Get() const { return _fd; }
    // Closing a written file is its last write: check it.
    bool Close() {
        const int fd = _fd;
        _fd = -1;
        return fd >= 0 && ::close(fd) == 0;
    }

private:
    int _fd;
};

bool WriteAll(int fd, const char* data, size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

// Copies `in` from `offset` to its end onto the end of `out` through this
// process, for what the kernel did not copy.
bool CopyRest(int in, int out, off_t offset) {
    std::vector<char> block(1 << 16);
    for (;;) {
        const ssize_t got = ::pread(in, block.data(), block.size(), offset);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return false;
        if (got == 0) return true;
        if (!WriteAll(out, block.data(), static_cast<size_t>(got))) return false;
        offset += got;
    }
}

}  // namespace

int CopyFile(const std::string& source, const std::string& destination, const std::string&,
             const std::string&) {
    std::string target = destination;
    ProcessUrlToFileName(target);
    Logger::Get()->SetFunc("CopyFile");
    Logger::Get()->Log("Copying file %s to %s", source.c_str(), destination.c_str());

    const Fd in(::open(source.c_str(), O_RDONLY | O_CLOEXEC));
    struct stat st {};
    if (in.Get() < 0 || ::fstat(in.Get(), &st) != 0 || S_ISDIR(st.st_mode)) {
        Logger::Get()->SetFunc("CopyFile");
        Logger::Get()->Log("Could not open source file");
        return 0;
    }
    // The copy is made under a new name beside the target and renamed over
    // it once complete: a failed copy leaves the target as it was.
    std::string temp = target + ".XXXXXX";
    Fd out(target.empty() ? -1 : ::mkostemp(&temp[0], O_CLOEXEC));
    if (out.Get() < 0) {
        Logger::Get()->SetFunc("CopyFile");
        Logger::Get()->Log("Could not open dest file");
        return 0;
    }
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(out.Get(), 0666 & ~mask);

    // The kernel copies the bytes where it can (sharing the blocks where the
    // file system allows), the rest goes through this process.
    const std::int64_t copied = S_ISREG(st.st_mode) ? KernelCopy(in.Get(), out.Get(), st.st_size) : 0;
    bool ok = CopyRest(in.Get(), out.Get(), static_cast<off_t>(copied));
    ok = out.Close() && ok;
    if (ok && std::rename(temp.c_str(), target.c_str()) == 0) return 1;
    ::unlink(temp.c_str());
    Logger::Get()->SetFunc("CopyFile");
    Logger::Get()->Log("Could not write dest file");
    return 0;
}

std::string TimeToDateString(std::time_t time) {
    if (time == static_cast<std::time_t>(-1)) return std::string();
    std::tm local{};
    if (localtime_r(&time, &local) == nullptr) return std::string();
    char text[32];
    std::snprintf(text, sizeof text, "%02d.%02d.%04d", local.tm_mday, local.tm_mon + 1, local.tm_year + 1900);
    return text;
}

std::string LoadString(int id, int language) {
    std::string text;
    MsgLoaderFile::Instance()->LoadMessage(id, language, text);
    return text;
}

namespace {

bool IsDirectory(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace

std::string ResourceFolder() {
    if (const char* env = std::getenv("PENDREL_RESOURCE_DIR"); env != nullptr && *env != '\0') return env;
    Dl_info info{};
    if (::dladdr(reinterpret_cast<void*>(&ResourceFolder), &info) != 0 && info.dli_fname != nullptr) {
        // The name the loader was given may be relative: resolve it, and for
        // the program itself prefer what the kernel knows.
        char resolved[PATH_MAX];
        std::string dir = info.dli_fname;
        if (::realpath(info.dli_fname, resolved) != nullptr)
            dir = resolved;
        else if (const ssize_t n = ::readlink("/proc/self/exe", resolved, sizeof resolved - 1); n > 0)
            dir.assign(resolved, static_cast<size_t>(n));
        const size_t slash = dir.rfind('/');
        dir = slash == std::string::npos ? std::string(".") : dir.substr(0, slash);
        for (const char* candidate : {"/resources", "/../resources", "/../share/pendrel/resources"})
            if (IsDirectory(dir + candidate)) return dir + candidate;
    }
    return "resources";
}

std::string ResourcePath(const std::string& name) {
    return ResourceFolder() + "/" + name;
}

}  // namespace Util
