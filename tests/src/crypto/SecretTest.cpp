#include <gtest/gtest.h>

#include <string>

#include "crypto/Secret.h"

namespace {

TEST(Secret, OwnsItsBytesAndWipesThem) {
    Crypto::Secret secret("pin", 3);
    EXPECT_EQ(secret.Length(), 3u);
    EXPECT_STREQ(secret.CStr(), "pin");
    Crypto::Secret moved(std::move(secret));
    EXPECT_TRUE(secret.Empty());  // NOLINT: the moved-from secret holds nothing
    EXPECT_STREQ(secret.CStr(), "");
    EXPECT_STREQ(moved.CStr(), "pin");
    moved.Assign("embedded\0nul", 12);
    EXPECT_EQ(moved.Length(), 12u);
    moved.Clear();
    EXPECT_TRUE(moved.Empty());

    char buffer[] = "secret";
    Crypto::Secret::Wipe(buffer, sizeof buffer - 1);
    EXPECT_EQ(std::string(buffer, sizeof buffer - 1), std::string(6, '\0'));
    std::string text = "passphrase";
    const char* const data = text.data();
    Crypto::Secret::Wipe(text);
    EXPECT_TRUE(text.empty());
    // The old bytes were overwritten before the string forgot them.
    EXPECT_EQ(std::string(data + 1, 9), std::string(9, '\0'));
}

}  // namespace
