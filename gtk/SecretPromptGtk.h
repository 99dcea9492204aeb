#pragma once

#include "crypto/SecretPrompt.h"

// The passphrase and PIN prompt on GTK: the secret window.
class SecretPromptGtk : public Crypto::SecretPrompt {
public:
    explicit SecretPromptGtk(const Crypto::SecretRequest& request);
    ~SecretPromptGtk() override;

    Answer Ask(Crypto::Secret& secret) override;

    // Called once when the plug-in starts: a passphrase or PIN is then asked
    // for in this window whenever windows are available.
    static void Install();
};
