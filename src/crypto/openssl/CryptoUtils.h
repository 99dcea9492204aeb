#pragma once

#include <ctime>

#include "crypto/Hash.h"
#include "crypto/openssl/OpenSSLPtr.h"

namespace Crypto {
namespace CryptoUtils {

// The OpenSSL digest of a hash type; SHA-1 for a value outside the table.
const EVP_MD* HashTypeToAlgo(int type);

// ASN.1 times as seconds since the epoch (the fields are UTC); 0 for an
// absent or malformed time.
std::time_t ASN1_TIME_to_time_t(const ASN1_TIME* time);
std::time_t ASN1_UTCTIME_to_time_t(const ASN1_UTCTIME* time);
std::time_t ASN1_GENERALIZEDTIME_to_time_t(const ASN1_GENERALIZEDTIME* time);

}  // namespace CryptoUtils
}  // namespace Crypto
