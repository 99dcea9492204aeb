#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace PDF {

// Flate (zlib format, zlib's default level) for the streams of the update.
// The whole input is compressed in one pass into a bounded output: a result
// that does not fit the capacity is refused, so a raster that does not
// compress below its raw size is not written.
class FlateEncoder {
public:
    enum class Status {
        Ok,        // data holds the finished zlib stream
        TooLarge,  // the finished stream would exceed the capacity
        Failed,    // zlib reported an error (zlibCode, message)
    };
    struct Result {
        Status status = Status::Failed;
        std::vector<unsigned char> data;
        int zlibCode = 0;
        std::string message;
    };

    static Result Encode(const unsigned char* data, size_t size, size_t capacity);
    // Capacity the appearance writer gives a content stream of `size` bytes.
    static size_t ContentCapacity(size_t size) { return size * 2 + 1024; }
};

}  // namespace PDF
