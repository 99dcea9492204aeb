#include "crypto/SecretPrompt.h"

#include <cstdlib>
#include <cstring>

#include "common/InstalledFactory.h"
#include "common/Logger.h"
#include "crypto/Secret.h"

namespace Crypto {

namespace {

InstalledFactory<SecretPrompt::Factory>& Installed() {
    static InstalledFactory<SecretPrompt::Factory> factory;
    return factory;
}

const char* KindName(SecretRequest::Kind kind) {
    return kind == SecretRequest::Pin ? "PIN" : "passphrase";
}

}  // namespace

void SecretPrompt::SetFactory(Factory factory) {
    Installed().Set(std::move(factory));
}

std::unique_ptr<SecretPrompt> SecretPrompt::Create(const SecretRequest& request) {
    const Factory factory = Installed().Get();
    return factory ? factory(request) : nullptr;
}

const char* SecretPrompt::EnvironmentName(SecretRequest::Kind kind) {
    return kind == SecretRequest::Pin ? "PENDREL_PKCS11_PIN" : "PENDREL_KEYCHAIN_PASSPHRASE";
}

SecretPrompt::Answer SecretPrompt::Obtain(const SecretRequest& request, Secret& secret) {
    secret.Clear();
    Logger::Get()->SetFunc("SecretPrompt::Obtain");
    if (!request.retry) {
        const char* value = std::getenv(EnvironmentName(request.kind));
        if (value != nullptr) {
            Logger::Get()->Log("The %s comes from %s", KindName(request.kind), EnvironmentName(request.kind));
            secret.Assign(value, std::strlen(value));
            return Given;
        }
    }
    const std::unique_ptr<SecretPrompt> prompt = Create(request);
    if (!prompt) {
        Logger::Get()->Log("No window to ask for the %s of %s", KindName(request.kind),
                           request.token.empty() ? request.certificate.c_str() : request.token.c_str());
        return Unavailable;
    }
    const Answer answer = prompt->Ask(secret);
    Logger::Get()->SetFunc("SecretPrompt::Obtain");
    Logger::Get()->Log(answer == Given ? "The %s was entered" : "The %s window was cancelled",
                       KindName(request.kind));
    if (answer != Given) secret.Clear();
    return answer;
}

SecretPrompt::Outcome SecretPrompt::AskUntilAccepted(SecretRequest request,
                                                     const std::function<bool(const Secret&)>& attempt) {
    request.retry = false;
    for (;;) {
        Secret secret;
        const Answer answer = Obtain(request, secret);
        if (answer == Cancelled) return Declined;
        if (answer == Unavailable) return request.retry ? Refused : NoSecret;
        if (attempt(secret)) return Accepted;
        request.retry = true;
    }
}

}  // namespace Crypto
