#pragma once

#include "crypto/PublicKeyFactory.h"

namespace Crypto {

// Reads the RSA or DSA public key of a certificate into a PublicKey value.
class PublicKeyFactoryOpenSSL final : public PublicKeyFactory {
public:
    std::unique_ptr<PublicKey> Create(const Certificate& certificate) const override;
};

}  // namespace Crypto
