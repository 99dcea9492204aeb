#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "common/Util.h"
#include "crypto/Secret.h"
#include "gtk/SecretWindow.h"
#include "support/GuiDriver.h"

namespace {

using Crypto::SecretPrompt;
using Crypto::SecretRequest;
using GtkTest::GuiDriver;

SecretRequest PinRequest() {
    SecretRequest request;
    request.kind = SecretRequest::Pin;
    request.token = "Pendrel Token A";
    request.certificate = "Pendrel Test Signer";
    request.origin = "https://shop.example.test";
    return request;
}

SecretRequest PassphraseRequest() {
    SecretRequest request;
    request.kind = SecretRequest::Passphrase;
    request.certificate = "Pendrel Encrypted PEM Signer";
    return request;
}

class SecretWindowTest : public testing::Test {
protected:
    GuiDriver gui;
};

}  // namespace

TEST_F(SecretWindowTest, ShowsWhatTheSecretOpensAndForWhichPage) {
    SecretRequest retried = PinRequest();
    retried.retry = true;
    retried.finalTry = true;
    SecretRequest local = PinRequest();
    local.origin.clear();
    const struct {
        const char* what;
        SecretRequest request;
        std::string title, prompt, name;
        bool signAs, origin, retry, finalTry;
    } cases[] = {
        {"a PIN for a page", PinRequest(), "PIN needed", "Enter the PIN of the token:", "Pendrel Token A",
         true, true, false, false},
        {"a PIN for a local page", local, "PIN needed", "Enter the PIN of the token:", "Pendrel Token A",
         true, false, false, false},
        {"a PIN again, the last try", retried, "PIN needed", "Enter the PIN of the token:", "Pendrel Token A",
         true, true, true, true},
        {"a passphrase", PassphraseRequest(), "Passphrase needed",
         "Enter the passphrase of the private key of:", "Pendrel Encrypted PEM Signer", false, false, false,
         false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::string prompt, name, origin, retryText;
        bool signAs = false, originShown = false, retry = false, finalTry = false, okBefore = true;
        SecretPrompt::Answer answer = SecretPrompt::Given;
        Crypto::Secret secret;
        const std::string error = gui.Drive(
            [&](GuiDriver& g) {
                prompt = g.LabelText(c.title, "prompt");
                name = g.LabelText(c.title, "name");
                signAs = g.Visible(c.title, "signAs");
                originShown = g.Visible(c.title, "origin");
                origin = g.LabelText(c.title, "origin");
                retry = g.Visible(c.title, "retry");
                retryText = g.LabelText(c.title, "retry");
                finalTry = g.Visible(c.title, "finalTry");
                okBefore = g.Sensitive(c.title, "okButton");
                g.ClickWidget(c.title, "cancelButton");
            },
            [&] { answer = SecretWindow(c.request).Run(secret); });
        ASSERT_EQ(error, "");
        EXPECT_EQ(answer, SecretPrompt::Cancelled);
        EXPECT_TRUE(secret.Empty());
        EXPECT_EQ(prompt, c.prompt);
        EXPECT_EQ(name, c.name);
        EXPECT_EQ(signAs, c.signAs);
        EXPECT_EQ(originShown, c.origin);
        if (c.origin) {
            EXPECT_EQ(origin, c.request.origin);
        }
        EXPECT_EQ(retry, c.retry);
        if (c.retry) {
            EXPECT_EQ(retryText, "The PIN was wrong. Try again.");
        }
        EXPECT_EQ(finalTry, c.finalTry);
        EXPECT_FALSE(okBefore);  // nothing typed yet
    }
}

TEST_F(SecretWindowTest, AnswersWhatWasTypedOrTheCancel) {
    const std::string t = "PIN needed";
    const struct {
        const char* what;
        std::function<void(GuiDriver&)> steps;
        SecretPrompt::Answer answer;
        std::string secret;
    } cases[] = {
        {"typed, then OK",
         [&](GuiDriver& g) {
             g.TypeText(t, "secret", "12 34x");
             g.ClickWidget(t, "okButton");
         },
         SecretPrompt::Given, "12 34x"},
        {"typed, then Enter",
         [&](GuiDriver& g) {
             g.TypeText(t, "secret", "987654");
             g.PressKey(t, "secret", "Return");
         },
         SecretPrompt::Given, "987654"},
        // OK with nothing typed must leave the window open, or the later Cancel is never seen.
        {"OK without a PIN, then Cancel",
         [&](GuiDriver& g) {
             g.ClickWidget(t, "okButton");
             g.PressKey(t, "secret", "Return");
             if (!g.Showing(t)) throw std::runtime_error("an empty PIN closed the window");
             g.ClickWidget(t, "cancelButton");
         },
         SecretPrompt::Cancelled, ""},
        {"typed, then Escape",
         [&](GuiDriver& g) {
             g.TypeText(t, "secret", "1234");
             g.PressKey(t, "secret", "Escape");
         },
         SecretPrompt::Cancelled, ""},
        {"typed, then the close box",
         [&](GuiDriver& g) {
             g.TypeText(t, "secret", "1234");
             g.CloseBox(g.WaitForWindow(t));
         },
         SecretPrompt::Cancelled, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Crypto::Secret secret;
        SecretPrompt::Answer answer = SecretPrompt::Unavailable;
        const std::string error =
            gui.Drive(c.steps, [&] { answer = SecretWindow(PinRequest()).Run(secret); });
        ASSERT_EQ(error, "");
        EXPECT_EQ(answer, c.answer);
        EXPECT_EQ(std::string(secret.CStr(), secret.Length()), c.secret);
    }
}

TEST_F(SecretWindowTest, ScreenshotsInBothLanguages) {
    SecretRequest retried = PinRequest();
    retried.retry = true;
    for (const int language : {0, 1}) {
        const std::string suffix = language == 0 ? "en" : "de";
        retried.language = language;
        SecretRequest passphrase = PassphraseRequest();
        passphrase.language = language;
        const struct {
            const char* file;
            SecretRequest request;
        } shots[] = {{"PinPrompt", retried}, {"PassphrasePrompt", passphrase}};
        for (const auto& shot : shots) {
            SCOPED_TRACE(std::string(shot.file) + "-" + suffix);
            const std::string title = SecretWindow::Title(shot.request);
            std::string button;
            Crypto::Secret secret;
            const std::string error = gui.Drive(
                [&](GuiDriver& g) {
                    g.TypeText(title, "secret", "1234");
                    button = g.ButtonText(title, "cancelButton");
                    g.Screenshot(title,
                                 GuiDriver::ScreenshotPath(std::string(shot.file) + "-" + suffix + ".png"));
                    g.ClickWidget(title, "cancelButton");
                },
                [&] { SecretWindow(shot.request).Run(secret); });
            ASSERT_EQ(error, "");
            EXPECT_EQ(button, language == 0 ? "Cancel" : "Abbrechen");
            EXPECT_EQ(title,
                      language == 0
                          ? (shot.request.kind == SecretRequest::Pin ? "PIN needed" : "Passphrase needed")
                          : (shot.request.kind == SecretRequest::Pin ? "PIN erforderlich"
                                                                     : "Passphrase erforderlich"));
        }
    }
}
