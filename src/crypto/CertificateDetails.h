#pragma once

#include <ctime>
#include <string>
#include <vector>

namespace Crypto {

// The fields of a certificate that a certificate viewer lists, read from its
// DER encoding. Texts are UTF-8; everything is empty (times -1) when the
// certificate has no readable encoding.
struct CertificateDetails {
    std::string subject;  // short display names, as Certificate::Subject/Issuer
    std::string issuer;
    std::string subjectDN;  // RFC 2253
    std::string issuerDN;
    std::string serialDecimal;  // "4660"
    std::string serialHex;      // "1234": lower-case digits, most significant first, no separators
    std::time_t notBefore = -1;
    std::time_t notAfter = -1;
    std::string sha1;  // fingerprints of the DER encoding: lower-case hex digits, no separators
    std::string sha256;
    std::string keyType;  // "RSA", "DSA", "EC", "Ed25519", "Ed448", or OpenSSL's short name
    int keyBits = 0;
    std::vector<std::string>
        keyUsage;  // names of the key usage bits set, in bit order; empty without the extension
    std::vector<std::string> crlDistributionPoints;  // URIs of the distribution points' full names
};

}  // namespace Crypto
