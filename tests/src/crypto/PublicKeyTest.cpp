#include <gtest/gtest.h>

#include "crypto/PublicKeyDSS.h"
#include "crypto/PublicKeyRSA.h"

namespace {

using Crypto::BigInteger;

TEST(PublicKey, EqualOnlyForSameTypeAndAllNumbers) {
    const Crypto::PublicKeyRSA rsa(BigInteger(3233), BigInteger(17));
    const Crypto::PublicKeyRSA sameRsa(BigInteger(3233), BigInteger(17));
    const Crypto::PublicKeyRSA otherExponent(BigInteger(3233), BigInteger(65537));
    const Crypto::PublicKeyRSA negative(BigInteger(-3233), BigInteger(17));
    const Crypto::PublicKeyDSS dss(BigInteger(23), BigInteger(11), BigInteger(4), BigInteger(8));
    const Crypto::PublicKeyDSS sameDss(BigInteger(23), BigInteger(11), BigInteger(4), BigInteger(8));
    const Crypto::PublicKeyDSS otherY(BigInteger(23), BigInteger(11), BigInteger(4), BigInteger(9));
    const Crypto::PublicKeyDSS otherG(BigInteger(23), BigInteger(11), BigInteger(5), BigInteger(8));

    EXPECT_TRUE(rsa.IsEqual(&sameRsa));
    EXPECT_FALSE(rsa.IsEqual(&otherExponent));
    EXPECT_FALSE(rsa.IsEqual(&negative));  // sign counts
    EXPECT_FALSE(rsa.IsEqual(nullptr));
    EXPECT_FALSE(rsa.IsEqual(&dss));
    EXPECT_TRUE(dss.IsEqual(&sameDss));
    EXPECT_FALSE(dss.IsEqual(&otherY));
    EXPECT_FALSE(dss.IsEqual(&otherG));
    EXPECT_FALSE(dss.IsEqual(&rsa));
    EXPECT_FALSE(dss.IsEqual(nullptr));
}

}  // namespace
