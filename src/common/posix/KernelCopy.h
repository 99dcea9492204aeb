#pragma once

#include <cstdint>

namespace Util {

// Copies the first `size` bytes of the regular file `in` to the end of the
// regular file `out` inside the kernel, without passing them through this
// process: the file system shares the blocks (a reflink) where it can, when
// `out` is empty and takes the whole of `in`; otherwise copy_file_range
// copies them. Answers the bytes copied, 0 with nothing written when the
// kernel cannot copy here; the caller copies what is left itself. `out`'s
// file position is left at its new end.
std::int64_t KernelCopy(int in, int out, std::int64_t size);

}  // namespace Util
