#include "crypto/openssl/PlatformOpenSSL.h"

#include "crypto/openssl/CMSignatureOpenSSL.h"
#include "crypto/openssl/CertStoreFile.h"
#include "crypto/openssl/CertificateOpenSSL.h"
#include "crypto/openssl/HashOpenSSL.h"
#include "crypto/openssl/TimeStampTokenOpenSSL.h"

namespace Crypto {

std::unique_ptr<Certificate> PlatformOpenSSL::CreateCertificate(const unsigned char* der,
                                                                unsigned long length) const {
    return std::make_unique<CertificateOpenSSL>(der, length);
}

std::unique_ptr<CertStore> PlatformOpenSSL::CreateCertStore() const {
    return std::make_unique<CertStoreFile>();
}

std::unique_ptr<CMSignature> PlatformOpenSSL::CreateCMSignature() const {
    return std::make_unique<CMSignatureOpenSSL>();
}

std::unique_ptr<CMSignature> PlatformOpenSSL::CreateTimeStampToken() const {
    return std::make_unique<TimeStampTokenOpenSSL>();
}

std::unique_ptr<Hash> PlatformOpenSSL::CreateHash(Hash::HashType type) const {
    return std::make_unique<HashOpenSSL>(type);
}

}  // namespace Crypto
