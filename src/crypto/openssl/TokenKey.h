#pragma once

#include <memory>
#include <string>
#include <vector>

#include "crypto/openssl/OpenSSLPtr.h"
#include "crypto/openssl/PrivateKeySource.h"

namespace Crypto {

class KeySession;
class Pkcs11Module;

// A private key on a token, found by the CKA_ID of its certificate. Opening
// it logs in to the token once per session (asking for the PIN) and finds
// the key object; the key never leaves the token: OpenSSL hands every
// signature to the token (C_Sign) through libp11's key methods.
class TokenKey final : public PrivateKeySource {
public:
    // `publicKey`: the token shows a public key object of the id (which,
    // unlike the private key, it shows without a login too).
    TokenKey(std::shared_ptr<KeySession> session, std::shared_ptr<Pkcs11Module> module, unsigned int slot,
             std::vector<unsigned char> id, bool publicKey);
    ~TokenKey() override;

    EVP_PKEY* Key() const override { return _key.get(); }
    void Unlock(const CertificateOpenSSL& certificate, const PromptContext& context) override;
    std::string TokenLabel() const override { return _label; }

    // "token "LABEL" (slot N of MODULE)", for listings.
    std::string Where() const { return Place(*_module, _slot); }
    static std::string Place(const Pkcs11Module& module, unsigned int slot);
    // Whether the token asks for a PIN before its keys can be used.
    bool NeedsLogin() const { return _needsLogin; }

    // The code a failed login or key operation reports for a PKCS#11
    // return value: kWrongPin for a refused PIN (the user may try again),
    // kPinLocked, kTokenUnavailable for a token that has gone, otherwise
    // kKeyUnusable.
    static int CodeOf(unsigned long ckr);
    // The PKCS#11 return value libp11 left in OpenSSL's error queue (the
    // queue is emptied), or CKR_GENERAL_ERROR when there is none.
    static unsigned long TakeTokenError();
    // Whether the last error in OpenSSL's queue is one a token returned.
    static bool TokenErrorPending();

private:
    void Login(const CertificateOpenSSL& certificate, const PromptContext& context);
    bool TryLogin(const char* pin);
    // Finds the key of the certificate's id (false when the token does not
    // show it); raises when the token fails or the key does not belong.
    bool FindKey(const CertificateOpenSSL& certificate);
    // Whether the token still shows the key's object of the id (libp11
    // remembers the private keys it has seen: the public key is asked for
    // anew).
    bool KeyObjectShown() const;
    // Raises kTokenUnavailable when the token shows the key no more, else `code`.
    [[noreturn]] void Fail(int code, const std::string& what) const;
    std::string TokenId() const;

    const std::shared_ptr<KeySession> _session;
    const std::shared_ptr<Pkcs11Module> _module;
    const unsigned int _slot;
    const std::vector<unsigned char> _id;
    std::string _label;
    std::string _serial;
    const bool _publicKey;
    bool _needsLogin = true;
    bool _secureLogin = false;  // the reader has its own PIN pad
    EVPPKeyPtr _key;            // freed before the module it refers to
};

}  // namespace Crypto
