#pragma once

#include <string>
#include <vector>

#include "crypto/BigInteger.h"

namespace Crypto {

class CertInfoInterface;

// Search criteria handed to a certificate store.
class CertInfo {
public:
    // Fills the criteria from an information object; null changes nothing.
    void Adopt(const CertInfoInterface* source);

    std::string subject;
    std::string issuer;
    BigInteger serial;                // 0 when not given
    std::vector<unsigned char> hash;  // empty when not given
};

}  // namespace Crypto
