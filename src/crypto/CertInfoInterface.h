#pragma once

#include <string>

namespace Crypto {

// The texts of a certificate-information object that a search reads.
class CertInfoInterface {
public:
    virtual std::string Subject() const = 0;
    virtual std::string Issuer() const = 0;
    // Serial number as hexadecimal text.
    virtual std::string Serial() const = 0;
    // SHA-1 fingerprint as hexadecimal text, and as Base64.
    virtual std::string Hash() const = 0;
    virtual std::string Hash64() const = 0;
    virtual ~CertInfoInterface() = default;
};

}  // namespace Crypto
