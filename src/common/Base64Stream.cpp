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

// The encoder's alphabet and its line length of 72 characters, as the C coder has them.
constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr int kGroupsPerLine = 72 / 4;

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
    if (length == 0) return;
    base64_encodestate& state = _state->state;
    // Four characters per three bytes (two bytes may be pending from the
    // previous piece), a line feed per 72 characters, slack. The text is
    // written straight into `out`.
    const std::size_t start = out.size();
    out.resize(start + length / 3 * 4 + length / 54 + 16);
    char* const begin = &out[start];
    char* code = begin;
    std::size_t done = 0;
    // The C coder takes the bytes up to the next whole group (it emits what
    // it can of a group at once and keeps the rest in its state) ...
    while (done < length && state.step != step_A) {
        code += base64_encode_block(reinterpret_cast<const char*>(data + done), 1, code, &state);
        ++done;
    }
    // ... whole groups go through here, a table lookup per character instead
    // of a call, with the coder's line count ...
    const std::size_t groups = (length - done) / 3;
    for (std::size_t g = 0; g < groups; ++g, done += 3) {
        const unsigned v = (unsigned{data[done]} << 16) | (unsigned{data[done + 1]} << 8) | data[done + 2];
        code[0] = kAlphabet[v >> 18];
        code[1] = kAlphabet[(v >> 12) & 63];
        code[2] = kAlphabet[(v >> 6) & 63];
        code[3] = kAlphabet[v & 63];
        code += 4;
        if (++state.stepcount == kGroupsPerLine) {
            *code++ = '\n';
            state.stepcount = 0;
        }
    }
    // ... and it keeps the one or two bytes left for the next piece.
    for (; done < length; ++done)
        code += base64_encode_block(reinterpret_cast<const char*>(data + done), 1, code, &state);
    out.resize(start + static_cast<std::size_t>(code - begin));
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
