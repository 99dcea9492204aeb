#pragma once

#include <string>
#include <vector>

#include "crypto/CRLStatusItem.h"

namespace Crypto {

// Fetches a certificate's revocation list from its distribution points; the
// first point that delivers data wins.
class CRLDownloader {
public:
    virtual ~CRLDownloader() = default;
    virtual CRLStatusItem Download() = 0;

    // Puts every non-LDAP URL before every LDAP URL (keeping the order
    // inside each group).
    static void SortURLVector(std::vector<std::string>& urls);
    // Orders a before b when a is not LDAP and b is.
    static bool CompareURLs(const std::string& a, const std::string& b);
    static bool IsLDAPURL(const std::string& url);

protected:
    CRLDownloader() = default;
    CRLDownloader(const CRLDownloader&) = delete;
    CRLDownloader& operator=(const CRLDownloader&) = delete;
};

}  // namespace Crypto
