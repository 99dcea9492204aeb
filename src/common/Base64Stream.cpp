#include "common/Base64Stream.h"

#include <algorithm>

extern "C" {
#include <b64/cdecode.h>
#include <b64/cencode.h>
}

namespace Util {

namespace {

// The C coder counts in int: larger inputs go through in pieces (the coder's
// state carries across them).
constexpr std::size_t kPiece = 1 << 20;

}  // namespace

struct Base64Encoder::State {
    base64_encodestate state;
};

Base64Encoder::Base64Encoder() : _state(std::make_unique<State>()) {
    Reset();
}
Base64Encoder::~Base64Encoder() = default;

void Base64Encoder::Reset() {
    base64_init_encodestate(&_state->state);
}

void Base64Encoder::Encode(const unsigned char* data, std::size_t length, std::string& out) {
    for (std::size_t done = 0; done < length;) {
        const std::size_t n = std::min(length - done, kPiece);
        // Four characters per three bytes (two bytes may be pending from the
        // previous piece), a line feed per 72 characters, slack. The text is
        // written straight into `out`.
        const std::size_t start = out.size();
        out.resize(start + n / 3 * 4 + n / 54 + 16);
        const int written = base64_encode_block(reinterpret_cast<const char*>(data + done),
                                                static_cast<int>(n), &out[start], &_state->state);
        out.resize(start + static_cast<std::size_t>(written > 0 ? written : 0));
        done += n;
    }
}

void Base64Encoder::Finish(std::string& out) {
    char text[8];
    const int written = base64_encode_blockend(text, &_state->state);
    out.append(text, static_cast<std::size_t>(written));
}

struct Base64Decoder::State {
    base64_decodestate state;
};

Base64Decoder::Base64Decoder() : _state(std::make_unique<State>()) {
    Reset();
}
Base64Decoder::~Base64Decoder() = default;

void Base64Decoder::Reset() {
    base64_init_decodestate(&_state->state);
}

void Base64Decoder::Decode(const char* text, std::size_t length, std::vector<unsigned char>& out) {
    for (std::size_t done = 0; done < length;) {
        const std::size_t n = std::min(length - done, kPiece);
        // Three bytes per four characters. The coder also touches the byte
        // after the last one it completes (it keeps a partial byte there):
        // with one character pending from the previous piece and 4m + 3 here
        // it completes 3m + 3 bytes and touches the next, so room for 3m + 4.
        const std::size_t start = out.size();
        out.resize(start + n / 4 * 3 + 4);
        const int written = base64_decode_block(text + done, static_cast<int>(n),
                                                reinterpret_cast<char*>(out.data() + start), &_state->state);
        out.resize(start + static_cast<std::size_t>(written > 0 ? written : 0));
        done += n;
    }
}

}  // namespace Util
