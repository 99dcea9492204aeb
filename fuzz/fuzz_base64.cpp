// Base64 in pieces: the decoder and the encoder give the same bytes whatever
// the pieces are, and text the encoder made decodes to what it was made of.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "common/Base64Stream.h"
#include "fuzz/FuzzSupport.h"

namespace {

// Piece lengths (1 to 16) from the first bytes of the input.
std::vector<std::size_t> Pieces(const std::uint8_t* data, std::size_t size, std::size_t& used) {
    used = size < 8 ? size : 8;
    std::vector<std::size_t> pieces;
    for (std::size_t i = 0; i < used; ++i) pieces.push_back(1 + data[i] % 16);
    if (pieces.empty()) pieces.push_back(1);
    return pieces;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::size_t used = 0;
    const std::vector<std::size_t> pieces = Pieces(data, size, used);
    const char* const text = reinterpret_cast<const char*>(data + used);
    const std::size_t length = size - used;

    Util::Base64Decoder whole;
    std::vector<unsigned char> once;
    whole.Decode(text, length, once);

    Util::Base64Decoder split;
    std::vector<unsigned char> inPieces;
    for (std::size_t at = 0, k = 0; at < length; ++k) {
        const std::size_t n = std::min(pieces[k % pieces.size()], length - at);
        split.Decode(text + at, n, inPieces);
        at += n;
    }
    FUZZ_CHECK(inPieces == once);

    // The same bytes encoded at once and in pieces give the same text, and
    // that text decodes to the bytes.
    const unsigned char* const bytes = data + used;
    std::string encodedOnce;
    Util::Base64Encoder encoder;
    encoder.Encode(bytes, length, encodedOnce);
    encoder.Finish(encodedOnce);
    std::string encodedInPieces;
    Util::Base64Encoder pieceEncoder;
    for (std::size_t at = 0, k = 0; at < length; ++k) {
        const std::size_t n = std::min(pieces[k % pieces.size()], length - at);
        pieceEncoder.Encode(bytes + at, n, encodedInPieces);
        at += n;
    }
    pieceEncoder.Finish(encodedInPieces);
    FUZZ_CHECK(encodedInPieces == encodedOnce);

    Util::Base64Decoder back;
    std::vector<unsigned char> decoded;
    back.Decode(encodedOnce.data(), encodedOnce.size(), decoded);
    FUZZ_CHECK(decoded == std::vector<unsigned char>(bytes, bytes + length));
    return 0;
}
