#include <gtest/gtest.h>

#include <memory>

#include "crypto/Secret.h"
#include "crypto/SecretPrompt.h"
#include "support/ScopedEnv.h"
#include "support/ScriptedPrompt.h"

namespace {

using Crypto::SecretPrompt;
using Crypto::SecretRequest;
using TestSupport::ScriptedPrompt;

TEST(SecretPrompt, AsksUntilTheSecretIsAcceptedFromTheEnvironmentThenTheWindow) {
    const struct {
        const char* what;
        const char* environment;  // PENDREL_PKCS11_PIN
        bool window;
        std::vector<ScriptedPrompt::Answer> answers;
        SecretPrompt::Outcome outcome;
        std::vector<std::string> tried;   // what the attempt saw, in order
        std::vector<bool> windowRetries;  // the retry flag of each window shown
    } cases[] = {
        {"environment right, no window", "good", false, {}, SecretPrompt::Accepted, {"good"}, {}},
        {"environment wrong, no window", "bad", false, {}, SecretPrompt::Refused, {"bad"}, {}},
        {"nothing at all", nullptr, false, {}, SecretPrompt::NoSecret, {}, {}},
        {"environment before the window",
         "good",
         true,
         {ScriptedPrompt::Give("x")},
         SecretPrompt::Accepted,
         {"good"},
         {}},
        {"environment wrong, then the window",
         "bad",
         true,
         {ScriptedPrompt::Give("good")},
         SecretPrompt::Accepted,
         {"bad", "good"},
         {true}},
        {"window wrong, then right",
         nullptr,
         true,
         {ScriptedPrompt::Give("bad"), ScriptedPrompt::Give("good")},
         SecretPrompt::Accepted,
         {"bad", "good"},
         {false, true}},
        {"window cancelled", nullptr, true, {ScriptedPrompt::Cancel()}, SecretPrompt::Declined, {}, {false}},
        {"window wrong, then cancelled",
         nullptr,
         true,
         {ScriptedPrompt::Give("bad"), ScriptedPrompt::Cancel()},
         SecretPrompt::Declined,
         {"bad"},
         {false, true}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const TestSupport::ScopedEnv pin("PENDREL_PKCS11_PIN", c.environment);
        std::unique_ptr<ScriptedPrompt> window;
        if (c.window) window = std::make_unique<ScriptedPrompt>(c.answers);
        SecretRequest request;
        request.kind = SecretRequest::Pin;
        request.token = "Token";
        request.origin = "https://example.test";
        std::vector<std::string> tried;
        const SecretPrompt::Outcome outcome =
            SecretPrompt::AskUntilAccepted(request, [&](const Crypto::Secret& s) {
                tried.emplace_back(s.CStr(), s.Length());
                return tried.back() == "good";
            });
        EXPECT_EQ(outcome, c.outcome);
        EXPECT_EQ(tried, c.tried);
        std::vector<bool> retries;
        if (window)
            for (const SecretRequest& asked : window->Requests()) {
                retries.push_back(asked.retry);
                EXPECT_EQ(asked.token, "Token");
                EXPECT_EQ(asked.origin, "https://example.test");  // the window names the page
            }
        EXPECT_EQ(retries, c.windowRetries);
    }
}

TEST(SecretPrompt, EachKindHasItsOwnVariable) {
    const TestSupport::ScopedEnv pin("PENDREL_PKCS11_PIN", "1234");
    const TestSupport::ScopedEnv passphrase("PENDREL_KEYCHAIN_PASSPHRASE", nullptr);
    SecretRequest request;
    Crypto::Secret secret;
    request.kind = SecretRequest::Passphrase;
    EXPECT_EQ(SecretPrompt::Obtain(request, secret), SecretPrompt::Unavailable);  // the PIN is no passphrase
    request.kind = SecretRequest::Pin;
    EXPECT_EQ(SecretPrompt::Obtain(request, secret), SecretPrompt::Given);
    EXPECT_STREQ(secret.CStr(), "1234");
}

}  // namespace
