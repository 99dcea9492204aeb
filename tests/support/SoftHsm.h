#pragma once

#include <memory>
#include <string>

#include "support/ScopedEnv.h"
#include "support/TempDir.h"

namespace TestSupport {

struct PKICert;

// A SoftHSM2 of its own for a token test: a configuration and token folder
// in a scratch folder, tokens made with softhsm2-util and filled with
// pkcs11-tool (OpenSC), as a user would. While it lives, SOFTHSM2_CONF
// points at its configuration and PENDREL_PKCS11_MODULES at SoftHSM's
// module. SoftHSM reads its configuration when it is loaded: the code under
// test must load the module after this is made (and let it go before the
// next test makes its own).
class SoftHsm {
public:
    static constexpr const char* kModule = "/usr/lib/softhsm/libsofthsm2.so";
    static constexpr const char* kPin = "1234";
    static constexpr const char* kSoPin = "56785678";

    SoftHsm();
    ~SoftHsm();
    SoftHsm(const SoftHsm&) = delete;
    SoftHsm& operator=(const SoftHsm&) = delete;

    // A new token with this label and user PIN.
    void AddToken(const std::string& label, const std::string& pin = kPin);
    // Writes the certificate onto the token under `idHex` and `label` and,
    // with `withKey`, its private key and public key under the same id.
    void Import(const std::string& token, const PKICert& cert, const std::string& idHex,
                const std::string& label, bool withKey = true, const std::string& pin = kPin);
    // Removes the token, as pulling it out of its reader would.
    void DeleteToken(const std::string& label);

    const std::string& Folder() const { return _dir.Path(); }

private:
    void Run(const std::initializer_list<std::string>& argv);

    TempDir _dir;
    std::unique_ptr<ScopedEnv> _conf;
    std::unique_ptr<ScopedEnv> _modules;
};

}  // namespace TestSupport
