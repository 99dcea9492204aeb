#pragma once

#include <cstdio>
#include <string>

namespace PDF {

// Checked writes to the working file of an update. A failed write or a
// position beyond 32-bit offsets raises PDF::Exception(Code::kWriteFailed), so that a
// short file is never taken for a finished one.
class Output {
public:
    static void Write(std::FILE* out, const void* data, std::size_t size);
    static void Write(std::FILE* out, const std::string& text) { Write(out, text.data(), text.size()); }
    // printf-style text, formatted under the caller's LocaleGuard.
    static void Printf(std::FILE* out, const char* format, ...) __attribute__((format(printf, 2, 3)));
    // The current position.
    static int Position(std::FILE* out);
    static void Seek(std::FILE* out, long offset, int whence);
};

}  // namespace PDF
