#pragma once

#include <string>

namespace Crypto {

// For whom a passphrase or PIN is asked: the page's origin (empty for a local
// page), which the prompt names, and the message language its texts are in.
struct PromptContext {
    std::string origin;
    int language = 0;
};

}  // namespace Crypto
