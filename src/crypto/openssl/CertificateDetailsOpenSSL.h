#pragma once

#include "crypto/CertificateDetails.h"

namespace Crypto {

class Certificate;

// Reads the fields a certificate viewer lists from a certificate's DER
// encoding with OpenSSL.
class CertificateDetailsOpenSSL {
public:
    // The details of any certificate; empty (times -1) when it has no
    // readable encoding.
    static CertificateDetails Read(const Certificate& certificate);
};

}  // namespace Crypto
