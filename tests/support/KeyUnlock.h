#pragma once

#include <string>

namespace Crypto {
class Certificate;
}

namespace TestSupport {

// Opens the certificate's private key as signing does: 0 when it opened,
// else the code of the Crypto::Exception raised (a key-opening code of Code).
int UnlockCode(Crypto::Certificate& certificate, const std::string& origin = std::string());

}  // namespace TestSupport
