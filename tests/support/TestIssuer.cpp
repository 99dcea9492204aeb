#include "support/TestIssuer.h"

#include <openssl/bn.h>
#include <openssl/conf.h>
#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <memory>
#include <stdexcept>

namespace TestSupport {

namespace {

template <auto FreeFn>
struct Free {
    template <typename T>
    void operator()(T* p) const noexcept {
        FreeFn(p);
    }
};
using KeyPtr = std::unique_ptr<EVP_PKEY, Free<&EVP_PKEY_free>>;
using CertPtr = std::unique_ptr<X509, Free<&X509_free>>;
using CrlPtr = std::unique_ptr<X509_CRL, Free<&X509_CRL_free>>;
using BioPtr = std::unique_ptr<BIO, Free<&BIO_free_all>>;
using BnPtr = std::unique_ptr<BIGNUM, Free<&BN_free>>;
using IntPtr = std::unique_ptr<ASN1_INTEGER, Free<&ASN1_INTEGER_free>>;
using TimePtr = std::unique_ptr<ASN1_TIME, Free<&ASN1_TIME_free>>;
using RevokedPtr = std::unique_ptr<X509_REVOKED, Free<&X509_REVOKED_free>>;
using ConfPtr = std::unique_ptr<CONF, Free<&NCONF_free>>;

void Check(bool ok, const char* what) {
    if (ok) return;
    char text[256] = "";
    ERR_error_string_n(ERR_get_error(), text, sizeof text);
    ERR_clear_error();
    throw std::runtime_error(std::string("test issuer: ") + what + " failed " + text);
}

KeyPtr ReadKey(const std::string& path) {
    const BioPtr in(BIO_new_file(path.c_str(), "r"));
    Check(in != nullptr, "opening a key");
    KeyPtr key(PEM_read_bio_PrivateKey(in.get(), nullptr, nullptr, nullptr));
    Check(key != nullptr, "reading a key");
    return key;
}

CertPtr ReadCert(const std::string& path) {
    const BioPtr in(BIO_new_file(path.c_str(), "r"));
    Check(in != nullptr, "opening a certificate");
    CertPtr cert(PEM_read_bio_X509(in.get(), nullptr, nullptr, nullptr));
    Check(cert != nullptr, "reading a certificate");
    return cert;
}

IntPtr Serial(const std::string& hex) {
    BIGNUM* raw = nullptr;
    Check(BN_hex2bn(&raw, hex.c_str()) > 0, "serial");
    const BnPtr bn(raw);
    IntPtr serial(BN_to_ASN1_INTEGER(bn.get(), nullptr));
    Check(serial != nullptr, "serial");
    return serial;
}

TimePtr Time(std::time_t t) {
    TimePtr time(ASN1_TIME_set(nullptr, t));
    Check(time != nullptr, "time");
    return time;
}

template <typename Encode>
std::string Der(Encode encode) {
    unsigned char* bytes = nullptr;
    const int length = encode(&bytes);
    Check(length > 0, "DER encoding");
    std::string der(reinterpret_cast<char*>(bytes), static_cast<std::size_t>(length));
    OPENSSL_free(bytes);
    return der;
}

}  // namespace

std::string IssueCertificate(const TestPKI& pki, const IssueRequest& request) {
    const CertPtr issuer = ReadCert(pki.Get(TestPKI::Intermediate).certPem);
    const KeyPtr issuerKey = ReadKey(pki.Get(TestPKI::Intermediate).keyPem);
    const KeyPtr key = ReadKey(request.keyPem.empty() ? pki.Get(TestPKI::Signer).keyPem : request.keyPem);

    const CertPtr cert(X509_new());
    Check(cert && X509_set_version(cert.get(), 2) == 1, "version");
    Check(X509_set_serialNumber(cert.get(), Serial(request.serialHex).get()) == 1, "serial");
    X509_NAME* name = X509_get_subject_name(cert.get());
    Check(
        X509_NAME_add_entry_by_txt(name, "O", MBSTRING_UTF8,
                                   reinterpret_cast<const unsigned char*>("Pendrel Test"), -1, -1, 0) == 1 &&
            X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_UTF8,
                                       reinterpret_cast<const unsigned char*>(request.commonName.c_str()), -1,
                                       -1, 0) == 1,
        "subject");
    Check(X509_set_issuer_name(cert.get(), X509_get_subject_name(issuer.get())) == 1, "issuer name");
    Check(X509_set1_notBefore(cert.get(), Time(request.notBefore).get()) == 1 &&
              X509_set1_notAfter(cert.get(), Time(request.notAfter).get()) == 1,
          "validity");
    Check(X509_set_pubkey(cert.get(), key.get()) == 1, "public key");

    X509V3_CTX ctx;
    X509V3_set_ctx(&ctx, issuer.get(), cert.get(), nullptr, nullptr, 0);
    const std::string config =
        "[ext]\nbasicConstraints = critical,CA:FALSE\n"
        "keyUsage = critical,digitalSignature,nonRepudiation\n"
        "authorityKeyIdentifier = keyid:always\n" +
        request.extensions + "\n" + request.sections + "\n";
    const ConfPtr conf(NCONF_new(nullptr));
    const BioPtr in(BIO_new_mem_buf(config.data(), static_cast<int>(config.size())));
    long errorLine = 0;
    Check(conf && in && NCONF_load_bio(conf.get(), in.get(), &errorLine) == 1, "extension configuration");
    X509V3_set_nconf(&ctx, conf.get());
    Check(X509V3_EXT_add_nconf(conf.get(), &ctx, "ext", cert.get()) == 1, "extensions");
    Check(X509_sign(cert.get(), issuerKey.get(), EVP_sha256()) > 0, "signing");
    return Der([&](unsigned char** out) { return i2d_X509(cert.get(), out); });
}

std::string IssueCRL(const TestPKI& pki, const CrlRequest& request) {
    const CertPtr named = ReadCert(pki.Get(request.issuerName).certPem);
    const KeyPtr key = ReadKey(pki.Get(request.signer).keyPem);
    const CrlPtr crl(X509_CRL_new());
    Check(crl && X509_CRL_set_version(crl.get(), 1) == 1, "CRL version");
    Check(X509_CRL_set_issuer_name(crl.get(), X509_get_subject_name(named.get())) == 1, "CRL issuer");
    Check(X509_CRL_set1_lastUpdate(crl.get(), Time(request.thisUpdate).get()) == 1, "thisUpdate");
    if (request.nextUpdate)
        Check(X509_CRL_set1_nextUpdate(crl.get(), Time(*request.nextUpdate).get()) == 1, "nextUpdate");
    for (const std::string& serial : request.revokedSerialsHex) {
        RevokedPtr revoked(X509_REVOKED_new());
        Check(revoked && X509_REVOKED_set_serialNumber(revoked.get(), Serial(serial).get()) == 1 &&
                  X509_REVOKED_set_revocationDate(revoked.get(), Time(request.thisUpdate).get()) == 1 &&
                  X509_CRL_add0_revoked(crl.get(), revoked.get()) == 1,
              "revoked entry");
        revoked.release();  // owned by the list now
    }
    Check(X509_CRL_sort(crl.get()) == 1 && X509_CRL_sign(crl.get(), key.get(), EVP_sha256()) > 0, "signing");
    return Der([&](unsigned char** out) { return i2d_X509_CRL(crl.get(), out); });
}

}  // namespace TestSupport
