#include <gtest/gtest.h>

#include "crypto/openssl/CryptoUtils.h"

namespace {

using StringPtr = std::unique_ptr<ASN1_STRING, Crypto::FreeWith<&ASN1_STRING_free>>;

StringPtr Time(int type, const std::string& text) {
    StringPtr time(ASN1_STRING_type_new(type));
    ASN1_STRING_set(time.get(), text.data(), static_cast<int>(text.size()));
    return time;
}

TEST(CryptoUtils, HashTypesMapToDigestsAndSHA1OutsideTheTable) {
    const struct {
        int type;
        int nid;
    } cases[] = {{0, NID_md5},    {1, NID_sha1}, {2, NID_sha256}, {3, NID_sha384},
                 {4, NID_sha512}, {7, NID_sha1}, {-1, NID_sha1}};
    for (const auto& c : cases)
        EXPECT_EQ(EVP_MD_get_type(Crypto::CryptoUtils::HashTypeToAlgo(c.type)), c.nid) << c.type;
}

TEST(CryptoUtils, ASN1TimesFollowTheirFormats) {
    const struct {
        int type;
        const char* text;
        std::time_t expected;
    } cases[] = {
        {V_ASN1_UTCTIME, "491231235959Z", 2524607999},  // 49 is 2049
        {V_ASN1_UTCTIME, "500101000000Z", -631152000},  // 50 is 1950
        {V_ASN1_UTCTIME, "4912312359", 2524607940},     // ten digits: no seconds
        {V_ASN1_UTCTIME, "4912312359Z", 2524607940},    // the zone letter is not a second
        {V_ASN1_UTCTIME, "491331235959Z", 0},           // month 13
        {V_ASN1_UTCTIME, "490031235959Z", 0},           // month 0
        {V_ASN1_UTCTIME, "49123123", 0},                // too short
        {V_ASN1_UTCTIME, "49a231235959Z", 0},           // not a digit
        {V_ASN1_GENERALIZEDTIME, "20240229120000Z", 1709208000},
        {V_ASN1_GENERALIZEDTIME, "200102030405", 981173100},
        {V_ASN1_GENERALIZEDTIME, "20241329120000Z", 0},
        {V_ASN1_GENERALIZEDTIME, "2024022912", 0},
        {V_ASN1_GENERALIZEDTIME, "2024O2291200Z", 0},
        {V_ASN1_OCTET_STRING, "20240229120000Z", 0},  // not a time type
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        const StringPtr time = Time(c.type, c.text);
        EXPECT_EQ(Crypto::CryptoUtils::ASN1_TIME_to_time_t(time.get()), c.expected);
    }
    EXPECT_EQ(Crypto::CryptoUtils::ASN1_TIME_to_time_t(nullptr), 0);
}

}  // namespace
