#include <gtest/gtest.h>
#include <openssl/ess.h>
#include <openssl/pem.h>

#include <functional>
#include <string>

#include "crypto/openssl/OpenSSLPtr.h"
#include "crypto/openssl/SigningCertificateAttribute.h"
#include "support/TestPKI.h"

namespace {

using Crypto::SigningCertificateAttribute;
using TestSupport::TestPKI;
using Bytes = std::string;

using EssV1Ptr = std::unique_ptr<ESS_SIGNING_CERT, Crypto::FreeWith<&ESS_SIGNING_CERT_free>>;
using EssV2Ptr = std::unique_ptr<ESS_SIGNING_CERT_V2, Crypto::FreeWith<&ESS_SIGNING_CERT_V2_free>>;
void FreeStack(STACK_OF(X509) * stack) {
    sk_X509_free(stack);  // the certificates are not owned
}
using StackPtr = std::unique_ptr<STACK_OF(X509), Crypto::FreeWith<&FreeStack>>;

Crypto::X509Ptr Read(TestPKI::Id id) {
    const Crypto::BIOPtr in(BIO_new_file(TestPKI::Shared().Get(id).certPem.c_str(), "r"));
    return Crypto::X509Ptr(PEM_read_bio_X509(in.get(), nullptr, nullptr, nullptr));
}

template <typename T, typename Encode>
Bytes Der(const T& value, Encode encode) {
    unsigned char* out = nullptr;
    const int length = encode(value.get(), &out);
    Bytes der(reinterpret_cast<char*>(out), length > 0 ? static_cast<std::size_t>(length) : 0);
    OPENSSL_free(out);
    return der;
}

// Attributes as OpenSSL's own ESS code writes them: `first` named first,
// then `more`.
Bytes V2(const EVP_MD* md, X509* first, X509* more, bool issuerSerial) {
    const StackPtr others(sk_X509_new_null());
    if (more != nullptr) sk_X509_push(others.get(), more);
    const EssV2Ptr ess(OSSL_ESS_signing_cert_v2_new_init(md, first, others.get(), issuerSerial ? 1 : 0));
    return Der(ess, i2d_ESS_SIGNING_CERT_V2);
}

Bytes V1(X509* first, bool issuerSerial) {
    const EssV1Ptr ess(OSSL_ESS_signing_cert_new_init(first, nullptr, issuerSerial ? 1 : 0));
    return Der(ess, i2d_ESS_SIGNING_CERT);
}

TEST(SigningCertificateAttribute, MatchesOnlyWhenTheSignerIsNamedFirst) {
    const Crypto::X509Ptr signer = Read(TestPKI::Signer);
    const Crypto::X509Ptr intermediate = Read(TestPKI::Intermediate);
    ASSERT_TRUE(signer && intermediate);
    X509* const s = signer.get();
    X509* const other = intermediate.get();
    const Bytes withSerial = V2(EVP_sha256(), s, nullptr, true);
    // The signer's serial 0x1001 ends the identifier: change its last byte.
    Bytes wrongSerial = withSerial;
    wrongSerial.back() = static_cast<char>(wrongSerial.back() ^ 0x01);

    const struct {
        const char* what;
        SigningCertificateAttribute::Version version;
        Bytes der;
        bool named;
    } cases[] = {
        {"v2, SHA-256 left implicit, issuer and serial", SigningCertificateAttribute::V2, withSerial, true},
        {"v2, SHA-512 named, no issuer and serial", SigningCertificateAttribute::V2,
         V2(EVP_sha512(), s, nullptr, false), true},
        {"v2, the chain after the signer", SigningCertificateAttribute::V2, V2(EVP_sha256(), s, other, true),
         true},
        {"v2, another certificate", SigningCertificateAttribute::V2, V2(EVP_sha256(), other, nullptr, true),
         false},
        {"v2, the signer only second", SigningCertificateAttribute::V2, V2(EVP_sha384(), other, s, false),
         false},
        {"v2, right digest, wrong serial", SigningCertificateAttribute::V2, wrongSerial, false},
        {"v1 with issuer and serial", SigningCertificateAttribute::V1, V1(s, true), true},
        {"v1 without", SigningCertificateAttribute::V1, V1(s, false), true},
        {"v1, another certificate", SigningCertificateAttribute::V1, V1(other, false), false},
        {"v2 read as v1 (a SHA-256 digest is no SHA-1 one)", SigningCertificateAttribute::V1,
         V2(EVP_sha256(), s, nullptr, false), false},
        {"empty list", SigningCertificateAttribute::V2, Bytes("\x30\x02\x30\x00", 4), false},
        {"cut short", SigningCertificateAttribute::V2, withSerial.substr(0, withSerial.size() - 3), false},
        {"not DER", SigningCertificateAttribute::V2, Bytes(40, '\x42'), false},
        {"nothing", SigningCertificateAttribute::V2, Bytes(), false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const auto* bytes = reinterpret_cast<const unsigned char*>(c.der.data());
        EXPECT_EQ(SigningCertificateAttribute::NamesCertificate(c.version, c.der.empty() ? nullptr : bytes,
                                                                static_cast<long>(c.der.size()), s),
                  c.named);
    }
}

}  // namespace
