#include <gtest/gtest.h>

#include <set>

#include "crypto/CryptoCodes.h"

namespace Code = Crypto::Code;

namespace {

// The key-opening codes are told apart by pages and the command line (each
// has its own message there), and the sign operation passes over the
// revocation test on exactly kNoDistributionPoints: the values stay, and no
// two of them meet.
TEST(CryptoCodes, ValuesStayAndDoNotMeet) {
    const struct {
        int code;
        int value;
    } cases[] = {
        {Code::kNoDistributionPoints, -34},
        {Code::kNoURI, -35},
        {Code::kSecretUnavailable, -70},
        {Code::kCancelled, -71},
        {Code::kWrongPassphrase, -72},
        {Code::kWrongPin, -73},
        {Code::kPinLocked, -74},
        {Code::kTokenUnavailable, -75},
        {Code::kKeyUnusable, -76},
    };
    std::set<int> seen;
    for (const auto& c : cases) {
        EXPECT_EQ(c.code, c.value);
        EXPECT_TRUE(seen.insert(c.code).second) << c.value;
        // A failure code must not read as "not validated" or "validated".
        EXPECT_NE(c.code, Code::kNotValidated);
        EXPECT_NE(c.code, Code::kValidated);
    }
    EXPECT_EQ(Code::kNotValidated, 0);
    EXPECT_EQ(Code::kValidated, 1);
    EXPECT_EQ(Code::kAllDownloadsFailed, 1);
}

}  // namespace
