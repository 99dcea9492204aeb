#pragma once

#include <memory>
#include <vector>

#include "crypto/CMSignature.h"
#include "crypto/openssl/CertificateOpenSSL.h"
#include "crypto/openssl/OpenSSLPtr.h"

namespace Crypto {

// Detached CMS SignedData with OpenSSL: one signer whose certificate is
// embedded, SHA-256, binary content. Content is streamed through the
// digests both ways, so memory does not grow with the document. Sign raises
// Exception (a key-opening code of Code) when a token that held the key refuses to
// sign, so that the caller tells a removed token from a failed encoder.
class CMSignatureOpenSSL final : public CMSignature {
public:
    CMSignatureOpenSSL();
    ~CMSignatureOpenSSL() override;

    bool Load(const unsigned char* cms, unsigned long cmsLength, unsigned long contentSize) override;
    void SetSigner(Certificate* signer) override;
    void AddCert(Certificate* certificate) override;
    std::uint32_t GetSize(Hash::HashType type) const override;
    bool InitSign() override;
    bool Sign(unsigned char* out, unsigned long& size) override;
    bool FeedContent(const unsigned char* data, unsigned long length, bool last) override;
    bool Verify() override;
    int CertsCount() const override { return 0; }
    Certificate* SignerCert() const override { return _signerCert.get(); }
    Certificate* GetCert(int) const override { return nullptr; }

    static constexpr unsigned long kNoMessage = ~0UL;

private:
    bool Finish();

    // Signing.
    CertificateOpenSSL* _signer = nullptr;    // not owned
    std::vector<CertificateOpenSSL*> _certs;  // not owned, in the order added
    CMSPtr _encoder;
    BIOPtr _encoderInput;  // digest filters over a null sink
    bool _finished = false;
    std::vector<unsigned char> _encoded;
    // Verification.
    CMSPtr _decoder;
    BIOPtr _decoderInput;  // digest filters over a null sink: the content is not kept
    std::unique_ptr<CertificateOpenSSL> _signerCert;
    unsigned long _contentSize = kNoMessage;
    unsigned long _contentFed = 0;
};

}  // namespace Crypto
