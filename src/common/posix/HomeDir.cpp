#include "common/posix/HomeDir.h"

#include <pwd.h>
#include <unistd.h>

#include <vector>

namespace Util {

std::string HomeDirectory() {
    long size = sysconf(_SC_GETPW_R_SIZE_MAX);
    if (size <= 0) size = 16384;
    std::vector<char> buffer(static_cast<size_t>(size));
    passwd entry{};
    passwd* found = nullptr;
    if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) != 0 || found == nullptr ||
        found->pw_dir == nullptr)
        return std::string();
    return found->pw_dir;
}

}  // namespace Util
