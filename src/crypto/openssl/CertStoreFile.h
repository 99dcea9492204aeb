#pragma once

#include <deque>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "crypto/CertStore.h"
#include "crypto/openssl/CertificateOpenSSL.h"
#include "crypto/openssl/StoreEntry.h"

namespace Crypto {

class KeySession;

// The certificate stores of the keychain folder: identities/ (Personal:
// PKCS#12 files and PEM files with certificate and private key), roots/
// plus OpenSSL's default trust anchors (Root) and certs/ (Other). Files are
// enumerated in name order, certificates in file order; a file that cannot
// be read is skipped with a log line. The Personal store then lists the
// identities of the tokens (TokenIdentities).
//
// An identity whose key is encrypted is offered with its key still closed:
// the passphrase is asked for when it signs. A PKCS#12 file whose
// certificates are encrypted too can only be offered once opened: the
// enumeration asks for its passphrase, once per session.
class CertStoreFile : public CertStore {
public:
    // Over the user's keychain folder (KeychainFolder()), in a session of its own.
    CertStoreFile();
    // `session` null: a session of its own.
    explicit CertStoreFile(const std::string& keychainFolder, std::shared_ptr<KeySession> session = nullptr);
    ~CertStoreFile() override;

    bool Open(Type type) override;
    Certificate* Begin() override;
    Certificate* Next() override;

    const std::string& Keychain() const { return _keychain; }
    const std::shared_ptr<KeySession>& Session() const { return _session; }
    // Tells `observer` about every file, token object and certificate each
    // enumeration sees, offered or not.
    void SetObserver(StoreObserver observer) { _observer = std::move(observer); }

    // $PENDREL_KEYCHAIN, else ~/.local/share/pendrel/keychain.
    static std::string KeychainFolder();
    // The sub-folder of a store type ("identities", "roots", "certs").
    static std::string FolderName(Type type);
    // The passphrase for encrypted keys: $PENDREL_KEYCHAIN_PASSPHRASE, or null.
    static const char* Passphrase();

private:
    bool ListFolder(const std::string& folder, int line);
    void AddSystemAnchors();
    void LoadFile(const std::string& path);
    void LoadCertificates(const std::string& path, const std::string& bytes);
    void LoadPKCS12(const std::string& path, const std::string& bytes);
    // A PKCS#12 file whose certificates are encrypted too: asks for its passphrase.
    void OpenEncryptedPKCS12(const std::string& path, const std::string& fileId, PKCS12* p12);
    void LoadPEMIdentity(const std::string& path, const std::string& bytes);
    void LoadTokens();
    // An identity whose key is open: checked, then queued.
    void QueueIdentity(const std::string& path, X509* cert, EVP_PKEY* key);
    void Queue(std::unique_ptr<CertificateOpenSSL> certificate, const std::string& where,
               const std::string& note = std::string());
    void Skip(const std::string& where, const std::string& why, const Certificate* certificate = nullptr);

    std::string _keychain;
    std::shared_ptr<KeySession> _session;
    StoreObserver _observer;
    Type _type = Personal;
    bool _open = false;
    std::vector<std::string> _files;
    std::size_t _nextFile = 0;
    bool _tokensLoaded = true;  // the tokens are listed after the files, once per enumeration
    std::deque<std::unique_ptr<CertificateOpenSSL>> _pending;
    std::set<std::vector<unsigned char>> _seen;  // DER of the certificates of this enumeration
    std::vector<std::unique_ptr<CertificateOpenSSL>> _certificates;  // every certificate handed out
};

}  // namespace Crypto
