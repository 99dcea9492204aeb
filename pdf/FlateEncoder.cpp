#include "pdf/FlateEncoder.h"

#include <zlib.h>

#include <climits>
#include <memory>

namespace PDF {

namespace {

// Owns an initialised deflate stream.
class Deflater {
public:
    Deflater() { _status = deflateInit(&_stream, Z_DEFAULT_COMPRESSION); }
    ~Deflater() {
        if (_status == Z_OK) deflateEnd(&_stream);
    }
    Deflater(const Deflater&) = delete;
    Deflater& operator=(const Deflater&) = delete;

    int Status() const { return _status; }
    z_stream& Stream() { return _stream; }

private:
    z_stream _stream{};
    int _status;
};

FlateEncoder::Result Failure(int code, const char* call, const z_stream& stream) {
    FlateEncoder::Result result;
    result.status = FlateEncoder::Status::Failed;
    result.zlibCode = code;
    result.message = std::string(call) + " failed: " + (stream.msg != nullptr ? stream.msg : zError(code));
    return result;
}

}  // namespace

FlateEncoder::Result FlateEncoder::Encode(const unsigned char* data, size_t size, size_t capacity) {
    Deflater deflater;
    z_stream& stream = deflater.Stream();
    if (deflater.Status() != Z_OK) return Failure(deflater.Status(), "deflateInit", stream);
    if (size > UINT_MAX) return Failure(Z_BUF_ERROR, "deflate", stream);  // zlib counts in 32 bits

    // One byte more than allowed tells "fits exactly" from "does not fit".
    const size_t room = capacity < UINT_MAX ? capacity + 1 : UINT_MAX;
    Result result;
    result.data.resize(room);
    stream.next_in = const_cast<Bytef*>(data);  // zlib does not write through it
    stream.avail_in = static_cast<uInt>(size);
    stream.next_out = result.data.data();
    stream.avail_out = static_cast<uInt>(room);
    const int code = deflate(&stream, Z_FINISH);
    if (code == Z_STREAM_END) {
        if (stream.total_out > capacity) {
            result.data.clear();
            result.status = Status::TooLarge;
            return result;
        }
        result.data.resize(stream.total_out);
        result.status = Status::Ok;
        return result;
    }
    if (code == Z_OK || code == Z_BUF_ERROR) {  // output full before the stream ended
        result.data.clear();
        result.status = Status::TooLarge;
        return result;
    }
    return Failure(code, "deflate", stream);
}

}  // namespace PDF
