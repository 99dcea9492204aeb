#pragma once

#include <memory>

#include "crypto/Hash.h"

namespace Crypto {

class Certificate;
class CertStore;
class CMSignature;

// Makes the cryptographic objects of the platform; the caller owns them.
class Platform {
public:
    virtual ~Platform() = default;

    virtual std::unique_ptr<Certificate> CreateCertificate(const unsigned char* der,
                                                           unsigned long length) const = 0;
    // A store that is not opened yet.
    virtual std::unique_ptr<CertStore> CreateCertStore() const = 0;
    virtual std::unique_ptr<CMSignature> CreateCMSignature() const = 0;
    // Verifies a time-stamp token (RFC 3161) over fed bytes; it signs nothing.
    virtual std::unique_ptr<CMSignature> CreateTimeStampToken() const = 0;
    virtual std::unique_ptr<Hash> CreateHash(Hash::HashType type) const = 0;
};

}  // namespace Crypto
