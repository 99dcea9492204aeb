#include "crypto/openssl/PublicKeyFactoryOpenSSL.h"

#include <openssl/core_names.h>

#include <algorithm>

#include "crypto/PublicKeyDSS.h"
#include "crypto/PublicKeyRSA.h"
#include "crypto/openssl/CertificateOpenSSL.h"

namespace Crypto {

namespace {

// A key parameter as a big integer; false when the key lacks it.
bool Parameter(const EVP_PKEY* key, const char* name, BigInteger& value) {
    BIGNUM* raw = nullptr;
    if (EVP_PKEY_get_bn_param(key, name, &raw) != 1) {
        ERR_clear_error();
        return false;
    }
    const BIGNUMPtr number(raw);
    std::vector<unsigned char> bytes(static_cast<std::size_t>(BN_num_bytes(number.get())));
    BN_bn2bin(number.get(), bytes.data());
    std::reverse(bytes.begin(), bytes.end());
    value = Certificate::ByteBufferToBigInteger(bytes);
    return true;
}

}  // namespace

std::unique_ptr<PublicKey> PublicKeyFactoryOpenSSL::Create(const Certificate& certificate) const {
    const auto* cert = dynamic_cast<const CertificateOpenSSL*>(&certificate);
    EVP_PKEY* key =
        (cert != nullptr && cert->X509Handle() != nullptr) ? X509_get0_pubkey(cert->X509Handle()) : nullptr;
    if (key == nullptr) {
        ERR_clear_error();
        return nullptr;
    }
    switch (EVP_PKEY_get_base_id(key)) {
        case EVP_PKEY_RSA: {
            BigInteger n, e;
            if (!Parameter(key, OSSL_PKEY_PARAM_RSA_N, n) || !Parameter(key, OSSL_PKEY_PARAM_RSA_E, e))
                return nullptr;
            return std::make_unique<PublicKeyRSA>(n, e);
        }
        case EVP_PKEY_DSA: {
            BigInteger p, q, g, y;
            if (!Parameter(key, OSSL_PKEY_PARAM_FFC_P, p) || !Parameter(key, OSSL_PKEY_PARAM_FFC_Q, q) ||
                !Parameter(key, OSSL_PKEY_PARAM_FFC_G, g) || !Parameter(key, OSSL_PKEY_PARAM_PUB_KEY, y))
                return nullptr;
            return std::make_unique<PublicKeyDSS>(p, q, g, y);
        }
        default:
            return nullptr;
    }
}

}  // namespace Crypto
