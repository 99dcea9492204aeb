#include "support/SoftHsm.h"

#include <stdexcept>
#include <vector>

#include "support/Process.h"
#include "support/TestPKI.h"

namespace TestSupport {

SoftHsm::SoftHsm() {
    RunProgram({"mkdir", "-p", _dir.File("tokens")});
    WriteFile(_dir.File("softhsm2.conf"), "directories.tokendir = " + _dir.File("tokens") +
                                              "\nobjectstore.backend = file\nlog.level = ERROR\n");
    _conf = std::make_unique<ScopedEnv>("SOFTHSM2_CONF", _dir.File("softhsm2.conf").c_str());
    _modules = std::make_unique<ScopedEnv>("PENDREL_PKCS11_MODULES", kModule);
}

SoftHsm::~SoftHsm() = default;

void SoftHsm::Run(const std::initializer_list<std::string>& argv) {
    std::string output;
    if (RunProgram(std::vector<std::string>(argv), &output) != 0)
        throw std::runtime_error("SoftHSM set-up: " + *argv.begin() + " failed: " + output);
}

void SoftHsm::AddToken(const std::string& label, const std::string& pin) {
    Run({"softhsm2-util", "--init-token", "--free", "--label", label, "--so-pin", kSoPin, "--pin", pin});
}

void SoftHsm::Import(const std::string& token, const PKICert& cert, const std::string& idHex,
                     const std::string& label, bool withKey, const std::string& pin) {
    const auto write = [&](const std::string& file, const char* type) {
        Run({"pkcs11-tool", "--module", kModule, "--token-label", token, "--login", "--pin", pin,
             "--write-object", file, "--type", type, "--id", idHex, "--label", label});
    };
    write(cert.certDer, "cert");
    if (!withKey) return;
    write(cert.keyPem, "privkey");
    // Tokens keep a public key beside each private key: it shows the key
    // before the user has logged in.
    const std::string publicKey = _dir.File(cert.name + "-" + idHex + "-public.der");
    Run({"openssl", "pkey", "-in", cert.keyPem, "-pubout", "-outform", "DER", "-out", publicKey});
    write(publicKey, "pubkey");
}

void SoftHsm::DeleteToken(const std::string& label) {
    Run({"softhsm2-util", "--delete-token", "--token", label});
}

}  // namespace TestSupport
