#include "common/posix/KernelCopy.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace Util {

std::int64_t KernelCopy(int in, int out, std::int64_t size) {
    struct stat inStat {};
    struct stat outStat {};
    if (size <= 0 || ::fstat(in, &inStat) != 0 || !S_ISREG(inStat.st_mode) || inStat.st_size < size ||
        ::fstat(out, &outStat) != 0 || !S_ISREG(outStat.st_mode))
        return 0;
    const off_t start = ::lseek(out, 0, SEEK_END);
    if (start < 0) return 0;
    if (start == 0 && inStat.st_size == size && ::ioctl(out, FICLONE, in) == 0) {
        if (::lseek(out, 0, SEEK_END) == size) return size;
        // The clone did not give the whole file: start again without it.
        if (::ftruncate(out, 0) != 0 || ::lseek(out, 0, SEEK_SET) != 0) return 0;
    }
    off_t inOffset = 0;
    off_t outOffset = start;
    std::int64_t copied = 0;
    while (copied < size) {
        const ssize_t n =
            ::copy_file_range(in, &inOffset, out, &outOffset, static_cast<size_t>(size - copied), 0);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;  // not possible here (another file system, an old kernel), or a failure
        copied += n;
    }
    ::lseek(out, start + copied, SEEK_SET);
    return copied;
}

}  // namespace Util
