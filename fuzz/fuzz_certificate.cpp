// Certificates from DER and the comparison of distinguished names: every
// accessor answers on any bytes, names are valid UTF-8, a name equals itself
// and the comparison is symmetric.
#include <utf8.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "crypto/CRLStatusItem.h"
#include "crypto/CertificateDetails.h"
#include "crypto/DNCompare.h"
#include "crypto/Exception.h"
#include "crypto/openssl/CRLDownloaderOpenSSL.h"
#include "crypto/openssl/CertificateOpenSSL.h"
#include "fuzz/FuzzSupport.h"

namespace {

bool ValidUtf8(const std::string& text) {
    return utf8::is_valid(text.begin(), text.end());
}

void CheckNames(const std::string& a, const std::string& b) {
    const Crypto::DNCompare* const compare = Crypto::DNCompare::Instance();
    FUZZ_CHECK(compare->CompareDNs(a, a, false));
    FUZZ_CHECK(compare->CompareDNs(a, a, true));
    const bool ab = compare->CompareDNs(a, b, false);
    FUZZ_CHECK(ab == compare->CompareDNs(b, a, false));
    if (ab) FUZZ_CHECK(compare->CompareDNs(a, b, true) && compare->CompareDNs(b, a, true));
    (void)Crypto::DNCompare::IsDN(a);
    (void)compare->GetIssuer(a);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const Crypto::CertificateOpenSSL cert(data, size);
    const std::string subject = cert.Subject();
    const std::string issuer = cert.Issuer();
    FUZZ_CHECK(ValidUtf8(subject) && ValidUtf8(issuer));
    FUZZ_CHECK(subject.size() < 1024 && issuer.size() < 1024);
    const std::string subjectDN = cert.SubjectDN();
    const std::string issuerDN = cert.IssuerDN();
    (void)cert.SerialNumber();
    (void)cert.Hash();
    (void)cert.SKI();
    (void)cert.NotAfter();
    (void)cert.NotBefore();
    (void)cert.CertKeyUsage();
    try {
        (void)cert.GetAlgorithm();
    } catch (const Crypto::Exception&) {
        // Neither RSA nor DSA, or no key: refused as documented.
    }
    const Crypto::CertificateDetails details = cert.Details();
    FUZZ_CHECK(ValidUtf8(details.subject) && ValidUtf8(details.issuer));

    std::vector<std::string> urls;
    Crypto::CRLStatusItem item;
    std::vector<unsigned char> der(data, data + size);
    (void)Crypto::CRLDownloaderOpenSSL::FindURIs(urls, der, item);

    std::vector<unsigned char> out;
    if (cert.OutputDER(out)) {
        const Crypto::CertificateOpenSSL again(out.data(), out.size());
        FUZZ_CHECK(again.SubjectDN() == subjectDN);
        FUZZ_CHECK(again.IssuerDN() == issuerDN);
    }

    CheckNames(subjectDN, issuerDN);
    // The input itself as two names, split at its first NUL.
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::size_t cut = text.find('\0');
    CheckNames(text.substr(0, cut), cut == std::string::npos ? std::string() : text.substr(cut + 1));
    return 0;
}
