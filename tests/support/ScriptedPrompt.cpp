#include "support/ScriptedPrompt.h"

#include "crypto/Secret.h"

namespace TestSupport {

namespace {

class Prompt final : public Crypto::SecretPrompt {
public:
    Prompt(const Crypto::SecretRequest& request, std::deque<ScriptedPrompt::Answer>& answers)
        : SecretPrompt(request), _answers(answers) {}
    Answer Ask(Crypto::Secret& secret) override {
        if (_answers.empty() || _answers.front().cancel) {
            if (!_answers.empty()) _answers.pop_front();
            return Cancelled;
        }
        secret.Assign(_answers.front().secret.data(), _answers.front().secret.size());
        _answers.pop_front();
        return Given;
    }

private:
    std::deque<ScriptedPrompt::Answer>& _answers;
};

}  // namespace

ScriptedPrompt::ScriptedPrompt(std::vector<Answer> answers) : _answers(answers.begin(), answers.end()) {
    Crypto::SecretPrompt::SetFactory([this](const Crypto::SecretRequest& request) {
        _requests.push_back(request);
        return std::make_unique<Prompt>(request, _answers);
    });
}

ScriptedPrompt::~ScriptedPrompt() {
    Crypto::SecretPrompt::SetFactory(nullptr);
}

}  // namespace TestSupport
