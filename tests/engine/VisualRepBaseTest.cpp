#include <gtest/gtest.h>

#include <string>

#include "crypto/openssl/CertStoreFile.h"
#include "engine/VisualRepBase.h"
#include "pdf/Surface.h"
#include "support/TestPKI.h"

namespace {

TEST(VisualRepBaseTest, InitializeMakesTheRasterWithTheSignersTexts) {
    Crypto::CertStoreFile identities{TestSupport::TestPKI::Shared().Keychain()};
    ASSERT_TRUE(identities.Open(Crypto::CertStore::Personal));
    Crypto::Certificate* const signer = identities.FindBySubject("Pendrel Test Signer");
    ASSERT_NE(signer, nullptr);

    struct Case {
        Crypto::Certificate* certificate;
        std::wstring expanded;
    };
    const Case cases[] = {{signer, L"by Pendrel Test Signer $"}, {nullptr, L"by  $"}};
    for (const Case& c : cases) {
        VisualRepBase rep;
        EXPECT_EQ(rep.GetSurface(), nullptr);
        rep.Initialize(2, -100, 50, 600, 201, 1, 2, 3, c.certificate);
        ASSERT_NE(rep.GetSurface(), nullptr);
        EXPECT_EQ(rep.GetPage(), 2);
        EXPECT_EQ(rep.GetSurface()->PixelWidth(), 680);
        EXPECT_EQ(rep.GetSurface()->PixelHeight(), 227);
        EXPECT_LT(rep.GetSurface()->X(), 0.0f);
        std::wstring out;
        rep.GetSurface()->TranslateText(L"by $Subject $$", out);
        EXPECT_TRUE(out == c.expanded);
    }
}

}  // namespace
