#pragma once

#include "crypto/Hash.h"
#include "crypto/openssl/OpenSSLPtr.h"

namespace Crypto {

// A message digest on OpenSSL's EVP interface.
class HashOpenSSL final : public Hash {
public:
    explicit HashOpenSSL(HashType type);

    void Reset() override;
    void FeedData(const unsigned char* data, unsigned int length) override;
    std::vector<unsigned char> GetData() override;
    HashType Type() const override { return _type; }

private:
    const HashType _type;
    const EVP_MD* const _md;
    MDCtxPtr _ctx;
    bool _started = false;  // a digest is open for feeding
};

}  // namespace Crypto
