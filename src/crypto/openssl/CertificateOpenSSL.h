#pragma once

#include <memory>
#include <string>
#include <vector>

#include "crypto/Certificate.h"
#include "crypto/openssl/OpenSSLPtr.h"

namespace Crypto {

class CertStoreFile;
class PrivateKeySource;
class TrustObject;

// A certificate held as its decoded X509 and its DER bytes and, for an
// identity of the key store, its private key.
class CertificateOpenSSL : public Certificate {
public:
    // From DER bytes; a failed decoding leaves an object whose accessors
    // answer empty.
    CertificateOpenSSL(const unsigned char* der, std::size_t length);
    // From a decoded certificate (its reference count is raised).
    explicit CertificateOpenSSL(X509* cert);
    // An identity: the certificate with its private key. A key that does not
    // belong to the certificate is not kept.
    CertificateOpenSSL(X509* cert, EVP_PKEY* privateKey);
    // An identity whose private key opens later (UnlockPrivateKey): an
    // encrypted key or a key on a token.
    CertificateOpenSSL(X509* cert, std::shared_ptr<PrivateKeySource> keySource);
    CertificateOpenSSL(const CertificateOpenSSL& other);
    ~CertificateOpenSSL() override = default;

    CertificateOpenSSL& operator=(const CertificateOpenSSL& other);
    Certificate& operator=(const Certificate& other) override;
    std::unique_ptr<Certificate> Clone() const override;

    std::string Subject() const override;
    std::string Issuer() const override;
    std::string SubjectDN() const override;
    std::string IssuerDN() const override;
    bool HasPrivateKey() const override { return _privateKey != nullptr || _keySource != nullptr; }
    BigInteger SerialNumber() const override;
    std::vector<unsigned char> Hash() const override;
    std::vector<unsigned char> SKI() const override;
    bool OutputDER(std::vector<unsigned char>& der) const override;
    bool OutputCRL(std::vector<unsigned char>&) const override { return false; }
    std::time_t NotAfter() const override;
    std::time_t NotBefore() const;
    using Certificate::Validate;
    void Validate(bool checkCRL, const PromptContext& context) override;
    int TimeValidity() const override { return _timeValidity; }
    int ChainValidity() const override { return _chainValidity; }
    int CRLValidity() const override { return _crlValidity; }
    std::string Status() const override { return _status; }
    int Error() const override { return _error; }
    bool GetAlgorithm() const override;
    std::vector<unsigned char> SignHash(Crypto::Hash* hash) const override;
    int VerifyHash(Crypto::Hash* hash, const std::vector<unsigned char>* signature) const override;
    std::set<KeyUsage::Usages> CertKeyUsage() const override;
    CertificateDetails Details() const override;
    void UnlockPrivateKey(const PromptContext& context) override;
    std::string TokenLabel() const override;

    // The OpenSSL objects, owned by this certificate (null when absent). The
    // private key is null while a key that opens later is still closed.
    X509* X509Handle() const { return _x509.get(); }
    EVP_PKEY* PrivateKey() const;
    // Where a key that opens later lives; null for a key that is open.
    const std::shared_ptr<PrivateKeySource>& KeySource() const { return _keySource; }

    // A chain evaluation of cert against the Root store of otherStore's
    // keychain, with the certificates of otherStore as candidates for the
    // chain and the cached current revocation list of cert's issuer, when
    // there is one. Null (with a log line) when it cannot be made.
    static std::unique_ptr<TrustObject> CreateTrustObject(X509* cert, CertStoreFile& otherStore);
    // Judges revocation of a certificate whose chain is trusted, from the
    // cached list of its issuer or one downloaded (then cached).
    void CheckRevocationStatus(CertStoreFile& otherStore, const PromptContext& context);
    // Downloads the revocation list from the distribution points; on
    // failure Error() takes the download's code (-34, -35, 1).
    bool DownloadCRL(std::vector<unsigned char>& out, const PromptContext& context);
    // True when crl lists this certificate's serial number (and when either
    // is missing).
    bool IsRevoked(const X509_CRL* crl) const;

private:
    void ResetValidation();
    void SetValidity(int& field, int code);
    // Decides revocation from a list of the issuer that has been checked.
    void JudgeRevocation(const X509_CRL* crl);

    int _timeValidity = NotDetermined;
    int _crlValidity = NotDetermined;
    int _chainValidity = NotDetermined;
    std::string _status = "XXXX";
    int _error = 0;
    X509Ptr _x509;
    EVPPKeyPtr _privateKey;
    std::shared_ptr<PrivateKeySource> _keySource;  // shared by the copies of this certificate
    std::vector<unsigned char> _der;
};

}  // namespace Crypto
