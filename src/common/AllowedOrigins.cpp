#include "common/AllowedOrigins.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "common/Logger.h"
#include "common/PageOrigin.h"
#include "common/posix/HomeDir.h"

namespace {

void LogProblem(const char* what, const std::string& path) {
    Logger::Get()->SetFunc("AllowedOrigins");
    Logger::Get()->Log("%s %s: %s", what, path.c_str(), std::strerror(errno));
}

// The file's text in `text` (empty when there is no file: none allowed);
// false when the file is there but cannot be read.
bool ReadFile(const std::string& path, std::string& text) {
    text.clear();
    std::ifstream in(path, std::ios::binary);
    if (!in) return ::access(path.c_str(), F_OK) != 0 && errno == ENOENT;
    std::ostringstream read;
    read << in.rdbuf();
    text = read.str();
    return !in.bad();
}

// The normalised origin, or empty when it is not one that can be allowed.
std::string Normalised(const std::string& origin) {
    const PageOrigin parsed = PageOrigin::FromLocation(origin);
    return parsed.GetKind() == PageOrigin::Web ? parsed.Text() : std::string();
}

// Makes every missing folder of path's parent, private to the user.
bool MakeParentFolders(const std::string& path) {
    for (std::size_t slash = path.find('/', 1); slash != std::string::npos; slash = path.find('/', slash + 1)) {
        const std::string folder = path.substr(0, slash);
        if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
            LogProblem("Cannot create the folder", folder);
            return false;
        }
    }
    return true;
}

bool WriteAll(int fd, const std::string& text) {
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t written = ::write(fd, text.data() + done, text.size() - done);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return false;
        done += static_cast<std::size_t>(written);
    }
    return true;
}

// Writes text to a new file beside path and renames it over path.
bool ReplaceFile(const std::string& path, const std::string& text) {
    if (!MakeParentFolders(path)) return false;
    std::string temp = path + ".XXXXXX";
    const int fd = ::mkstemp(&temp[0]);  // created 0600
    if (fd < 0) {
        LogProblem("Cannot create", temp);
        return false;
    }
    bool ok = ::fchmod(fd, 0600) == 0 && WriteAll(fd, text) && ::fsync(fd) == 0;
    ok = ::close(fd) == 0 && ok;
    if (ok && std::rename(temp.c_str(), path.c_str()) == 0) return true;
    LogProblem("Cannot write", path);
    std::remove(temp.c_str());
    return false;
}

}  // namespace

std::string AllowedOrigins::FilePath() {
    if (const char* file = std::getenv("PENDREL_ALLOWED_ORIGINS_FILE"); file != nullptr && *file != '\0')
        return file;
    return Util::HomeDirectory() + "/.config/Pendrel/allowed-origins";
}

std::vector<std::string> AllowedOrigins::Parse(const std::string& text) {
    std::vector<std::string> origins;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        const std::size_t start = line.find_first_not_of(" \t\r");
        if (start == std::string::npos || line[start] == '#') continue;
        std::istringstream words(line.substr(start));
        std::string word;
        while (words >> word) {
            const std::string origin = Normalised(word);
            if (!origin.empty()) origins.push_back(origin);
        }
    }
    return origins;
}

bool AllowedOrigins::Contains(const std::string& origin) {
    const std::string wanted = Normalised(origin);
    if (wanted.empty()) return false;
    std::string text;
    if (const char* listed = std::getenv("PENDREL_ALLOWED_ORIGINS"))
        text = listed;
    else
        ReadFile(FilePath(), text);
    const std::vector<std::string> origins = Parse(text);
    return std::find(origins.begin(), origins.end(), wanted) != origins.end();
}

bool AllowedOrigins::Add(const std::string& origin) {
    const std::string added = Normalised(origin);
    if (added.empty()) return false;
    const std::string path = FilePath();
    std::string text;
    if (!ReadFile(path, text)) {
        // Writing over a list that could not be read would lose it.
        LogProblem("Cannot read", path);
        return false;
    }
    const std::vector<std::string> origins = Parse(text);
    if (std::find(origins.begin(), origins.end(), added) != origins.end()) return true;
    if (!text.empty() && text.back() != '\n') text += '\n';
    text += added + "\n";
    if (!ReplaceFile(path, text)) return false;
    Logger::Get()->SetFunc("AllowedOrigins");
    Logger::Get()->Log("Signing allowed for good for %s", added.c_str());
    return true;
}
