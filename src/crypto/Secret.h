#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace Crypto {

// A passphrase or PIN while it is in use: the only owner of its bytes, which
// are overwritten with zeros when it is cleared, replaced or destroyed.
// Never logged, never copied (moving hands the bytes over).
class Secret {
public:
    Secret() = default;
    Secret(const char* text, std::size_t length);
    ~Secret();
    Secret(Secret&& other) noexcept;
    Secret& operator=(Secret&& other) noexcept;
    Secret(const Secret&) = delete;
    Secret& operator=(const Secret&) = delete;

    // Replaces the bytes (the old ones are wiped first).
    void Assign(const char* text, std::size_t length);
    void Clear();

    // NUL-terminated, for C interfaces; "" when empty.
    const char* CStr() const { return _bytes.empty() ? "" : _bytes.data(); }
    std::size_t Length() const { return _bytes.empty() ? 0 : _bytes.size() - 1; }
    bool Empty() const { return Length() == 0; }

    // Overwrites `length` bytes with zeros in a way the compiler keeps.
    static void Wipe(void* data, std::size_t length) noexcept;
    static void Wipe(std::string& text) noexcept;

private:
    std::vector<char> _bytes;  // the text and its NUL; capacity never grows behind our back
};

}  // namespace Crypto
