#pragma once

#include <openssl/x509.h>

namespace Crypto {

// The signed attribute by which a CMS signer names its own certificate:
// signingCertificate (SHA-1 identifiers) or signingCertificateV2 (a named
// digest, SHA-256 when none is named). Its first identifier must be the
// certificate that verifies the signature; the others, certificates of the
// chain or of policies, are not judged here.
class SigningCertificateAttribute {
public:
    enum Version { V1, V2 };

    // True when the DER value `der` of the attribute names `cert` first: the
    // digest of its encoding and, where the identifier carries them, its
    // issuer and serial number. False for anything malformed.
    static bool NamesCertificate(Version version, const unsigned char* der, long length, X509* cert);
};

}  // namespace Crypto
