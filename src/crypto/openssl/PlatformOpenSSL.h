#pragma once

#include "crypto/Platform.h"

namespace Crypto {

// The factory of the OpenSSL implementations and the keychain folder.
class PlatformOpenSSL final : public Platform {
public:
    std::unique_ptr<Certificate> CreateCertificate(const unsigned char* der,
                                                   unsigned long length) const override;
    std::unique_ptr<CertStore> CreateCertStore() const override;
    std::unique_ptr<CMSignature> CreateCMSignature() const override;
    std::unique_ptr<CMSignature> CreateTimeStampToken() const override;
    std::unique_ptr<Hash> CreateHash(Hash::HashType type) const override;
};

}  // namespace Crypto
