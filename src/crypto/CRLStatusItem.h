#pragma once

#include <optional>
#include <string>
#include <vector>

#include "crypto/CryptoCodes.h"

namespace Crypto {

// The outcome of one revocation-list download, handed from the worker thread
// to the caller by value.
struct CRLStatusItem {
    std::optional<std::vector<unsigned char>> data;  // the CRL (DER) when one arrived
    bool ok = false;
    int code = Code::kAllDownloadsFailed;
    std::string message;  // the URL an LDAP download succeeded from
};

}  // namespace Crypto
