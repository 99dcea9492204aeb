#include "common/Logger.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <ctime>
#include <vector>

#include "common/posix/FilePtr.h"
#include "common/posix/HomeDir.h"

namespace {

const char kLogName[] = "PendrelPDF_Safari.log";
const char kFlagName[] = "do_not_log";

std::string WithSlash(std::string folder) {
    if (folder.empty() || folder.back() != '/') folder += '/';
    return folder;
}

bool Exists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

// Size of a regular file by seeking to its end; anything else measures 0.
long MeasureFile(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return 0;
    const Util::FilePtr file(std::fopen(path.c_str(), "rb"));
    if (!file || std::fseek(file.get(), 0, SEEK_END) != 0) return 0;
    const long size = std::ftell(file.get());
    return size < 0 ? 0 : size;
}

// The log tells what the user signed and verified: it is created readable and
// writable by its owner only, whatever the umask. `flags` add to O_WRONLY.
Util::FilePtr OpenOwnerOnly(const std::string& path, int flags, const char* mode) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | flags, 0600);
    if (fd < 0) return nullptr;
    Util::FilePtr file(::fdopen(fd, mode));
    if (!file) ::close(fd);
    return file;
}

// A log an earlier version left readable to others becomes the owner's alone.
void RestrictToOwner(const std::string& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && (st.st_mode & 077) != 0)
        ::chmod(path.c_str(), st.st_mode & 0700);
}

}  // namespace

std::unique_ptr<Logger> Logger::_instance;
std::mutex Logger::_instanceMutex;

Logger* Logger::Get() {
    Init();
    return _instance.get();
}

void Logger::Init() {
    const std::lock_guard<std::mutex> lock(_instanceMutex);
    if (!_instance) _instance = std::make_unique<Logger>(PreferencesFolder());
}

void Logger::Release() {
    const std::lock_guard<std::mutex> lock(_instanceMutex);
    _instance.reset();
}

void Logger::UseFolder(const std::string& folder) {
    const std::lock_guard<std::mutex> lock(_instanceMutex);
    _instance = std::make_unique<Logger>(folder);
}

std::string Logger::PreferencesFolder() { return Util::HomeDirectory() + "/.config/Pendrel/"; }

Logger::Logger(const std::string& folder) {
    const std::string dir = WithSlash(folder);
    _fileName = dir + kLogName;
    if (Exists(dir + kFlagName)) {
        _logFunction = &Logger::DoNotLog;
        return;
    }
    RestrictToOwner(_fileName);
    if (MeasureFile(_fileName) >= kTrimThreshold) Trim();
}

// Keeps the last kTrimKeep bytes of an over-long log. The old log is kept
// under ".old" until the new one is written; on any failure it goes back.
void Logger::Trim() {
    const std::string old = _fileName + ".old";
    std::remove(old.c_str());
    if (std::rename(_fileName.c_str(), old.c_str()) != 0) return;

    std::vector<char> tail(kTrimKeep);
    size_t got = 0;
    {
        const Util::FilePtr in(std::fopen(old.c_str(), "rb"));
        if (in && std::fseek(in.get(), 0, SEEK_END) == 0) {
            const long size = std::ftell(in.get());
            if (size >= kTrimKeep && std::fseek(in.get(), size - kTrimKeep, SEEK_SET) == 0)
                got = std::fread(tail.data(), 1, tail.size(), in.get());
        }
    }
    if (got > 0) {
        Util::FilePtr out = OpenOwnerOnly(_fileName, O_TRUNC, "wb");
        if (out && std::fwrite(tail.data(), 1, got, out.get()) == got && Util::FinishWrite(std::move(out))) {
            std::remove(old.c_str());
            return;
        }
    }
    std::rename(old.c_str(), _fileName.c_str());
}

void Logger::SetFunc(const char* name) {
    const std::lock_guard<std::mutex> lock(_mutex);
    _funcs[std::this_thread::get_id()] = name ? name : "";
}

std::string Logger::CurrentFunc() {
    const auto it = _funcs.find(std::this_thread::get_id());
    return it == _funcs.end() ? std::string() : it->second;
}

int Logger::Log(const char* format, ...) {
    va_list args;
    va_start(args, format);
    const int written = LogV(format, args);
    va_end(args);
    return written;
}

int Logger::LogV(const char* format, va_list args) { return (this->*_logFunction)(format, args); }

int Logger::DoNotLog(const char*, va_list) { return 0; }

int Logger::DoLog(const char* format, va_list args) {
    if (format == nullptr) return 0;
    const std::lock_guard<std::mutex> lock(_mutex);
    const Util::FilePtr file = OpenOwnerOnly(_fileName, O_APPEND, "a");
    if (!file) return 0;

    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    std::fprintf(file.get(), "[%02d.%02d.%04d %02d:%02d:%02d] %s: ", local.tm_mday, local.tm_mon + 1,
                 local.tm_year + 1900, local.tm_hour, local.tm_min, local.tm_sec, CurrentFunc().c_str());
    // An entry whose format holds "%@" keeps only its prefix.
    if (std::strstr(format, "%@") != nullptr) return 0;
    const int written = std::vfprintf(file.get(), format, args);
    std::fputc('\n', file.get());
    return written < 0 ? 0 : written;
}
