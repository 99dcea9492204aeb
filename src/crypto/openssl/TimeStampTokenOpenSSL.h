#pragma once

#include <memory>

#include "crypto/CMSignature.h"
#include "crypto/openssl/CertificateOpenSSL.h"
#include "crypto/openssl/OpenSSLPtr.h"

namespace Crypto {

// A time-stamp token (RFC 3161) that covers fed bytes: a CMS SignedData
// whose signer, a time-stamping authority, signs a TSTInfo; the TSTInfo's
// message imprint must be the digest of the fed bytes. The bytes are
// streamed through that digest and not kept. Verification only: the signing
// operations answer false and take nothing.
class TimeStampTokenOpenSSL final : public CMSignature {
public:
    TimeStampTokenOpenSSL();
    ~TimeStampTokenOpenSSL() override;

    // False unless `token` is a SignedData carrying a TSTInfo.
    bool Load(const unsigned char* token, unsigned long tokenLength, unsigned long contentSize) override;
    void SetSigner(Certificate*) override {}
    void AddCert(Certificate*) override {}
    std::uint32_t GetSize(Hash::HashType) const override { return 0; }
    bool InitSign() override { return false; }
    bool Sign(unsigned char*, unsigned long&) override { return false; }
    bool FeedContent(const unsigned char* data, unsigned long length, bool last) override;
    // The authority's signature over the TSTInfo verifies, its certificate
    // is one for time-stamping, and the imprint is the fed bytes' digest.
    bool Verify() override;
    int CertsCount() const override { return 0; }
    Certificate* SignerCert() const override { return _signerCert.get(); }
    Certificate* GetCert(int) const override { return nullptr; }
    // The token's genTime; -1 before a token is loaded.
    std::time_t SigningTime() const override { return _genTime; }

private:
    bool ImprintMatches() const;

    CMSPtr _token;
    TSTInfoPtr _info;
    MDCtxPtr _digest;  // of the fed bytes, with the imprint's algorithm; null when it is unknown
    std::unique_ptr<CertificateOpenSSL> _signerCert;
    std::time_t _genTime = -1;
    unsigned long _contentSize = 0;
    unsigned long _contentFed = 0;
};

}  // namespace Crypto
