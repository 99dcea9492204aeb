#include <gtest/gtest.h>

#include "crypto/CryptoCodes.h"
#include "crypto/Exception.h"
#include "crypto/openssl/CertStoreFile.h"
#include "gtk/SecretPromptGtk.h"
#include "gtk/SecretWindow.h"
#include "support/GuiDriver.h"
#include "support/KeyUnlock.h"
#include "support/ScopedEnv.h"
#include "support/SoftHsm.h"
#include "support/TestPKI.h"

namespace {

using TestSupport::UnlockCode;

using GtkTest::GuiDriver;
using TestSupport::ScopedEnv;
using TestSupport::SoftHsm;
using TestSupport::TestPKI;

// Opens a token key through the installed window, as the plug-in does.
class SecretPromptGtkTest : public testing::Test {
protected:
    void SetUp() override {
        SecretPromptGtk::Install();
        hsm.AddToken("Pendrel Token A");
        hsm.Import("Pendrel Token A", TestPKI::Shared().Get(TestPKI::Signer), "01", "signer");
        ASSERT_TRUE(store.Open(Crypto::CertStore::Personal));
        cert = store.FindBySubject("Pendrel Test Signer");
        ASSERT_NE(cert, nullptr);
    }
    void TearDown() override { Crypto::SecretPrompt::SetFactory(nullptr); }

    GuiDriver gui;
    const ScopedEnv noPin{"PENDREL_PKCS11_PIN", nullptr};
    TestSupport::TempDir keychain;
    SoftHsm hsm;
    Crypto::CertStoreFile store{keychain.Path()};
    Crypto::Certificate* cert = nullptr;
};

}  // namespace

TEST_F(SecretPromptGtkTest, AWrongPinIsAskedForAgainUntilTheTokenTakesIt) {
    const std::string t = "PIN needed";
    std::string token, origin;
    bool retryFirst = true, retrySecond = false;
    int code = 1;
    const std::string error = gui.Drive(
        [&](GuiDriver& g) {
            token = g.LabelText(t, "name");
            origin = g.LabelText(t, "origin");
            retryFirst = g.Visible(t, "retry");
            g.TypeText(t, "secret", "0000");
            g.ClickWidget(t, "okButton");
            // The window comes again, saying that the PIN was wrong.
            g.WaitUntil(
                [&] {
                    try {
                        return gtk_widget_get_visible(GuiDriver::FindWidget(t, "retry")) != FALSE;
                    } catch (const std::exception&) {
                        return false;
                    }
                },
                "the window asking again");
            retrySecond = true;
            g.TypeText(t, "secret", SoftHsm::kPin);
            g.PressKey(t, "secret", "Return");
        },
        [&] { code = UnlockCode(*cert, "https://shop.example.test"); });
    ASSERT_EQ(error, "");
    EXPECT_EQ(code, 0);
    EXPECT_EQ(token, "Pendrel Token A");
    EXPECT_EQ(origin, "https://shop.example.test");
    EXPECT_FALSE(retryFirst);
    EXPECT_TRUE(retrySecond);
}

TEST_F(SecretPromptGtkTest, CancelOrNoWindowLeavesTheKeyClosed) {
    int code = 0;
    const std::string error = gui.Drive([&](GuiDriver& g) { g.ClickWidget("PIN needed", "cancelButton"); },
                                        [&] { code = UnlockCode(*cert, ""); });
    ASSERT_EQ(error, "");
    EXPECT_EQ(code, Crypto::Code::kCancelled);
    const ScopedEnv none("PENDREL_DIALOGS", "none");
    EXPECT_EQ(UnlockCode(*cert, ""), Crypto::Code::kSecretUnavailable);
}
