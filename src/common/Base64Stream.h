#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

namespace Util {

// Streaming Base64 encoder: a line feed after every 72 characters, counted
// across pieces; Finish adds the final group with its padding and a line feed.
class Base64Encoder {
public:
    Base64Encoder();
    ~Base64Encoder();
    Base64Encoder(const Base64Encoder&) = delete;
    Base64Encoder& operator=(const Base64Encoder&) = delete;

    void Reset();
    // Appends the text of the bytes to out.
    void Encode(const unsigned char* data, std::size_t length, std::string& out);
    void Finish(std::string& out);

private:
    struct State;
    std::unique_ptr<State> _state;
};

// Streaming Base64 decoder: pieces may split groups anywhere; characters
// outside the alphabet (line breaks, blanks) are skipped.
class Base64Decoder {
public:
    Base64Decoder();
    ~Base64Decoder();
    Base64Decoder(const Base64Decoder&) = delete;
    Base64Decoder& operator=(const Base64Decoder&) = delete;

    void Reset();
    // Appends the decoded bytes to out.
    void Decode(const char* text, std::size_t length, std::vector<unsigned char>& out);

private:
    struct State;
    std::unique_ptr<State> _state;
};

}  // namespace Util
