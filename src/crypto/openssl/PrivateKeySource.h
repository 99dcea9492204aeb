#pragma once

#include <openssl/evp.h>

#include <string>

#include "crypto/PromptContext.h"

namespace Crypto {

class CertificateOpenSSL;

// The private key of an identity that must be opened before it can sign: an
// encrypted key of the keychain folder, or a key on a token. The copies of a
// certificate share their source, so that one opening serves them all.
class PrivateKeySource {
public:
    virtual ~PrivateKeySource() = default;

    // The opened key (owned by the source), or null while it is not open.
    virtual EVP_PKEY* Key() const = 0;
    // Opens the key of `certificate`, asking for the passphrase or PIN when
    // needed; `context` names the page that asks (empty for a local page)
    // and the prompt's language.
    // Raises Exception with a key-opening code of Code when it cannot.
    virtual void Unlock(const CertificateOpenSSL& certificate, const PromptContext& context) = 0;
    // The token's label; empty for a key of the keychain folder.
    virtual std::string TokenLabel() const { return std::string(); }

protected:
    PrivateKeySource() = default;
    PrivateKeySource(const PrivateKeySource&) = delete;
    PrivateKeySource& operator=(const PrivateKeySource&) = delete;
};

}  // namespace Crypto
