#pragma once

#include <deque>
#include <string>
#include <vector>

#include "crypto/SecretPrompt.h"

namespace TestSupport {

// Stands in for the passphrase and PIN window while it lives: answers the
// prompts in order from a script (a secret, or a cancel) and records what
// each was asked. With the script used up it answers as cancelled.
class ScriptedPrompt {
public:
    struct Answer {
        bool cancel = false;
        std::string secret;
    };

    explicit ScriptedPrompt(std::vector<Answer> answers = {});
    ~ScriptedPrompt();
    ScriptedPrompt(const ScriptedPrompt&) = delete;
    ScriptedPrompt& operator=(const ScriptedPrompt&) = delete;

    static Answer Give(const std::string& secret) { return Answer{false, secret}; }
    static Answer Cancel() { return Answer{true, std::string()}; }

    const std::vector<Crypto::SecretRequest>& Requests() const { return _requests; }

private:
    std::deque<Answer> _answers;
    std::vector<Crypto::SecretRequest> _requests;
};

}  // namespace TestSupport
