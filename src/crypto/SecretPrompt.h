#pragma once

#include <functional>
#include <memory>
#include <string>

#include "common/BaseDialog.h"

namespace Crypto {

class Secret;

// What a passphrase or PIN prompt asks for, and for whom.
struct SecretRequest {
    enum Kind { Passphrase, Pin };

    Kind kind = Passphrase;
    // What the secret opens: the certificate's display name (the file name
    // while the certificate cannot be read yet) and, for a PIN, the token.
    std::string certificate;
    std::string token;
    // The origin of the page that asks; empty for a local page.
    std::string origin;
    int language = 0;  // of the prompt's texts
    bool retry = false;     // the secret given before was refused
    bool finalTry = false;  // the token warns that one more wrong PIN locks it
};

// Asks the user for a passphrase or PIN. The crypto code asks through this
// interface only; the windows layer installs its window as the factory.
// Without a window the secret comes from the environment or not at all.
class SecretPrompt : public BaseDialog {
public:
    enum Answer { Given, Cancelled, Unavailable };
    // How a whole exchange ended (AskUntilAccepted).
    enum Outcome { Accepted, Refused, Declined, NoSecret };

    explicit SecretPrompt(const SecretRequest& request) : _request(request) {}
    // Modal: Given with the secret in `secret`, or Cancelled.
    virtual Answer Ask(Secret& secret) = 0;
    const SecretRequest& Request() const { return _request; }

    using Factory = std::function<std::unique_ptr<SecretPrompt>(const SecretRequest&)>;
    // The windows layer installs its prompt here; the factory may answer
    // null (no display now). An empty factory removes it.
    static void SetFactory(Factory factory);
    // The installed prompt for the request, or null.
    static std::unique_ptr<SecretPrompt> Create(const SecretRequest& request);

    // One secret for the request: on a first request the environment's
    // value when it is set (automation), else the prompt's answer;
    // Unavailable when there is neither.
    static Answer Obtain(const SecretRequest& request, Secret& secret);
    // Asks until `attempt` accepts a secret, telling the prompt when the
    // one before was refused. Accepted; Refused when a refused secret cannot
    // be asked for again (it came from the environment and there is no
    // window); Declined when the user cancelled; NoSecret when none was
    // available at all. What `attempt` raises goes to the caller.
    static Outcome AskUntilAccepted(SecretRequest request, const std::function<bool(const Secret&)>& attempt);

    // The variable read without a window: PENDREL_KEYCHAIN_PASSPHRASE for a
    // passphrase, PENDREL_PKCS11_PIN for a PIN.
    static const char* EnvironmentName(SecretRequest::Kind kind);

protected:
    SecretRequest _request;
};

}  // namespace Crypto
