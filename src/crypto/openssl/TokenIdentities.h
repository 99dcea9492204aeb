#pragma once

#include <memory>
#include <string>
#include <vector>

#include "crypto/openssl/CertificateOpenSSL.h"
#include "crypto/openssl/StoreEntry.h"

namespace Crypto {

class KeySession;

// The identities on the tokens of the configured PKCS#11 modules: every
// certificate with a private key of the same CKA_ID on its token, modules in
// order, slots in order, certificates by label then id. Before the session
// has logged in to a token its private keys are hidden; a public key object
// of the same id then shows that the key is there, as tokens keep one
// beside each private key.
class TokenIdentities {
public:
    // $PENDREL_PKCS11_MODULES, colon-separated (set but empty: none);
    // when it is not set, p11-kit's proxy, which serves every module p11-kit
    // is configured with (trust-policy modules left out), when it exists.
    static std::vector<std::string> ConfiguredModules();

    // Appends the identities of `modules` to `out`, each with its TokenKey,
    // and reports every certificate seen (and every module or token that
    // could not be read) to `observer` when there is one.
    static void Collect(const std::shared_ptr<KeySession>& session, const std::vector<std::string>& modules,
                        std::vector<std::unique_ptr<CertificateOpenSSL>>& out, const StoreObserver& observer);
};

}  // namespace Crypto
