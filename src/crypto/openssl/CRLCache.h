#pragma once

#include <ctime>
#include <string>
#include <vector>

#include "crypto/openssl/OpenSSLPtr.h"

namespace Crypto {

// The revocation-list cache of the keychain: the crls/ folder, one DER file
// per issuer, named after a digest of the issuer's DER-encoded name and
// replaced atomically. Lists that other programs or the user put there (DER
// or PEM, any name) are found as well.
class CRLCache {
public:
    // Over <keychain>/crls.
    explicit CRLCache(const std::string& keychainFolder);

    const std::string& Folder() const { return _folder; }
    // The file that Store writes for lists of that issuer.
    std::string FileFor(const X509_NAME* issuer) const;

    // The current list of issuer: thisUpdate < now < nextUpdate (a list
    // without nextUpdate never counts) and a signature that verifies with
    // one of issuerKeys. The issuer's own file is tried first; among the
    // other files the newest current list wins. Null when there is none.
    X509CRLPtr Lookup(const X509_NAME* issuer, std::time_t now,
                      const std::vector<EVP_PKEY*>& issuerKeys) const;

    // Writes crl as DER into the file of its issuer through a temporary file
    // and a rename, creating the folder when needed: a reader sees the old
    // list or the new one, never a part. False with a reason in error.
    bool Store(const X509_CRL* crl, std::string& error) const;

private:
    X509CRLPtr ReadCurrent(const std::string& path, const X509_NAME* issuer, std::time_t now,
                           const std::vector<EVP_PKEY*>& issuerKeys) const;

    std::string _folder;
};

}  // namespace Crypto
