#pragma once

#include <cstdint>
#include <ctime>

#include "crypto/Hash.h"

namespace Crypto {

class Certificate;

// A detached CMS signature: made over fed bytes while signing, checked
// against fed bytes while verifying. An object serves one signing (until
// Load) or verifications (after Load).
class CMSignature {
public:
    virtual ~CMSignature() = default;

    // Verification: takes a DER message and the number of content bytes that
    // will be fed.
    virtual bool Load(const unsigned char* cms, unsigned long cmsLength, unsigned long contentSize) = 0;
    // Signing: the certificate must have a private key; not owned.
    virtual void SetSigner(Certificate* signer) = 0;
    // A supporting certificate to embed; not owned.
    virtual void AddCert(Certificate* certificate) = 0;
    // Bytes to reserve for the encoded message.
    virtual std::uint32_t GetSize(Hash::HashType type) const = 0;
    virtual bool InitSign() = 0;
    // Writes the finished message to out when it fits in size; size becomes
    // its length.
    virtual bool Sign(unsigned char* out, unsigned long& size) = 0;
    virtual bool FeedContent(const unsigned char* data, unsigned long length, bool last) = 0;
    // True when the signature matches the fed content and the signer's key.
    virtual bool Verify() = 0;
    virtual int CertsCount() const = 0;
    // The signer certificate found by Verify; owned by this object.
    virtual Certificate* SignerCert() const = 0;
    virtual Certificate* GetCert(int index) const = 0;
    // The time the loaded message itself states and its signer vouches for
    // (a time-stamp token's time); -1 when it states none.
    virtual std::time_t SigningTime() const { return -1; }

protected:
    CMSignature() = default;
    CMSignature(const CMSignature&) = delete;
    CMSignature& operator=(const CMSignature&) = delete;
};

}  // namespace Crypto
