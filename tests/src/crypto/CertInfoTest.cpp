#include <gtest/gtest.h>

#include "crypto/CertInfo.h"
#include "crypto/CertInfoInterface.h"

namespace {

// The texts a page may have set on an information object.
struct Texts : Crypto::CertInfoInterface {
    Texts(const char* s, const char* i, const char* n, const char* h, const char* h64)
        : subject(s), issuer(i), serial(n), hash(h), hash64(h64) {}
    std::string subject, issuer, serial, hash, hash64;
    std::string Subject() const override { return subject; }
    std::string Issuer() const override { return issuer; }
    std::string Serial() const override { return serial; }
    std::string Hash() const override { return hash; }
    std::string Hash64() const override { return hash64; }
};

TEST(CertInfo, AdoptDecodesHashAndSerial) {
    const struct {
        const char* what;
        Texts texts;
        std::vector<unsigned char> hash;
        Crypto::BigInteger serial;
    } cases[] = {
        {"hex hash wins over Base64", {"S", "I", "01 2a", "0a:ff", "AQI="}, {0x0a, 0xff}, 0x012a},
        {"Base64 hash alone", {"S", "", "", "", "AQI="}, {0x01, 0x02}, 0},
        {"unparsable hex falls back to Base64", {"", "I", "", "0aff", "AQI="}, {0x01, 0x02}, 0},
        {"nothing given", {"", "", "", "", ""}, {}, 0},
        {"serial with a leading zero byte", {"", "I", "00 8a 1b", "", ""}, {}, 0x8a1b},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Crypto::CertInfo info;
        info.subject = "old";
        info.hash = {9};
        info.serial = 77;
        info.Adopt(&c.texts);
        EXPECT_EQ(info.subject, c.texts.subject);
        EXPECT_EQ(info.issuer, c.texts.issuer);
        EXPECT_EQ(info.hash, c.hash);
        EXPECT_EQ(info.serial, c.serial);
    }
}

TEST(CertInfo, AdoptOfNullChangesNothing) {
    Crypto::CertInfo info;
    info.subject = "kept";
    info.serial = 5;
    info.Adopt(nullptr);
    EXPECT_EQ(info.subject, "kept");
    EXPECT_EQ(info.serial, 5);
}

}  // namespace
