#pragma once

#include <memory>
#include <string>
#include <vector>

#include "crypto/openssl/OpenSSLPtr.h"
#include "crypto/openssl/PrivateKeySource.h"

namespace Crypto {

class KeySession;

// The encrypted private key of a keychain file (a PEM file or a PKCS#12
// file whose certificates can be read without the passphrase). Opening it
// asks for the passphrase, once per session; the file's bytes are kept as
// they were read, so that the key opened is the key of the certificate
// offered. Also the decoding of keychain files that the store shares.
class EncryptedFileKey final : public PrivateKeySource {
public:
    enum Format { PEM, PKCS12File };

    // `fileId` names the file and its content for the session.
    EncryptedFileKey(std::shared_ptr<KeySession> session, std::string fileId, std::string bytes,
                     Format format);
    ~EncryptedFileKey() override;

    EVP_PKEY* Key() const override { return _key.get(); }
    void Unlock(const CertificateOpenSSL& certificate, const PromptContext& context) override;

    // The private key of a PEM file, decrypted with `passphrase` when it is
    // encrypted (null: an encrypted key is not opened). Null when none opens.
    static EVPPKeyPtr ReadPEMKey(const std::string& bytes, const char* passphrase);
    // Whether a PEM file holds an encrypted private key.
    static bool HasEncryptedPEMKey(const std::string& bytes);
    // Opens a PKCS#12 file with the passphrase (null or "": none), with
    // OpenSSL's legacy algorithms when the file needs them.
    static bool OpenPKCS12(PKCS12* p12, const char* passphrase, EVPPKeyPtr& key, X509Ptr& cert);
    // The identity's certificate of a PKCS#12 file as far as it can be read
    // without the passphrase: the certificate of the (encrypted) key bag, or
    // the first that is no authority. Null when the certificates are
    // encrypted too; `keyPresent` tells whether the file holds a key.
    static X509Ptr ReadableCertificate(PKCS12* p12, bool& keyPresent);
    // "PATH#SHA-256 of BYTES": a file and its content.
    static std::string FileId(const std::string& path, const std::string& bytes);

private:
    EVPPKeyPtr Decrypt(const char* passphrase) const;

    const std::shared_ptr<KeySession> _session;
    const std::string _fileId;
    const std::string _bytes;
    const Format _format;
    EVPPKeyPtr _key;
};

}  // namespace Crypto
