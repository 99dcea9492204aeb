#pragma once

#include <memory>

#include "crypto/PublicKey.h"

namespace Crypto {

class Certificate;

// Makes the public-key value of a certificate (for searches by key).
class PublicKeyFactory {
public:
    virtual ~PublicKeyFactory() = default;
    // Null when the certificate has no key of a supported type.
    virtual std::unique_ptr<PublicKey> Create(const Certificate& certificate) const = 0;
};

}  // namespace Crypto
