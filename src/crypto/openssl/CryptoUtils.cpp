#include "crypto/openssl/CryptoUtils.h"

#include <cctype>
#include <cstring>

namespace Crypto {
namespace CryptoUtils {

namespace {

bool AllDigits(const unsigned char* text, int count) {
    for (int i = 0; i < count; ++i) {
        if (!std::isdigit(text[i])) return false;
    }
    return true;
}

int TwoDigits(const unsigned char* text) {
    return (text[0] - '0') * 10 + (text[1] - '0');
}

// Certificate times are UTC: convert without the local time zone.
std::time_t ToTime(int year, int month, int day, int hour, int minute, int second) {
    if (month < 1 || month > 12) return 0;
    std::tm tm{};
    tm.tm_year = year - 1900;
    tm.tm_mon = month - 1;
    tm.tm_mday = day;
    tm.tm_hour = hour;
    tm.tm_min = minute;
    tm.tm_sec = second;
    const std::time_t t = ::timegm(&tm);
    return t == static_cast<std::time_t>(-1) ? 0 : t;
}

}  // namespace

const EVP_MD* HashTypeToAlgo(int type) {
    switch (type) {
        case Hash::MD5:
            return EVP_md5();
        case Hash::SHA256:
            return EVP_sha256();
        case Hash::SHA384:
            return EVP_sha384();
        case Hash::SHA512:
            return EVP_sha512();
        case Hash::SHA1:
        default:
            return EVP_sha1();
    }
}

std::time_t ASN1_TIME_to_time_t(const ASN1_TIME* time) {
    if (time == nullptr) return 0;
    switch (ASN1_STRING_type(time)) {
        case V_ASN1_GENERALIZEDTIME:
            return ASN1_GENERALIZEDTIME_to_time_t(time);
        case V_ASN1_UTCTIME:
            return ASN1_UTCTIME_to_time_t(time);
        default:
            return 0;
    }
}

std::time_t ASN1_UTCTIME_to_time_t(const ASN1_UTCTIME* time) {
    if (time == nullptr) return 0;
    const unsigned char* text = ASN1_STRING_get0_data(time);
    const int length = ASN1_STRING_length(time);
    if (text == nullptr || length < 10 || !AllDigits(text, 10)) return 0;
    int year = TwoDigits(text);
    year += year < 50 ? 2000 : 1900;
    const int second = (length > 11 && AllDigits(text + 10, 2)) ? TwoDigits(text + 10) : 0;
    return ToTime(year, TwoDigits(text + 2), TwoDigits(text + 4), TwoDigits(text + 6), TwoDigits(text + 8),
                  second);
}

std::time_t ASN1_GENERALIZEDTIME_to_time_t(const ASN1_GENERALIZEDTIME* time) {
    if (time == nullptr) return 0;
    const unsigned char* text = ASN1_STRING_get0_data(time);
    const int length = ASN1_STRING_length(time);
    if (text == nullptr || length < 12 || !AllDigits(text, 12)) return 0;
    const int year = TwoDigits(text) * 100 + TwoDigits(text + 2);
    const int second = (length > 13 && AllDigits(text + 12, 2)) ? TwoDigits(text + 12) : 0;
    return ToTime(year, TwoDigits(text + 4), TwoDigits(text + 6), TwoDigits(text + 8), TwoDigits(text + 10),
                  second);
}

}  // namespace CryptoUtils
}  // namespace Crypto
