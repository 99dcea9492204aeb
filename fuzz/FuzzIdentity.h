#pragma once

// A signing identity made in memory once per process: an RSA key and a
// self-signed certificate for it, valid from yesterday for ten years.

#include <openssl/evp.h>
#include <openssl/rsa.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <memory>

#include "crypto/openssl/CertificateOpenSSL.h"
#include "crypto/openssl/OpenSSLPtr.h"
#include "fuzz/FuzzSupport.h"

namespace Fuzz {

struct Identity {
    Crypto::EVPPKeyPtr key;
    Crypto::X509Ptr cert;
};

inline const Identity& TheIdentity() {
    static const Identity identity = [] {
        Identity made;
        made.key.reset(EVP_RSA_gen(2048));
        made.cert.reset(X509_new());
        FUZZ_CHECK(made.key && made.cert);
        X509* const cert = made.cert.get();
        X509_set_version(cert, 2);
        ASN1_INTEGER_set(X509_get_serialNumber(cert), 0x1234);
        X509_gmtime_adj(X509_getm_notBefore(cert), -86400);
        X509_gmtime_adj(X509_getm_notAfter(cert), 10L * 365 * 86400);
        X509_NAME* const name = X509_get_subject_name(cert);
        X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                                   reinterpret_cast<const unsigned char*>("Pendrel Fuzz Signer"), -1, -1, 0);
        X509_NAME_add_entry_by_txt(name, "O", MBSTRING_ASC, reinterpret_cast<const unsigned char*>("Fuzz"),
                                   -1, -1, 0);
        X509_set_issuer_name(cert, name);
        X509_set_pubkey(cert, made.key.get());
        X509V3_CTX ctx;
        X509V3_set_ctx_nodb(&ctx);
        X509V3_set_ctx(&ctx, cert, cert, nullptr, nullptr, 0);
        if (X509_EXTENSION* usage = X509V3_EXT_conf_nid(nullptr, &ctx, NID_key_usage,
                                                        "critical,digitalSignature,nonRepudiation")) {
            X509_add_ext(cert, usage, -1);
            X509_EXTENSION_free(usage);
        }
        FUZZ_CHECK(X509_sign(cert, made.key.get(), EVP_sha256()) > 0);
        return made;
    }();
    return identity;
}

// The identity as the engine's certificate, with its private key.
inline std::unique_ptr<Crypto::CertificateOpenSSL> IdentityCertificate() {
    const Identity& identity = TheIdentity();
    return std::make_unique<Crypto::CertificateOpenSSL>(identity.cert.get(), identity.key.get());
}

}  // namespace Fuzz
