#include <gtest/gtest.h>

#include <string>

#include "common/Util.h"
#include "crypto/openssl/CertificateOpenSSL.h"
#include "gtk/StatusSigDlgGtk.h"
#include "support/GuiDriver.h"
#include "support/ScopedEnv.h"
#include "support/TestPKI.h"

namespace {

using GtkTest::GuiDriver;
using TestSupport::TestPKI;

std::string Icon(const char* name) {
    return std::string(PENDREL_RESOURCE_DIR) + "/" + name;
}
const std::string kOk = Icon("Pendrel_OK.png");
const std::string kBad = Icon("Pendrel_Bad.png");
const std::string kUnknown = Icon("Pendrel_Unknown.png");

Crypto::CertificateOpenSSL Load(TestPKI::Id id) {
    const std::string der = TestSupport::ReadFile(TestPKI::Shared().Get(id).certDer);
    return Crypto::CertificateOpenSSL(reinterpret_cast<const unsigned char*>(der.data()), der.size());
}

struct Shown {
    std::string icon;
    int message;
};

// Validated against the test keychain without revocation checking: the chain
// is trusted for a current signer and fails with an expired or future one;
// revocation stays undetermined.
struct CertCase {
    const char* what;
    TestPKI::Id id;
    bool validate;
    Shown time, chain, crl;
};

const CertCase kCases[] = {
    {"valid signer", TestPKI::Signer, true, {kOk, 128}, {kOk, 131}, {kUnknown, 136}},
    {"expired", TestPKI::Expired, true, {kBad, 129}, {kBad, 132}, {kUnknown, 136}},
    {"not yet valid", TestPKI::NotYetValid, true, {kBad, 129}, {kBad, 132}, {kUnknown, 136}},
    {"not validated", TestPKI::Signer, false, {kUnknown, 130}, {kUnknown, 133}, {kUnknown, 136}},
};

class StatusSigDlgGtkTest : public testing::Test {
protected:
    void SetUp() override { GtkTest::UseBuildResources(); }
    GuiDriver gui;
};

}  // namespace

TEST_F(StatusSigDlgGtkTest, ShowsTheChecksOfTheValidatedCertificate) {
    const std::string title = GtkTest::Text(165);
    const TestSupport::ScopedEnv keychain("PENDREL_KEYCHAIN", TestPKI::Shared().Keychain().c_str());
    for (const CertCase& c : kCases) {
        SCOPED_TRACE(c.what);
        Crypto::CertificateOpenSSL cert = Load(c.id);
        if (c.validate) cert.Validate(false);
        StatusSigDlgGtk dialog;
        dialog.SetCertificate(&cert);
        const struct {
            const char* image;
            const char* label;
            Shown expected;
        } checks[] = {{"timeImg", "timeLabel", c.time},
                      {"chainImg", "chainLabel", c.chain},
                      {"crlImg", "crlLabel", c.crl}};
        const std::string error = gui.Drive(
            [&](GuiDriver& g) {
                g.WaitForWindow(title);
                for (const auto& check : checks) {
                    SCOPED_TRACE(check.label);
                    EXPECT_TRUE(g.ImageShows(title, check.image, check.expected.icon));
                    EXPECT_EQ(g.LabelText(title, check.label), GtkTest::Text(check.expected.message));
                }
                EXPECT_EQ(g.ButtonText(title, "okButton"), GtkTest::Text(168));
                g.ClickWidget(title, "okButton");
            },
            [&] { dialog.Show(); });
        ASSERT_EQ(error, "");
    }
}

TEST_F(StatusSigDlgGtkTest, WithoutWindowsReturnsAtOnce) {
    const TestSupport::ScopedEnv none("PENDREL_DIALOGS", "none");
    Crypto::CertificateOpenSSL cert = Load(TestPKI::Signer);
    StatusSigDlgGtk dialog;
    dialog.SetCertificate(&cert);
    dialog.Show();  // a window would block here until the deadline of the test
    SUCCEED();
}

TEST_F(StatusSigDlgGtkTest, ScreenshotsInBothLanguages) {
    Crypto::CertificateOpenSSL cert = Load(TestPKI::Expired);
    cert.Validate(false);
    StatusSigDlgGtk dialog;
    dialog.SetCertificate(&cert);
    for (const int language : {0, 1}) {
        SCOPED_TRACE(language);
        const std::string title = GtkTest::Text(165, language);
        const std::string error = gui.Drive(
            [&](GuiDriver& g) {
                g.Screenshot(title, GuiDriver::ScreenshotPath(std::string("StatusSigDlgGtk-") +
                                                              (language == 0 ? "en" : "de") + ".png"));
                g.ClickWidget(title, "okButton");
            },
            [&] {
                dialog.SetLanguage(language);
                dialog.Show();
            });
        EXPECT_EQ(error, "");
    }
}
