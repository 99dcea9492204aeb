#include "gtk/SecretPromptGtk.h"

#include <memory>

#include "common/Logger.h"
#include "gtk/GtkUtil.h"
#include "gtk/SecretWindow.h"

SecretPromptGtk::SecretPromptGtk(const Crypto::SecretRequest& request) : SecretPrompt(request) {
    Logger::Get()->SetFunc("SecretPromptGtk");
    Logger::Get()->Log("*** Constructor, object %p", static_cast<void*>(this));
}

SecretPromptGtk::~SecretPromptGtk() {
    Logger::Get()->SetFunc("~SecretPromptGtk");
    Logger::Get()->Log("*** Destructor, object %p", static_cast<void*>(this));
}

Crypto::SecretPrompt::Answer SecretPromptGtk::Ask(Crypto::Secret& secret) {
    return SecretWindow(_request).Run(secret);
}

void SecretPromptGtk::Install() {
    Crypto::SecretPrompt::SetFactory(
        [](const Crypto::SecretRequest& request) -> std::unique_ptr<Crypto::SecretPrompt> {
            // Without windows the secret comes from the environment or not at all.
            if (!GtkUtil::WindowsAvailable()) return nullptr;
            return std::make_unique<SecretPromptGtk>(request);
        });
}
