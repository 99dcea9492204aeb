#pragma once

#include <ctime>
#include <ostream>
#include <string>
#include <vector>

namespace Crypto {

// What `pendrel keychain` prints: every certificate the stores of the
// keychain folder and the tokens see (subject, issuer, expiry, SHA-1
// fingerprint, where it lives) and, for the identities, whether a page is
// offered it and why not. Nothing is asked for: a PKCS#12 file whose
// certificates are encrypted is listed as such unless
// PENDREL_KEYCHAIN_PASSPHRASE opens it.
class KeychainListing {
public:
    explicit KeychainListing(std::string keychainFolder);

    // Enumerates the stores now and writes the listing; `now` decides expiry.
    void Write(std::ostream& out, std::time_t now) const;

    // One thing a store saw.
    struct Item {
        std::string where;
        bool hasCertificate = false;
        std::string subject;
        std::string subjectDN;
        std::string issuer;
        std::time_t notBefore = 0;
        std::time_t notAfter = 0;
        std::string sha1;  // "AB:CD:..."
        bool offered = false;
        std::string note;
    };
    // The items of one store type (CertStore::Type) in enumeration order.
    std::vector<Item> Items(int type) const;

    // "2031-03-05 12:00:00 UTC"; "unknown" for 0.
    static std::string FormatTime(std::time_t time);

private:
    std::string _keychain;
};

}  // namespace Crypto
