#include <gtest/gtest.h>

#include "crypto/CMSignature.h"
#include "crypto/CertStore.h"
#include "crypto/Certificate.h"
#include "crypto/openssl/PlatformOpenSSL.h"
#include "support/ScopedEnv.h"
#include "support/TestPKI.h"

namespace {

using TestSupport::TestPKI;

TEST(PlatformOpenSSL, MakesObjectsOverTheUsersKeychain) {
    const TestPKI& pki = TestPKI::Shared();
    const TestSupport::ScopedEnv keychain("PENDREL_KEYCHAIN", pki.Keychain().c_str());
    const Crypto::PlatformOpenSSL platform;

    const std::string der = TestSupport::ReadFile(pki.Get(TestPKI::Signer).certDer);
    const auto cert =
        platform.CreateCertificate(reinterpret_cast<const unsigned char*>(der.data()), der.size());
    ASSERT_NE(cert, nullptr);
    EXPECT_EQ(cert->Subject(), "Pendrel Test Signer");
    EXPECT_FALSE(cert->HasPrivateKey());
    EXPECT_EQ(platform.CreateCertificate(nullptr, 0)->Subject(), "");

    const auto store = platform.CreateCertStore();
    ASSERT_TRUE(store->Open(Crypto::CertStore::Personal));
    Crypto::Certificate* identity = store->FindByHash(cert->Hash());
    ASSERT_NE(identity, nullptr);
    EXPECT_TRUE(identity->HasPrivateKey());

    const auto cms = platform.CreateCMSignature();
    cms->SetSigner(identity);
    EXPECT_TRUE(cms->InitSign());
    const auto hash = platform.CreateHash(Crypto::Hash::SHA384);
    EXPECT_EQ(hash->Type(), Crypto::Hash::SHA384);
    EXPECT_EQ(hash->GetData().size(), 48u);
}

}  // namespace
