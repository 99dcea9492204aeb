#pragma once

#include "crypto/openssl/OpenSSLPtr.h"

namespace Crypto {

// The first signer of a decoded SignedData and what a verifier checks of
// it, for detached signatures and time-stamp tokens alike: its certificate
// among those the message embeds (named by issuer and serial number or by
// subject key identifier), digests that still protect a document, the
// signature over its signed attributes, the certificate those attributes
// name, and the digest of the content.
class CMSSigner {
public:
    // The SignedData in `der`; null, with a log line under `func`, for
    // bytes that are not one.
    static CMSPtr DecodeSignedData(const unsigned char* der, unsigned long length, const char* func);
    // False, with a log line, for a digest that no longer protects a
    // document (MD5 and older); SHA-1 passes but is logged as weak. `what`
    // begins the log line ("The signature").
    static bool DigestProtects(int nid, const char* what);

    // `cms` is not owned and must outlive this object.
    explicit CMSSigner(CMS_ContentInfo* cms);
    CMSSigner(const CMSSigner&) = delete;
    CMSSigner& operator=(const CMSSigner&) = delete;

    bool Found() const { return _info != nullptr; }
    // Null when the message does not carry the signer's certificate.
    X509* Certificate() const { return _cert; }

    // The digest and signature algorithms protect (DigestProtects), the
    // signature over the signed attributes matches the certificate's key and
    // a signing-certificate attribute names that certificate. True without
    // signed attributes (the content check then verifies the signature).
    bool AttributesVerify() const;
    // The content digest, taken from the digest filters of `digests` (the
    // chain CMS_dataInit made, the content read through it), against the
    // messageDigest attribute or, without signed attributes, the signature.
    bool ContentVerifies(BIO* digests) const;

private:
    bool AlgorithmsProtect() const;
    bool SigningCertificatesMatch() const;

    CMS_SignerInfo* _info = nullptr;
    X509* _cert = nullptr;  // owned by the message
};

}  // namespace Crypto
