#pragma once

#include <optional>
#include <string>
#include <vector>

namespace Crypto {

// The outcome of one revocation-list download, handed from the worker thread
// to the caller by value.
struct CRLStatusItem {
    // No distribution-point extension in the certificate.
    static constexpr int kNoDistributionPoints = -34;
    // Distribution points, but no URI among them.
    static constexpr int kNoURI = -35;

    std::optional<std::vector<unsigned char>> data;  // the CRL (DER) when one arrived
    bool ok = false;
    int code = 1;
    std::string message;  // the URL an LDAP download succeeded from
};

}  // namespace Crypto
