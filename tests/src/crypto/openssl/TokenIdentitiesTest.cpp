#include <gtest/gtest.h>

#include "crypto/openssl/KeySession.h"
#include "crypto/openssl/TokenIdentities.h"
#include "support/ScopedEnv.h"
#include "support/SoftHsm.h"
#include "support/TestPKI.h"

namespace {

using TestSupport::ScopedEnv;
using TestSupport::SoftHsm;
using TestSupport::TestPKI;

struct Seen {
    std::string token;
    std::string subject;
    bool offered;
    std::string note;
};

std::vector<Seen> CollectAll(const std::shared_ptr<Crypto::KeySession>& session,
                             std::vector<std::unique_ptr<Crypto::CertificateOpenSSL>>& out) {
    std::vector<Seen> seen;
    Crypto::TokenIdentities::Collect(
        session, Crypto::TokenIdentities::ConfiguredModules(), out, [&](const Crypto::StoreEntry& e) {
            seen.push_back({e.where, e.certificate ? e.certificate->Subject() : "", e.offered, e.note});
        });
    return seen;
}

TEST(TokenIdentities, ModulesComeFromTheEnvironmentElseP11Kit) {
    const struct {
        const char* value;
        std::vector<std::string> modules;
    } cases[] = {
        {"", {}},  // set but empty: no token at all
        {"/a.so", {"/a.so"}},
        {"/a.so::/b.so:", {"/a.so", "/b.so"}},  // empty pieces dropped, order kept
    };
    for (const auto& c : cases) {
        const ScopedEnv modules("PENDREL_PKCS11_MODULES", c.value);
        EXPECT_EQ(Crypto::TokenIdentities::ConfiguredModules(), c.modules) << c.value;
    }
    const ScopedEnv unset("PENDREL_PKCS11_MODULES", nullptr);
    const std::vector<std::string> configured = Crypto::TokenIdentities::ConfiguredModules();
    ASSERT_LE(configured.size(), 1u);
    if (!configured.empty()) {
        EXPECT_NE(configured[0].find("p11-kit-proxy"), std::string::npos);
    }
}

// Two tokens: A with an RSA and a P-256 identity and a certificate without
// its key, B with the RSA identity once more (the same subject on two tokens).
TEST(TokenIdentities, EveryCertificateWithItsKeyInSlotThenLabelOrder) {
    const TestPKI& pki = TestPKI::Shared();
    SoftHsm hsm;
    hsm.AddToken("Pendrel Token A");
    hsm.Import("Pendrel Token A", pki.Get(TestPKI::Signer), "01", "b-signer");
    hsm.Import("Pendrel Token A", pki.Get(TestPKI::ECSigner), "02", "a-ec");
    hsm.Import("Pendrel Token A", pki.Get(TestPKI::SignerPem), "03", "c-no-key", false);
    hsm.AddToken("Pendrel Token B");
    hsm.Import("Pendrel Token B", pki.Get(TestPKI::Signer), "01", "signer");
    // A module that cannot be loaded is reported and passed over.
    const ScopedEnv modules("PENDREL_PKCS11_MODULES",
                            (std::string("/nonexistent/module.so:") + SoftHsm::kModule).c_str());

    auto session = std::make_shared<Crypto::KeySession>();
    std::vector<std::unique_ptr<Crypto::CertificateOpenSSL>> identities;
    const std::vector<Seen> seen = CollectAll(session, identities);

    std::vector<std::pair<std::string, std::string>> found;
    for (const auto& cert : identities) {
        EXPECT_TRUE(cert->HasPrivateKey());
        EXPECT_EQ(cert->PrivateKey(), nullptr);  // closed until it signs
        found.emplace_back(cert->TokenLabel(), cert->Subject());
    }
    // The tokens in the module's slot order, each token's certificates by label.
    const std::vector<std::pair<std::string, std::string>> a = {{"Pendrel Token A", "Pendrel EC Signer"},
                                                                {"Pendrel Token A", "Pendrel Test Signer"}};
    const std::vector<std::pair<std::string, std::string>> b = {{"Pendrel Token B", "Pendrel Test Signer"}};
    ASSERT_EQ(found.size(), 3u);
    std::vector<std::pair<std::string, std::string>> expected = found[0].first == "Pendrel Token A" ? a : b;
    for (const auto& item : found[0].first == "Pendrel Token A" ? b : a) expected.push_back(item);
    EXPECT_EQ(found, expected);

    ASSERT_EQ(seen.size(), 5u);
    EXPECT_EQ(seen[0].token, "/nonexistent/module.so");
    EXPECT_FALSE(seen[0].offered);
    int withoutKey = 0;
    for (const Seen& s : seen) {
        if (s.subject != "Pendrel PEM Signer") continue;
        ++withoutKey;
        EXPECT_FALSE(s.offered);
        EXPECT_NE(s.note.find("no private key"), std::string::npos) << s.note;
        EXPECT_NE(s.token.find("token \"Pendrel Token A\""), std::string::npos) << s.token;
    }
    EXPECT_EQ(withoutKey, 1);

    // The same order every time.
    std::vector<std::unique_ptr<Crypto::CertificateOpenSSL>> again;
    CollectAll(session, again);
    ASSERT_EQ(again.size(), identities.size());
    for (std::size_t i = 0; i < again.size(); ++i) {
        EXPECT_EQ(again[i]->TokenLabel(), identities[i]->TokenLabel());
        EXPECT_EQ(again[i]->Hash(), identities[i]->Hash());
    }
}

}  // namespace
