#include "crypto/CRLDownloader.h"

#include <algorithm>

#include "common/Util.h"

namespace Crypto {

bool CRLDownloader::IsLDAPURL(const std::string& url) {
    return Util::StartsWithNoCase(url, "ldap://");
}

bool CRLDownloader::CompareURLs(const std::string& a, const std::string& b) {
    return !IsLDAPURL(a) && IsLDAPURL(b);
}

void CRLDownloader::SortURLVector(std::vector<std::string>& urls) {
    std::stable_sort(urls.begin(), urls.end(), CompareURLs);
}

}  // namespace Crypto
