#include "support/KeyUnlock.h"

#include "crypto/Certificate.h"
#include "crypto/Exception.h"

namespace TestSupport {

int UnlockCode(Crypto::Certificate& certificate, const std::string& origin) {
    try {
        certificate.UnlockPrivateKey(Crypto::PromptContext{origin, 0});
        return 0;
    } catch (const Crypto::Exception& e) {
        return e.Code();
    }
}

}  // namespace TestSupport
