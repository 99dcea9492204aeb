#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "crypto/openssl/PlatformOpenSSL.h"
#include "crypto/openssl/TimeStampTokenOpenSSL.h"
#include "support/LogCapture.h"
#include "support/OpenSSLTool.h"
#include "support/PeakMemory.h"
#include "support/Process.h"
#include "support/TempDir.h"
#include "support/TestPKI.h"

namespace {

using Crypto::TimeStampTokenOpenSSL;
using TestSupport::TestPKI;

const unsigned char* U(const std::string& s) {
    return reinterpret_cast<const unsigned char*>(s.data());
}

std::string Document(std::size_t size) {
    std::string text(size, '\0');
    for (std::size_t i = 0; i < size; ++i) text[i] = static_cast<char>((i * 151 + i / 5) & 0xff);
    return text;
}

// Loads the token, feeds content in uneven pieces, verifies.
bool Verifies(TimeStampTokenOpenSSL& token, const std::string& der, const std::string& content) {
    if (!token.Load(U(der), der.size(), content.size())) return false;
    for (std::size_t at = 0, piece = 1; at < content.size(); piece = piece * 5 + 3) {
        const std::size_t n = std::min(piece % 30000 + 1, content.size() - at);
        if (!token.FeedContent(U(content) + at, n, at + n == content.size())) return false;
        at += n;
    }
    return token.Verify();
}

const TestPKI& PKI() {
    return TestPKI::Shared();
}

struct TimeStampTokenTest : ::testing::Test {
    TestSupport::TempDir dir;
    TestSupport::PKICert tsa = TestSupport::MakeTimeStampAuthority(dir);
    std::string document = Document(50000);
};

// The same TSTInfo, signed as an ordinary CMS message by the Signer, whose
// certificate is not one for time-stamping.
std::string ResignedBySigner(const TestSupport::TempDir& dir, const std::string& token) {
    TestSupport::WriteFile(dir.File("genuine.tst"), token);
    std::string output;
    EXPECT_EQ(TestSupport::RunProgram({"openssl", "cms", "-verify", "-noverify", "-binary", "-inform", "DER",
                                       "-in", dir.File("genuine.tst"), "-out", dir.File("tstinfo.der")},
                                      &output),
              0)
        << output;
    return TestSupport::CmsSign(dir, TestSupport::ReadFile(dir.File("tstinfo.der")),
                                PKI().Get(TestPKI::Signer),
                                {"-nodetach", "-econtent_type", "1.2.840.113549.1.9.16.1.4"});
}

TEST_F(TimeStampTokenTest, ImprintAndAuthorityAreJudgedAsOpenSSLDoes) {
    const std::string altered = document.substr(0, 100) + "x" + document.substr(101);
    const std::string sha256 = TestSupport::TimeStampToken(dir, document, tsa, "sha256");
    const struct {
        const char* what;
        std::string token;
        std::string content;
        bool valid;
        bool opensslValid;
        const char* log;
    } cases[] = {
        {"SHA-256 imprint", sha256, document, true, true, nullptr},
        {"SHA-512 imprint", TestSupport::TimeStampToken(dir, document, tsa, "sha512"), document, true, true,
         nullptr},
        {"SHA-1 imprint", TestSupport::TimeStampToken(dir, document, tsa, "sha1"), document, true, true,
         "The time-stamp imprint uses the weak SHA-1 digest; it is judged on its merits"},
        // openssl still accepts an MD5 imprint; we do not.
        {"MD5 imprint", TestSupport::TimeStampToken(dir, document, tsa, "md5"), document, false, true,
         "The time-stamp imprint uses the MD5 digest, which no longer protects a document: not valid"},
        {"one byte changed", sha256, altered, false, false,
         "The token's message imprint is not the digest of the covered bytes"},
        {"one byte short", sha256, document.substr(1), false, false,
         "The token's message imprint is not the digest of the covered bytes"},
        {"signed by no time-stamping authority", ResignedBySigner(dir, sha256), document, false, false,
         "The token's signer is not a time-stamping authority"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TimeStampTokenOpenSSL token;
        const TestSupport::LogCapture log;
        EXPECT_EQ(Verifies(token, c.token, c.content), c.valid);
        EXPECT_EQ(token.Verify(), c.valid);  // the digest is not used up
        EXPECT_EQ(TestSupport::TimeStampVerifies(dir, c.content, c.token), c.opensslValid);
        ASSERT_NE(token.SignerCert(), nullptr);
        EXPECT_EQ(token.SigningTime(), TestSupport::TimeStampTime(dir, c.token));
        if (c.log != nullptr && log.Enabled()) {
            EXPECT_TRUE(log.Has("Verify", c.log)) << log.Text();
        }
    }
    TimeStampTokenOpenSSL token;
    ASSERT_TRUE(Verifies(token, sha256, document));
    EXPECT_EQ(token.SignerCert()->Subject(), "Pendrel Test Time Stamps");
    EXPECT_FALSE(token.SignerCert()->HasPrivateKey());
}

TEST_F(TimeStampTokenTest, WhatIsNoTokenDoesNotLoad) {
    const std::string token = TestSupport::TimeStampToken(dir, document, tsa);
    const struct {
        const char* what;
        std::string bytes;
    } cases[] = {
        {"a detached signature", TestSupport::CmsSign(dir, document, PKI().Get(TestPKI::Signer))},
        {"a signature over embedded data",
         TestSupport::CmsSign(dir, document, PKI().Get(TestPKI::Signer), {"-nodetach"})},
        {"cut short", token.substr(0, token.size() / 2)},
        {"garbage", std::string(300, '\x30')},
        {"nothing", std::string()},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TimeStampTokenOpenSSL tst;
        EXPECT_FALSE(tst.Load(c.bytes.empty() ? nullptr : U(c.bytes), c.bytes.size(), document.size()));
        EXPECT_TRUE(tst.FeedContent(U(document), document.size(), true));  // nothing to feed into
        EXPECT_FALSE(tst.Verify());
        EXPECT_EQ(tst.SignerCert(), nullptr);
        EXPECT_EQ(tst.SigningTime(), -1);
        // A token loaded afterwards works.
        EXPECT_TRUE(Verifies(tst, token, document));
    }
    // Signing is not what a token does.
    TimeStampTokenOpenSSL tst;
    unsigned long size = 100;
    std::vector<unsigned char> out(size);
    EXPECT_FALSE(tst.InitSign());
    EXPECT_FALSE(tst.Sign(out.data(), size));
}

// The covered bytes go through the digest only: memory stays flat.
TEST_F(TimeStampTokenTest, LargeContentDoesNotGrowMemory) {
    constexpr std::size_t kTotal = 64u << 20;
    const std::string block = Document(1 << 16);
    {  // written in pieces, so that the test itself never holds it
        std::ofstream out(dir.File("large.bin"), std::ios::binary);
        for (std::size_t fed = 0; fed < kTotal; fed += block.size()) out << block;
    }
    const std::string token = TestSupport::TimeStampTokenOfFile(dir, dir.File("large.bin"), tsa);
    const long before = TestSupport::PeakKiB();
    const Crypto::PlatformOpenSSL platform;
    const auto tst = platform.CreateTimeStampToken();
    ASSERT_TRUE(tst->Load(U(token), token.size(), kTotal));
    for (std::size_t fed = 0; fed < kTotal; fed += block.size())
        ASSERT_TRUE(tst->FeedContent(U(block), block.size(), fed + block.size() == kTotal));
    EXPECT_TRUE(tst->Verify());
    EXPECT_LT(TestSupport::PeakKiB() - before, 10 * 1024);
}

}  // namespace
