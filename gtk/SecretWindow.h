#pragma once

#include <memory>
#include <string>

#include "crypto/SecretPrompt.h"

namespace Crypto {
class Secret;
}

namespace GtkUtil {
class WindowDescription;
class ModalLoop;
}  // namespace GtkUtil

// The modal passphrase or PIN window (window description "SecretPrompt"):
// what the secret opens (the certificate, or the token and the certificate
// it signs as), the page's origin when there is one, a warning after a
// refused secret, a hidden entry, OK and Cancel. OK needs at least one
// character, so that an empty PIN does not spend one of the token's tries.
class SecretWindow {
public:
    explicit SecretWindow(const Crypto::SecretRequest& request);
    ~SecretWindow();
    SecretWindow(const SecretWindow&) = delete;
    SecretWindow& operator=(const SecretWindow&) = delete;

    // Blocks until the user decides: Given with what was typed in `secret`
    // (the entry is emptied, its memory wiped by GTK); Cancelled on Cancel,
    // Escape or the close box; Unavailable when no window can be shown.
    Crypto::SecretPrompt::Answer Run(Crypto::Secret& secret);

    // The window's title for a request (message 520 or 521).
    static std::string Title(const Crypto::SecretRequest& request);

private:
    struct Handlers;
    friend struct Handlers;

    void Ok();
    void Cancel();
    void Changed();

    const Crypto::SecretRequest _request;
    Crypto::Secret* _secret = nullptr;
    bool _given = false;
    std::unique_ptr<GtkUtil::ModalLoop> _loop;
    std::unique_ptr<GtkUtil::WindowDescription> _ui;
};
