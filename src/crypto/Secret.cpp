#include "crypto/Secret.h"

#include <cstring>

namespace Crypto {

Secret::Secret(const char* text, std::size_t length) {
    Assign(text, length);
}

Secret::~Secret() {
    Clear();
}

Secret::Secret(Secret&& other) noexcept : _bytes(std::move(other._bytes)) {
    other._bytes.clear();
}

Secret& Secret::operator=(Secret&& other) noexcept {
    if (this != &other) {
        Clear();
        _bytes = std::move(other._bytes);
        other._bytes.clear();
    }
    return *this;
}

void Secret::Assign(const char* text, std::size_t length) {
    Clear();
    if (text == nullptr || length == 0) return;
    // Sized once, so that no reallocation leaves a copy behind.
    std::vector<char> bytes(length + 1, '\0');
    std::memcpy(bytes.data(), text, length);
    _bytes = std::move(bytes);
}

void Secret::Clear() {
    if (!_bytes.empty()) Wipe(_bytes.data(), _bytes.size());
    _bytes.clear();
    _bytes.shrink_to_fit();
}

void Secret::Wipe(void* data, std::size_t length) noexcept {
    if (data == nullptr || length == 0) return;
    // Writes through a volatile pointer are not removed as dead stores.
    volatile unsigned char* p = static_cast<volatile unsigned char*>(data);
    while (length-- > 0) *p++ = 0;
}

void Secret::Wipe(std::string& text) noexcept {
    if (!text.empty()) Wipe(&text[0], text.size());
    text.clear();
}

}  // namespace Crypto
