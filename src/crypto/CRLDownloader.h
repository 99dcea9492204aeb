#pragma once

#include <cstddef>
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

    // A larger list from a distribution point is refused (the next point
    // is tried): no certificate authority publishes one, and an endless
    // source would exhaust the memory.
    static constexpr std::size_t kMaxCRLSize = 64 * 1024 * 1024;

protected:
    CRLDownloader() = default;
    CRLDownloader(const CRLDownloader&) = delete;
    CRLDownloader& operator=(const CRLDownloader&) = delete;
};

}  // namespace Crypto
