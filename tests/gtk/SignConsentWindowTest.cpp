#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <stdexcept>
#include <string>

#include "common/Base64Stream.h"
#include "common/PageOrigin.h"
#include "engine/PendrelBaseHarness.h"
#include "gtk/SignConsentDlgGtk.h"
#include "gtk/SignConsentWindow.h"
#include "pdf/FileManager.h"
#include "support/GuiDriver.h"
#include "support/PdfBuilder.h"
#include "support/ScopedEnv.h"
#include "support/TempDir.h"
#include "support/TestPKI.h"

namespace {

using Answer = SignConsentDlg::Answer;
using GtkTest::GuiDriver;
using TestSupport::ScopedEnv;

SignConsentWindow::Request ShopRequest(int language = 0) {
    SignConsentWindow::Request request;
    request.origin = "https://shop.example.test";
    request.documentName = "Kaufvertrag 2026.pdf";
    request.documentSize = 48213;
    request.certificate = "Pendrel Test Signer";
    request.language = language;
    return request;
}

bool Checked(GuiDriver& g, const std::string& title, const char* id) {
    return g.OnGui([&] {
        GtkWidget* box = GuiDriver::FindWidget(title, id);
        return box != nullptr && gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(box));
    });
}

class SignConsentWindowTest : public testing::Test {
protected:
    void SetUp() override { GtkTest::UseBuildResources(); }
    GuiDriver gui;
    const std::string title = SignConsentWindow::Title(0);
};

}  // namespace

TEST_F(SignConsentWindowTest, NamesThePageTheDocumentAndTheCertificate) {
    SignConsentWindow::Request fed = ShopRequest();
    fed.documentName.clear();
    fed.rememberable = false;
    const struct {
        const char* what;
        SignConsentWindow::Request request;
        std::string document;
        bool always;
    } cases[] = {
        {"a document from the page's site", ShopRequest(), "Kaufvertrag 2026.pdf", true},
        {"data fed by an opaque page", fed, "(data sent by the page)", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::string origin, document, size, certificate, allow, deny;
        bool always = true, checked = true;
        Answer answer = Answer::Allow;
        const std::string error = gui.Drive(
            [&](GuiDriver& g) {
                origin = g.LabelText(title, "origin");
                document = g.LabelText(title, "document");
                size = g.LabelText(title, "size");
                certificate = g.LabelText(title, "certificate");
                allow = g.ButtonText(title, "allowButton");
                deny = g.ButtonText(title, "denyButton");
                always = g.Visible(title, "always");
                checked = Checked(g, title, "always");
                g.ClickWidget(title, "denyButton");
            },
            [&] { answer = SignConsentWindow(c.request).Run(); });
        ASSERT_EQ(error, "");
        EXPECT_EQ(answer, Answer::Deny);
        EXPECT_EQ(origin, "https://shop.example.test");
        EXPECT_EQ(document, c.document);
        EXPECT_EQ(size, "48213 bytes");
        EXPECT_EQ(certificate, "Pendrel Test Signer");
        EXPECT_EQ(allow, "Allow");
        EXPECT_EQ(deny, "Deny");
        EXPECT_EQ(always, c.always);
        EXPECT_FALSE(checked);  // never allowed for good unless the user says so
    }
}

TEST_F(SignConsentWindowTest, AnswersWhatTheUserChose) {
    const struct {
        const char* what;
        std::function<void(GuiDriver&)> steps;
        Answer answer;
    } cases[] = {
        {"Allow", [&](GuiDriver& g) { g.ClickWidget(title, "allowButton"); }, Answer::Allow},
        {"Deny", [&](GuiDriver& g) { g.ClickWidget(title, "denyButton"); }, Answer::Deny},
        {"always, then Allow",
         [&](GuiDriver& g) {
             g.ClickWidget(title, "always");
             if (!Checked(g, title, "always")) throw std::runtime_error("the box did not take the click");
             g.ClickWidget(title, "allowButton");
         },
         Answer::AllowAlways},
        {"always, then Deny",
         [&](GuiDriver& g) {
             g.ClickWidget(title, "always");
             g.ClickWidget(title, "denyButton");
         },
         Answer::Deny},
        // Enter takes the default button, which is Deny.
        {"Enter", [&](GuiDriver& g) { g.PressKey(title, "denyButton", "Return"); }, Answer::Deny},
        {"Escape", [&](GuiDriver& g) { g.PressKey(title, "denyButton", "Escape"); }, Answer::Deny},
        {"the close box", [&](GuiDriver& g) { g.CloseBox(g.WaitForWindow(title)); }, Answer::Deny},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Answer answer = c.answer == Answer::Deny ? Answer::Allow : Answer::Deny;
        const std::string error = gui.Drive(c.steps, [&] { answer = SignConsentWindow(ShopRequest()).Run(); });
        ASSERT_EQ(error, "");
        EXPECT_EQ(answer, c.answer);
    }
}

TEST_F(SignConsentWindowTest, WithoutWindowsItDenies) {
    const ScopedEnv none("PENDREL_DIALOGS", "none");
    EXPECT_EQ(SignConsentWindow(ShopRequest()).Run(), Answer::Deny);
}

TEST_F(SignConsentWindowTest, ScreenshotsInBothLanguages) {
    for (const int language : {0, 1}) {
        SCOPED_TRACE(language);
        const std::string shown = SignConsentWindow::Title(language);
        std::string allow, deny, always;
        const std::string error = gui.Drive(
            [&](GuiDriver& g) {
                allow = g.ButtonText(shown, "allowButton");
                deny = g.ButtonText(shown, "denyButton");
                always = g.ButtonText(shown, "always");
                g.Screenshot(shown, GuiDriver::ScreenshotPath(std::string("SignConsent-") +
                                                                (language == 0 ? "en" : "de") + ".png"));
                g.ClickWidget(shown, "denyButton");
            },
            [&] { SignConsentWindow(ShopRequest(language)).Run(); });
        ASSERT_EQ(error, "");
        EXPECT_EQ(shown, language == 0 ? "Allow signing?" : "Signieren erlauben?");
        EXPECT_EQ(allow, language == 0 ? "Allow" : "Erlauben");
        EXPECT_EQ(deny, language == 0 ? "Deny" : "Ablehnen");
        EXPECT_EQ(always, language == 0 ? "Always allow this web page to sign"
                                        : "Dieser Webseite das Signieren immer erlauben");
    }
}

// The engine asks in the window: Deny refuses the signature, Allow signs, and
// "always" keeps the origin in the allowed-origins file, so that the next
// signature of that page is not asked for.
TEST_F(SignConsentWindowTest, TheEnginesSignFollowsTheWindow) {
    TestSupport::TempDir dir;
    const std::string file = dir.File("Pendrel/allowed-origins");
    const ScopedEnv keychain("PENDREL_KEYCHAIN", TestSupport::TestPKI::Shared().Keychain().c_str());
    const ScopedEnv listed("PENDREL_ALLOWED_ORIGINS", nullptr);
    const ScopedEnv allowedFile("PENDREL_ALLOWED_ORIGINS_FILE", file.c_str());
    const PageOrigin page = PageOrigin::FromLocation("https://shop.example.test/sign.html");
    PDF::FileManager files(dir.Path());
    TestSupport::PdfBuilder pdf;
    pdf.BasicDocument(1);
    pdf.EndRevision();
    const std::string bytes = pdf.Bytes();
    Util::Base64Encoder encoder;
    std::string text;
    encoder.Encode(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), text);
    encoder.Finish(text);

    const struct {
        const char* what;
        const char* button;
        bool always;
        int code;
        bool remembered;
    } cases[] = {
        {"Deny", "denyButton", false, PendrelBase::kSignDenied, false},
        {"Allow", "allowButton", false, 1, false},
        {"always, then Allow", "allowButton", true, 1, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        PendrelTest::TestRequest request(&files);
        request.SetOrigin(page);
        request.certificate = PendrelTest::LoadIdentity(TestSupport::TestPKI::Signer);
        request.Feed(text.data(), text.size());
        request.Feed("", 0);
        ASSERT_EQ(request.Pages(), 1);
        PendrelTest::TestEngine engine;
        engine.consentWindow = [] { return std::make_unique<SignConsentDlgGtk>(); };
        int code = 0;
        const std::string error = gui.Drive(
            [&](GuiDriver& g) {
                if (c.always) g.ClickWidget(title, "always");
                g.ClickWidget(title, c.button);
            },
            [&] { code = engine.SignRequest(&request)->Error(); });
        ASSERT_EQ(error, "");
        EXPECT_EQ(code, c.code);
        EXPECT_EQ(TestSupport::FileExists(file), c.remembered);
    }
    EXPECT_EQ(TestSupport::ReadFile(file), "https://shop.example.test\n");
    // Allowed for good: signed without a window.
    const ScopedEnv noWindows("PENDREL_DIALOGS", "none");
    PendrelTest::TestRequest again(&files);
    again.SetOrigin(page);
    again.certificate = PendrelTest::LoadIdentity(TestSupport::TestPKI::Signer);
    again.Feed(text.data(), text.size());
    again.Feed("", 0);
    PendrelTest::TestEngine engine;
    EXPECT_EQ(engine.SignRequest(&again)->Error(), 1);
}
