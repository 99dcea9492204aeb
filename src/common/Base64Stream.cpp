#include "common/Base64Stream.h"

extern "C" {
#include <b64/cdecode.h>
#include <b64/cencode.h>
}

namespace Util {

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
    // Four characters per three bytes, a line feed per 72 characters, slack.
    std::vector<char> text(length / 3 * 4 + length / 54 + 16);
    const int written = base64_encode_block(reinterpret_cast<const char*>(data), static_cast<int>(length),
                                            text.data(), &_state->state);
    out.append(text.data(), static_cast<std::size_t>(written));
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
    const std::size_t start = out.size();
    out.resize(start + length / 4 * 3 + 3);
    const int written = base64_decode_block(text, static_cast<int>(length),
                                            reinterpret_cast<char*>(out.data() + start), &_state->state);
    out.resize(start + static_cast<std::size_t>(written));
}

}  // namespace Util
