#pragma once

#include <cstdio>
#include <memory>

namespace Util {

struct FileCloser {
    void operator()(std::FILE* f) const noexcept { std::fclose(f); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

// Closing a written file is its last write: check it.
inline bool FinishWrite(FilePtr file) {
    std::FILE* f = file.release();
    if (f == nullptr) return false;
    const bool flushed = std::fflush(f) == 0 && !std::ferror(f);
    return std::fclose(f) == 0 && flushed;
}

}  // namespace Util
