#include "common/PemCrl.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "common/Base64Stream.h"

namespace Util {

namespace {

const char kBegin[] = "-----BEGIN X509 CRL-----";
const char kEnd[] = "-----END X509 CRL-----";
const std::size_t kBeginLength = sizeof(kBegin) - 1;
const std::size_t kEndLength = sizeof(kEnd) - 1;
// The end line with the line ends around it: "\n" kEnd "\n".
const std::size_t kTrailerLength = kEndLength + 2;

// Length of the begin line with its line end, 0 when data does not start with it.
std::size_t BeginLineLength(const unsigned char* data, std::size_t size) {
    if (data == nullptr || size < kBeginLength + 1 || std::memcmp(data, kBegin, kBeginLength) != 0) return 0;
    if (data[kBeginLength] == '\n') return kBeginLength + 1;
    if (size >= kBeginLength + 2 && data[kBeginLength] == '\r' && data[kBeginLength + 1] == '\n')
        return kBeginLength + 2;
    return 0;
}

}  // namespace

bool IsPemCrl(const unsigned char* data, std::size_t size) {
    return BeginLineLength(data, size) != 0;
}

std::vector<unsigned char> DecodePemCrl(const unsigned char* data, std::size_t size) {
    const std::size_t start = BeginLineLength(data, size);
    if (start == 0) return {};

    const unsigned char* const last = data + size;
    const unsigned char* end = std::search(data + start, last, kEnd, kEnd + kEndLength);
    if (end == last) {
        // No end line: leave out the bytes where it should have been.
        if (size < start + kTrailerLength) return {};
        end = last - kTrailerLength;
    }

    // Line ends and other characters outside the Base64 alphabet are skipped by the decoder.
    const std::size_t length = static_cast<std::size_t>(end - (data + start));
    if (length > static_cast<std::size_t>(std::numeric_limits<int>::max())) return {};
    std::vector<unsigned char> decoded;
    Base64Decoder().Decode(reinterpret_cast<const char*>(data + start), length, decoded);
    return decoded;
}

}  // namespace Util
