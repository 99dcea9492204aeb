#include "crypto/openssl/SigningCertificateAttribute.h"

#include <openssl/asn1.h>
#include <openssl/evp.h>
#include <openssl/objects.h>
#include <openssl/x509v3.h>

#include <cstring>
#include <memory>

#include "crypto/openssl/OpenSSLPtr.h"

namespace Crypto {

namespace {

using AlgorPtr = std::unique_ptr<X509_ALGOR, FreeWith<&X509_ALGOR_free>>;
using GeneralNamesPtr = std::unique_ptr<GENERAL_NAMES, FreeWith<&GENERAL_NAMES_free>>;
using IntegerPtr = std::unique_ptr<ASN1_INTEGER, FreeWith<&ASN1_INTEGER_free>>;

// One DER element: where it begins, its tag and its content.
struct Element {
    const unsigned char* begin = nullptr;
    const unsigned char* content = nullptr;
    long length = 0;
    int tag = -1;
    bool constructed = false;

    const unsigned char* End() const { return content + length; }
    long Size() const { return static_cast<long>(End() - begin); }
};

// Reads the universal-class element at `p` (before `end`) and moves `p`
// past it; false for anything but a complete definite-length element.
bool Read(const unsigned char*& p, const unsigned char* end, Element& out) {
    if (p == nullptr || p >= end) return false;
    const unsigned char* q = p;
    long length = 0;
    int tag = 0;
    int cls = 0;
    const int flags = ASN1_get_object(&q, &length, &tag, &cls, static_cast<long>(end - p));
    if ((flags & 0x80) != 0 || (flags & 0x01) != 0 || cls != V_ASN1_UNIVERSAL) return false;
    out = Element{p, q, length, tag, (flags & V_ASN1_CONSTRUCTED) != 0};
    p = out.End();
    return true;
}

bool ReadSequence(const unsigned char*& p, const unsigned char* end, Element& out) {
    return Read(p, end, out) && out.tag == V_ASN1_SEQUENCE && out.constructed;
}

// IssuerSerial: the certificate's issuer among the general names, and its
// serial number.
bool MatchesIssuerSerial(const Element& issuerSerial, X509* cert) {
    const unsigned char* p = issuerSerial.content;
    Element names;
    Element serial;
    if (!ReadSequence(p, issuerSerial.End(), names) || !Read(p, issuerSerial.End(), serial) ||
        serial.tag != V_ASN1_INTEGER || p != issuerSerial.End())
        return false;
    const unsigned char* namesBytes = names.begin;
    const GeneralNamesPtr generalNames(d2i_GENERAL_NAMES(nullptr, &namesBytes, names.Size()));
    const unsigned char* serialBytes = serial.begin;
    const IntegerPtr number(d2i_ASN1_INTEGER(nullptr, &serialBytes, serial.Size()));
    if (!generalNames || !number) return false;
    if (ASN1_INTEGER_cmp(number.get(), X509_get0_serialNumber(cert)) != 0) return false;
    for (int i = 0; i < sk_GENERAL_NAME_num(generalNames.get()); ++i) {
        const GENERAL_NAME* name = sk_GENERAL_NAME_value(generalNames.get(), i);
        if (name->type == GEN_DIRNAME &&
            X509_NAME_cmp(name->d.directoryName, X509_get_issuer_name(cert)) == 0)
            return true;
    }
    return false;
}

}  // namespace

bool SigningCertificateAttribute::NamesCertificate(Version version, const unsigned char* der, long length,
                                                   X509* cert) {
    if (der == nullptr || length <= 0 || cert == nullptr) return false;
    // SigningCertificate(V2) ::= SEQUENCE { certs SEQUENCE OF ESSCertID(v2), policies ... OPTIONAL }
    const unsigned char* p = der;
    Element attribute;
    Element certs;
    Element id;
    if (!ReadSequence(p, der + length, attribute)) return false;
    p = attribute.content;
    if (!ReadSequence(p, attribute.End(), certs)) return false;
    p = certs.content;
    if (!ReadSequence(p, certs.End(), id)) return false;  // an empty list names nothing

    // ESSCertID ::= SEQUENCE { certHash OCTET STRING, issuerSerial OPTIONAL }; v2 first
    // names its digest unless it is SHA-256.
    p = id.content;
    Element item;
    if (!Read(p, id.End(), item)) return false;
    const EVP_MD* md = version == V1 ? EVP_sha1() : EVP_sha256();
    if (version == V2 && item.tag == V_ASN1_SEQUENCE) {
        const unsigned char* algorithmBytes = item.begin;
        const AlgorPtr algorithm(d2i_X509_ALGOR(nullptr, &algorithmBytes, item.Size()));
        md = algorithm ? EVP_get_digestbyobj(algorithm->algorithm) : nullptr;
        if (md == nullptr || !Read(p, id.End(), item)) return false;
    }
    if (item.tag != V_ASN1_OCTET_STRING || item.constructed) return false;

    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int digestLength = 0;
    if (X509_digest(cert, md, digest, &digestLength) != 1) {
        ERR_clear_error();
        return false;
    }
    if (static_cast<long>(digestLength) != item.length ||
        std::memcmp(digest, item.content, digestLength) != 0)
        return false;
    if (p == id.End()) return true;  // no issuer and serial number to compare
    Element issuerSerial;
    return ReadSequence(p, id.End(), issuerSerial) && p == id.End() &&
           MatchesIssuerSerial(issuerSerial, cert);
}

}  // namespace Crypto
