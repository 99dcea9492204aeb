#pragma once

#include <ctime>
#include <string>
#include <vector>

// What the windows show of one certificate, filled in by the caller from its
// certificate object. Texts are UTF-8.
struct CertView {
    std::string subject;  // common name or short form, for lists
    std::string issuer;
    std::string subjectDN;  // full distinguished names
    std::string issuerDN;
    std::string serialDecimal;  // "4660"
    std::string serialHex;      // "1234"
    std::time_t notBefore = -1;
    std::time_t notAfter = -1;
    std::string sha1;  // fingerprints as hex digits, no separators
    std::string sha256;
    std::string keyType;  // "RSA", "DSA", "EC", ...
    int keyBits = 0;
    std::vector<std::string> keyUsage;  // "digitalSignature", ...
    std::vector<std::string> crlDistributionPoints;
    // Where the private key lives: the token's label, the keychain folder,
    // or empty for a certificate without a key.
    std::string storedIn;
};
