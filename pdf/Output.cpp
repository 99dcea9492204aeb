#include "pdf/Output.h"

#include <climits>
#include <cstdarg>
#include <vector>

#include "pdf/Exception.h"

namespace PDF {

namespace {

[[noreturn]] void WriteFailed() {
    throw Exception(Code::kWriteFailed, Code::kWriteFailedText);
}

}  // namespace

void Output::Write(std::FILE* out, const void* data, std::size_t size) {
    if (out == nullptr) WriteFailed();
    if (size != 0 && std::fwrite(data, 1, size, out) != size) WriteFailed();
}

void Output::Printf(std::FILE* out, const char* format, ...) {
    std::va_list args;
    va_start(args, format);
    std::va_list again;
    va_copy(again, args);
    const int length = std::vsnprintf(nullptr, 0, format, args);
    va_end(args);
    if (length < 0) {
        va_end(again);
        WriteFailed();
    }
    std::vector<char> text(static_cast<std::size_t>(length) + 1);
    std::vsnprintf(text.data(), text.size(), format, again);
    va_end(again);
    Write(out, text.data(), static_cast<std::size_t>(length));
}

int Output::Position(std::FILE* out) {
    if (out == nullptr) WriteFailed();
    const long position = std::ftell(out);
    if (position < 0 || position > INT_MAX) WriteFailed();
    return static_cast<int>(position);
}

void Output::Seek(std::FILE* out, long offset, int whence) {
    if (out == nullptr || std::fseek(out, offset, whence) != 0) WriteFailed();
}

}  // namespace PDF
