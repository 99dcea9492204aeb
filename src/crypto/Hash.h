#pragma once

#include <vector>

namespace Crypto {

// A message digest: fed in pieces, read once, then Reset before reuse.
class Hash {
public:
    enum HashType { MD5 = 0, SHA1 = 1, SHA256 = 2, SHA384 = 3, SHA512 = 4 };

    virtual ~Hash() = default;
    // Starts a new digest.
    virtual void Reset() = 0;
    virtual void FeedData(const unsigned char* data, unsigned int length) = 0;
    // Finishes the digest: its bytes, or empty on failure.
    virtual std::vector<unsigned char> GetData() = 0;
    virtual HashType Type() const = 0;

protected:
    Hash() = default;
    Hash(const Hash&) = delete;
    Hash& operator=(const Hash&) = delete;
};

}  // namespace Crypto
