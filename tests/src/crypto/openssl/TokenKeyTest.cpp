#include <gtest/gtest.h>
#include <p11-kit/pkcs11.h>

#include "crypto/CryptoCodes.h"
#include "crypto/Exception.h"
#include "crypto/openssl/CMSignatureOpenSSL.h"
#include "crypto/openssl/CertStoreFile.h"
#include "crypto/openssl/KeySession.h"
#include "crypto/openssl/TokenKey.h"
#include "support/KeyUnlock.h"
#include "support/Process.h"
#include "support/ScopedEnv.h"
#include "support/ScriptedPrompt.h"
#include "support/SoftHsm.h"
#include "support/TestPKI.h"

namespace {

using TestSupport::UnlockCode;

namespace Code = Crypto::Code;
using TestSupport::ScopedEnv;
using TestSupport::ScriptedPrompt;
using TestSupport::SoftHsm;
using TestSupport::TestPKI;

constexpr char kOrigin[] = "https://shop.example.test";

TEST(TokenKey, PKCS11ResultsBecomeKeyAccessCodes) {
    const struct {
        unsigned long ckr;
        int code;
    } cases[] = {
        {CKR_PIN_INCORRECT, Code::kWrongPin},
        {CKR_PIN_INVALID, Code::kWrongPin},
        {CKR_PIN_LEN_RANGE, Code::kWrongPin},
        {CKR_PIN_LOCKED, Code::kPinLocked},  // SoftHSM never locks its PIN: only this table sees it
        {CKR_DEVICE_REMOVED, Code::kTokenUnavailable},
        {CKR_TOKEN_NOT_PRESENT, Code::kTokenUnavailable},
        {CKR_SESSION_HANDLE_INVALID, Code::kTokenUnavailable},
        {CKR_SLOT_ID_INVALID, Code::kTokenUnavailable},
        {CKR_GENERAL_ERROR, Code::kKeyUnusable},
        {CKR_FUNCTION_FAILED, Code::kKeyUnusable},
    };
    for (const auto& c : cases) EXPECT_EQ(Crypto::TokenKey::CodeOf(c.ckr), c.code) << std::hex << c.ckr;
}

// A token "Pendrel Token A" with the RSA and the P-256 signer of the test
// PKI, and the keychain folder without identities.
struct TokenKeyTest : testing::Test {
    void SetUp() override {
        hsm.AddToken("Pendrel Token A");
        hsm.Import("Pendrel Token A", pki.Get(TestPKI::Signer), "01", "rsa");
        hsm.Import("Pendrel Token A", pki.Get(TestPKI::ECSigner), "02", "ec");
    }
    // A certificate of the personal store of `session` (a new one when null).
    Crypto::Certificate* Find(const std::string& subject,
                              std::shared_ptr<Crypto::KeySession> session = nullptr) {
        stores.push_back(std::make_unique<Crypto::CertStoreFile>(keychain.Path(), std::move(session)));
        EXPECT_TRUE(stores.back()->Open(Crypto::CertStore::Personal));
        Crypto::Certificate* cert = stores.back()->FindBySubject(subject);
        EXPECT_NE(cert, nullptr) << subject;
        return cert;
    }

    const TestPKI& pki = TestPKI::Shared();
    TestSupport::TempDir keychain;
    const ScopedEnv noPin{"PENDREL_PKCS11_PIN", nullptr};
    SoftHsm hsm;
    std::vector<std::unique_ptr<Crypto::CertStoreFile>> stores;
};

TEST_F(TokenKeyTest, SignsOnTheTokenWithRSAAndP256) {
    const ScopedEnv pin("PENDREL_PKCS11_PIN", SoftHsm::kPin);
    const std::string content = "The covered bytes of a document\n";
    TestSupport::WriteFile(keychain.File("content"), content);
    for (const char* subject : {"Pendrel Test Signer", "Pendrel EC Signer"}) {
        SCOPED_TRACE(subject);
        Crypto::Certificate* cert = Find(subject);
        ASSERT_NE(cert, nullptr);
        Crypto::CMSignatureOpenSSL cms;
        cms.SetSigner(cert);
        EXPECT_FALSE(cms.InitSign());  // the key is still closed
        ASSERT_EQ(UnlockCode(*cert, kOrigin), 0);
        ASSERT_TRUE(cms.InitSign());
        ASSERT_TRUE(
            cms.FeedContent(reinterpret_cast<const unsigned char*>(content.data()), content.size(), true));
        std::vector<unsigned char> der(8192);
        unsigned long size = der.size();
        ASSERT_TRUE(cms.Sign(der.data(), size));
        TestSupport::WriteFile(keychain.File("message.der"), std::string(der.begin(), der.begin() + size));
        // OpenSSL's own command checks the signature and names the signer.
        std::string output;
        EXPECT_EQ(TestSupport::RunProgram(
                      {"openssl", "cms", "-verify", "-binary", "-inform", "DER", "-in",
                       keychain.File("message.der"), "-content", keychain.File("content"), "-noverify",
                       "-out", "/dev/null", "-signer", keychain.File("signer.pem")},
                      &output),
                  0)
            << output;
        std::string signer;
        TestSupport::RunProgram({"openssl", "x509", "-in", keychain.File("signer.pem"), "-noout", "-subject"},
                                &signer);
        EXPECT_NE(signer.find(subject), std::string::npos) << signer;
    }
}

TEST_F(TokenKeyTest, ThePinComesFromTheEnvironmentOrTheWindowAndItsFailuresHaveCodes) {
    const struct {
        const char* what;
        const char* environment;
        bool window;
        std::vector<ScriptedPrompt::Answer> answers;
        int code;
        std::vector<bool> windowRetries;
    } cases[] = {
        {"no window, no PIN", nullptr, false, {}, Code::kSecretUnavailable, {}},
        {"wrong PIN from the environment", "0000", false, {}, Code::kWrongPin, {}},
        {"right PIN from the environment", SoftHsm::kPin, false, {}, 0, {}},
        {"window cancelled", nullptr, true, {ScriptedPrompt::Cancel()}, Code::kCancelled, {false}},
        {"wrong, then right in the window",
         nullptr,
         true,
         {ScriptedPrompt::Give("0000"), ScriptedPrompt::Give(SoftHsm::kPin)},
         0,
         {false, true}},
        {"wrong environment, then the window",
         "0000",
         true,
         {ScriptedPrompt::Give(SoftHsm::kPin)},
         0,
         {true}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const ScopedEnv pin("PENDREL_PKCS11_PIN", c.environment);
        std::unique_ptr<ScriptedPrompt> window;
        if (c.window) window = std::make_unique<ScriptedPrompt>(c.answers);
        Crypto::Certificate* cert = Find("Pendrel Test Signer");  // a new session each time
        ASSERT_NE(cert, nullptr);
        EXPECT_EQ(UnlockCode(*cert, kOrigin), c.code);
        EXPECT_EQ(dynamic_cast<Crypto::CertificateOpenSSL*>(cert)->PrivateKey() != nullptr, c.code == 0);
        std::vector<bool> retries;
        if (window)
            for (const Crypto::SecretRequest& asked : window->Requests()) {
                retries.push_back(asked.retry);
                EXPECT_EQ(asked.kind, Crypto::SecretRequest::Pin);
                EXPECT_EQ(asked.token, "Pendrel Token A");
                EXPECT_EQ(asked.certificate, "Pendrel Test Signer");
                EXPECT_EQ(asked.origin, kOrigin);
            }
        EXPECT_EQ(retries, c.windowRetries);
    }
}

TEST_F(TokenKeyTest, ThePinIsAskedOncePerTokenAndSession) {
    const ScriptedPrompt window({ScriptedPrompt::Give(SoftHsm::kPin), ScriptedPrompt::Give("0000"),
                                 ScriptedPrompt::Give(SoftHsm::kPin)});
    const auto page = std::make_shared<Crypto::KeySession>();
    // Both keys of the token, and a later store of the same page: one PIN.
    ASSERT_EQ(UnlockCode(*Find("Pendrel Test Signer", page), kOrigin), 0);
    ASSERT_EQ(UnlockCode(*Find("Pendrel EC Signer", page), kOrigin), 0);
    ASSERT_EQ(UnlockCode(*Find("Pendrel Test Signer", page), kOrigin), 0);
    EXPECT_EQ(window.Requests().size(), 1u);
    // Another page asks again, and its PIN is checked although the token is
    // logged in already for the process.
    const auto otherPage = std::make_shared<Crypto::KeySession>();
    ASSERT_EQ(UnlockCode(*Find("Pendrel EC Signer", otherPage), kOrigin), 0);
    ASSERT_EQ(window.Requests().size(), 3u);
    EXPECT_TRUE(window.Requests()[2].retry);
    // The first page still signs without being asked again.
    ASSERT_EQ(UnlockCode(*Find("Pendrel Test Signer", page), kOrigin), 0);
    EXPECT_EQ(window.Requests().size(), 3u);
}

TEST_F(TokenKeyTest, ATokenRemovedAfterChoosingFailsCleanly) {
    const ScopedEnv pin("PENDREL_PKCS11_PIN", SoftHsm::kPin);
    const auto page = std::make_shared<Crypto::KeySession>();
    Crypto::Certificate* before = Find("Pendrel Test Signer", page);
    Crypto::Certificate* loggedIn = Find("Pendrel EC Signer", page);
    ASSERT_NE(before, nullptr);
    ASSERT_NE(loggedIn, nullptr);
    ASSERT_EQ(UnlockCode(*loggedIn, kOrigin), 0);
    const std::unique_ptr<Crypto::Certificate> copy = before->Clone();
    hsm.DeleteToken("Pendrel Token A");
    EXPECT_EQ(UnlockCode(*before, kOrigin), Code::kTokenUnavailable);
    EXPECT_EQ(UnlockCode(*copy, kOrigin), Code::kTokenUnavailable);
    Crypto::CMSignatureOpenSSL cms;
    cms.SetSigner(before);
    EXPECT_FALSE(cms.InitSign());
    // A key opened before the token went: the token's refusal to sign says so.
    if (UnlockCode(*loggedIn, kOrigin) == 0) {
        Crypto::CMSignatureOpenSSL late;
        late.SetSigner(loggedIn);
        ASSERT_TRUE(late.InitSign());
        ASSERT_TRUE(late.FeedContent(reinterpret_cast<const unsigned char*>("x"), 1, true));
        std::vector<unsigned char> der(8192);
        unsigned long size = der.size();
        try {
            late.Sign(der.data(), size);
            ADD_FAILURE() << "signed without its token";
        } catch (const Crypto::Exception& e) {
            EXPECT_EQ(e.Code(), Code::kTokenUnavailable);
        }
    } else {
        EXPECT_EQ(UnlockCode(*loggedIn, kOrigin), Code::kTokenUnavailable);
    }
}

TEST_F(TokenKeyTest, TheSameSubjectOnTwoTokensSignsWithTheChosenTokensKey) {
    hsm.AddToken("Pendrel Token B", "4321");
    hsm.Import("Pendrel Token B", pki.Get(TestPKI::Signer), "07", "copy", true, "4321");
    const ScopedEnv pin("PENDREL_PKCS11_PIN", "4321");  // only token B's PIN
    Crypto::CertStoreFile store(keychain.Path());
    ASSERT_TRUE(store.Open(Crypto::CertStore::Personal));
    std::vector<Crypto::Certificate*> signers;
    for (Crypto::Certificate* cert = store.Begin(); cert != nullptr; cert = store.Next())
        if (cert->Subject() == "Pendrel Test Signer") signers.push_back(cert);
    ASSERT_EQ(signers.size(), 2u);
    EXPECT_NE(signers[0]->TokenLabel(), signers[1]->TokenLabel());
    // A search finds the first in enumeration order, every time.
    EXPECT_EQ(store.FindBySubject("Pendrel Test Signer")->TokenLabel(), signers[0]->TokenLabel());
    for (Crypto::Certificate* cert : signers)
        EXPECT_EQ(UnlockCode(*cert, kOrigin), cert->TokenLabel() == "Pendrel Token B" ? 0 : Code::kWrongPin);
}

}  // namespace
