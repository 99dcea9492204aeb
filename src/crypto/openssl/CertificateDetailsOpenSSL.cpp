#include "crypto/openssl/CertificateDetailsOpenSSL.h"

#include <openssl/x509v3.h>

#include <memory>

#include "crypto/Certificate.h"
#include "crypto/openssl/CryptoUtils.h"
#include "crypto/openssl/OpenSSLPtr.h"

namespace Crypto {

namespace {

using DistPointsPtr = std::unique_ptr<CRL_DIST_POINTS, FreeWith<&CRL_DIST_POINTS_free>>;

std::string Hex(const unsigned char* data, std::size_t length) {
    static const char digits[] = "0123456789abcdef";
    std::string text;
    text.reserve(length * 2);
    for (std::size_t i = 0; i < length; ++i) {
        text += digits[data[i] >> 4];
        text += digits[data[i] & 0x0f];
    }
    return text;
}

std::string Fingerprint(const std::vector<unsigned char>& der, const EVP_MD* md) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (EVP_Digest(der.data(), der.size(), digest, &length, md, nullptr) != 1) {
        ERR_clear_error();
        return std::string();
    }
    return Hex(digest, length);
}

std::string KeyTypeName(const EVP_PKEY* key) {
    switch (EVP_PKEY_get_base_id(key)) {
        case EVP_PKEY_RSA:
        case EVP_PKEY_RSA_PSS:
            return "RSA";
        case EVP_PKEY_DSA:
            return "DSA";
        case EVP_PKEY_EC:
            return "EC";
        case EVP_PKEY_ED25519:
            return "Ed25519";
        case EVP_PKEY_ED448:
            return "Ed448";
        default:
            break;
    }
    const char* name = EVP_PKEY_get0_type_name(key);
    return name != nullptr ? name : std::string();
}

std::vector<std::string> KeyUsageNames(X509* cert) {
    // X509_get_key_usage answers "all bits" when the extension is absent.
    if ((X509_get_extension_flags(cert) & EXFLAG_KUSAGE) == 0) return {};
    const uint32_t bits = X509_get_key_usage(cert);
    static const struct {
        uint32_t bit;
        const char* name;
    } kUsages[] = {
        {KU_DIGITAL_SIGNATURE, "digitalSignature"},
        {KU_NON_REPUDIATION, "nonRepudiation"},
        {KU_KEY_ENCIPHERMENT, "keyEncipherment"},
        {KU_DATA_ENCIPHERMENT, "dataEncipherment"},
        {KU_KEY_AGREEMENT, "keyAgreement"},
        {KU_KEY_CERT_SIGN, "keyCertSign"},
        {KU_CRL_SIGN, "cRLSign"},
        {KU_ENCIPHER_ONLY, "encipherOnly"},
        {KU_DECIPHER_ONLY, "decipherOnly"},
    };
    std::vector<std::string> names;
    for (const auto& usage : kUsages)
        if ((bits & usage.bit) != 0) names.push_back(usage.name);
    return names;
}

std::vector<std::string> DistributionPointURIs(X509* cert) {
    std::vector<std::string> uris;
    DistPointsPtr points(
        static_cast<CRL_DIST_POINTS*>(X509_get_ext_d2i(cert, NID_crl_distribution_points, nullptr, nullptr)));
    ERR_clear_error();
    if (!points) return uris;
    for (int i = 0; i < sk_DIST_POINT_num(points.get()); ++i) {
        const DIST_POINT* point = sk_DIST_POINT_value(points.get(), i);
        if (point == nullptr || point->distpoint == nullptr || point->distpoint->type != 0) continue;
        const GENERAL_NAMES* names = point->distpoint->name.fullname;
        for (int j = 0; j < sk_GENERAL_NAME_num(names); ++j) {
            const GENERAL_NAME* name = sk_GENERAL_NAME_value(names, j);
            if (name == nullptr || name->type != GEN_URI) continue;
            const ASN1_IA5STRING* uri = name->d.uniformResourceIdentifier;
            uris.emplace_back(reinterpret_cast<const char*>(ASN1_STRING_get0_data(uri)),
                              static_cast<std::size_t>(ASN1_STRING_length(uri)));
        }
    }
    return uris;
}

}  // namespace

CertificateDetails CertificateDetailsOpenSSL::Read(const Certificate& certificate) {
    CertificateDetails details;
    std::vector<unsigned char> der;
    if (!certificate.OutputDER(der) || der.empty()) return details;
    const unsigned char* p = der.data();
    X509Ptr cert(d2i_X509(nullptr, &p, static_cast<long>(der.size())));
    if (!cert) {
        ERR_clear_error();
        return details;
    }

    details.subject = certificate.Subject();
    details.issuer = certificate.Issuer();
    details.subjectDN = certificate.SubjectDN();
    details.issuerDN = certificate.IssuerDN();
    details.serialDecimal = certificate.SerialNumber().str();
    const ASN1_INTEGER* serial = X509_get0_serialNumber(cert.get());
    if (serial != nullptr) {
        std::string hex =
            Hex(ASN1_STRING_get0_data(serial), static_cast<std::size_t>(ASN1_STRING_length(serial)));
        // The magnitude without leading zero bytes, as the decimal shows it.
        while (hex.size() > 2 && hex.compare(0, 2, "00") == 0) hex.erase(0, 2);
        details.serialHex = hex;
    }
    if (const ASN1_TIME* t = X509_get0_notBefore(cert.get())) {
        const std::time_t value = CryptoUtils::ASN1_TIME_to_time_t(t);
        if (value != 0) details.notBefore = value;
    }
    if (const ASN1_TIME* t = X509_get0_notAfter(cert.get())) {
        const std::time_t value = CryptoUtils::ASN1_TIME_to_time_t(t);
        if (value != 0) details.notAfter = value;
    }
    details.sha1 = Fingerprint(der, EVP_sha1());
    details.sha256 = Fingerprint(der, EVP_sha256());
    if (const EVP_PKEY* key = X509_get0_pubkey(cert.get())) {
        details.keyType = KeyTypeName(key);
        details.keyBits = EVP_PKEY_get_bits(key);
    }
    ERR_clear_error();
    details.keyUsage = KeyUsageNames(cert.get());
    details.crlDistributionPoints = DistributionPointURIs(cert.get());
    return details;
}

}  // namespace Crypto
