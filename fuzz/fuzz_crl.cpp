// Revocation lists (DER or PEM, as a download or a cached file brings them):
// any bytes decode or not without a crash; a list the issuer has signed and
// the cache stored reads back from the cache with the same verdict on the
// certificate.
#include <openssl/err.h>
#include <openssl/x509.h>

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <memory>
#include <string>

#include "crypto/openssl/CRLCache.h"
#include "crypto/openssl/CryptoUtils.h"
#include "crypto/openssl/OpenSSLPtr.h"
#include "fuzz/FuzzIdentity.h"
#include "fuzz/FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const Fuzz::Identity& identity = Fuzz::TheIdentity();
    static const std::unique_ptr<Crypto::CertificateOpenSSL> cert = Fuzz::IdentityCertificate();
    const std::string keychain = Fuzz::Scratch() + "/keychain";
    const Crypto::CRLCache cache(keychain);
    const std::time_t now = std::time(nullptr);
    EVP_PKEY* const key = identity.key.get();
    X509_NAME* const issuer = X509_get_subject_name(identity.cert.get());

    // The bytes as a file of the cache folder, under the issuer's name and
    // under another.
    ::mkdir(cache.Folder().c_str(), 0700);
    const std::string own = cache.FileFor(issuer);
    FUZZ_CHECK(!own.empty());
    const std::string other = cache.Folder() + "/other.crl";
    for (const std::string& path : {own, other}) {
        Fuzz::WriteInput(data, size, path.substr(Fuzz::Scratch().size() + 1));
        if (const Crypto::X509CRLPtr found = cache.Lookup(issuer, now, {key}))
            FUZZ_CHECK(X509_NAME_cmp(X509_CRL_get_issuer(found.get()), issuer) == 0);
        ::unlink(path.c_str());
    }

    const unsigned char* p = data;
    Crypto::X509CRLPtr crl(d2i_X509_CRL(nullptr, &p, static_cast<long>(size)));
    ERR_clear_error();
    if (!crl) return 0;
    (void)Crypto::CryptoUtils::ASN1_TIME_to_time_t(X509_CRL_get0_lastUpdate(crl.get()));
    (void)Crypto::CryptoUtils::ASN1_TIME_to_time_t(X509_CRL_get0_nextUpdate(crl.get()));
    STACK_OF(X509_REVOKED)* const entries = X509_CRL_get_REVOKED(crl.get());
    for (int i = 0; i < sk_X509_REVOKED_num(entries); ++i)
        (void)Crypto::CryptoUtils::ASN1_TIME_to_time_t(
            X509_REVOKED_get0_revocationDate(sk_X509_REVOKED_value(entries, i)));
    const bool revoked = cert->IsRevoked(crl.get());

    // The same entries in a current list of our issuer, signed by it.
    if (X509_CRL_set_issuer_name(crl.get(), issuer) != 1) return 0;
    using TimePtr = std::unique_ptr<ASN1_TIME, decltype(&ASN1_TIME_free)>;
    std::time_t at = now;
    const TimePtr from(X509_time_adj_ex(nullptr, -1, 0, &at), &ASN1_TIME_free);
    const TimePtr until(X509_time_adj_ex(nullptr, 1, 0, &at), &ASN1_TIME_free);
    if (!from || !until || X509_CRL_set1_lastUpdate(crl.get(), from.get()) != 1 ||
        X509_CRL_set1_nextUpdate(crl.get(), until.get()) != 1 ||
        X509_CRL_sign(crl.get(), key, EVP_sha256()) <= 0) {
        ERR_clear_error();
        return 0;
    }
    std::string error;
    FUZZ_CHECK(cache.Store(crl.get(), error));
    const Crypto::X509CRLPtr back = cache.Lookup(issuer, now, {key});
    FUZZ_CHECK(back != nullptr);
    FUZZ_CHECK(cert->IsRevoked(back.get()) == revoked);
    ::unlink(own.c_str());
    return 0;
}
