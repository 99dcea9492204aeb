#pragma once

#include <map>
#include <memory>
#include <set>
#include <string>

#include "crypto/openssl/OpenSSLPtr.h"

namespace Crypto {

class Pkcs11Module;

// The key store's state for one page session (one plug-in instance): the
// token modules in use and the tokens this session has logged in to, and
// the keychain keys opened with a passphrase, so that each secret is asked
// for once per session. Certificates and stores of the session share it.
class KeySession {
public:
    KeySession();
    ~KeySession();
    KeySession(const KeySession&) = delete;
    KeySession& operator=(const KeySession&) = delete;

    // Whether an enumeration may ask for a passphrase (a PKCS#12 file whose
    // certificates are encrypted too); on by default, off for listings.
    void SetInteractive(bool interactive) { _interactive = interactive; }
    bool Interactive() const { return _interactive; }

    // The module of this path, loaded on first use and kept for the session
    // (its logins last as long); null when it cannot be loaded.
    std::shared_ptr<Pkcs11Module> Module(const std::string& path);

    // Tokens by an identity of the caller's choosing (module, serial, label).
    bool TokenUnlocked(const std::string& token) const { return _unlockedTokens.count(token) != 0; }
    void SetTokenUnlocked(const std::string& token, bool unlocked);

    // What a passphrase opened in a keychain file, by the file's identity
    // (path and content digest): its key and, for a PKCS#12 file whose
    // certificates are encrypted, its certificate. Null when not opened.
    EVP_PKEY* OpenedKey(const std::string& file) const;
    X509* OpenedCertificate(const std::string& file) const;
    // Keeps what was opened (a reference to each is taken).
    void KeepOpened(const std::string& file, EVP_PKEY* key, X509* certificate);
    // Files whose passphrase the user declined to give in this session.
    bool Declined(const std::string& file) const { return _declined.count(file) != 0; }
    void Decline(const std::string& file) { _declined.insert(file); }

private:
    struct Opened {
        EVPPKeyPtr key;
        X509Ptr certificate;
    };

    bool _interactive = true;
    std::map<std::string, std::shared_ptr<Pkcs11Module>> _modules;
    std::set<std::string> _unlockedTokens;
    std::map<std::string, Opened> _opened;
    std::set<std::string> _declined;
};

}  // namespace Crypto
