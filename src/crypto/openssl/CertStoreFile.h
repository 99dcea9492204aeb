#pragma once

#include <deque>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "crypto/CertStore.h"
#include "crypto/openssl/CertificateOpenSSL.h"

namespace Crypto {

// The certificate stores of the keychain folder: identities/ (Personal:
// PKCS#12 files and PEM files with certificate and private key), roots/
// plus OpenSSL's default trust anchors (Root) and certs/ (Other). Files are
// enumerated in name order, certificates in file order; a file that cannot
// be read is skipped with a log line.
class CertStoreFile : public CertStore {
public:
    // Over the user's keychain folder (KeychainFolder()).
    CertStoreFile();
    explicit CertStoreFile(const std::string& keychainFolder);
    ~CertStoreFile() override;

    bool Open(Type type) override;
    Certificate* Begin() override;
    Certificate* Next() override;

    const std::string& Keychain() const { return _keychain; }

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
    void LoadPEMIdentity(const std::string& path, const std::string& bytes);
    void Queue(X509* cert, EVP_PKEY* key);

    std::string _keychain;
    Type _type = Personal;
    bool _open = false;
    std::vector<std::string> _files;
    std::size_t _nextFile = 0;
    std::deque<std::unique_ptr<CertificateOpenSSL>> _pending;
    std::set<std::vector<unsigned char>> _seen;  // DER of the certificates of this enumeration
    std::vector<std::unique_ptr<CertificateOpenSSL>> _certificates;  // every certificate handed out
};

}  // namespace Crypto
