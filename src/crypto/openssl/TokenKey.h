#pragma once

#include <memory>
#include <string>
#include <vector>

#include "crypto/openssl/OpenSSLPtr.h"
#include "crypto/openssl/PrivateKeySource.h"

namespace Crypto {

class KeySession;
class Pkcs11SlotList;

// A private key on a token, found by the CKA_ID of its certificate. Opening
// it logs in to the token once per session (asking for the PIN) and finds
// the key object; the key never leaves the token: OpenSSL hands every
// signature to the token (C_Sign) through libp11's key methods.
class TokenKey final : public PrivateKeySource {
public:
    TokenKey(std::shared_ptr<KeySession> session, std::shared_ptr<Pkcs11SlotList> slots, unsigned int slot,
             std::vector<unsigned char> id);
    ~TokenKey() override;

    EVP_PKEY* Key() const override { return _key.get(); }
    void Unlock(const CertificateOpenSSL& certificate, const std::string& origin) override;
    std::string TokenLabel() const override { return _label; }

    // "token "LABEL" (slot N of MODULE)", for listings.
    std::string Where() const { return Place(*_slots, _slot); }
    static std::string Place(const Pkcs11SlotList& slots, unsigned int slot);
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

private:
    void Login(const CertificateOpenSSL& certificate, const std::string& origin);
    bool TryLogin(const char* pin);
    // Finds the key of the certificate's id (false when the token does not
    // show it); raises when the token fails or the key does not belong.
    bool FindKey(const CertificateOpenSSL& certificate);
    bool TokenListed() const;
    // Lists the slots anew and finds the token in them; raises
    // kTokenUnavailable when it is no longer there.
    void Refresh();
    // Raises kTokenUnavailable when the token is no longer listed, else `code`.
    [[noreturn]] void Fail(int code, const std::string& what) const;
    std::string TokenId() const;

    const std::shared_ptr<KeySession> _session;
    std::shared_ptr<Pkcs11SlotList> _slots;  // the latest listing the key was looked up in
    unsigned int _slot;
    const std::vector<unsigned char> _id;
    std::string _label;
    std::string _serial;
    bool _needsLogin = true;
    bool _secureLogin = false;  // the reader has its own PIN pad
    EVPPKeyPtr _key;            // freed before the slots it refers to
};

}  // namespace Crypto
