#include "crypto/openssl/KeySession.h"

#include "common/Logger.h"
#include "crypto/openssl/Pkcs11Module.h"

namespace Crypto {

KeySession::KeySession() {
    Logger::Get()->SetFunc("KeySession");
    Logger::Get()->Log("*** Constructor, object %p", static_cast<void*>(this));
}

KeySession::~KeySession() {
    Logger::Get()->SetFunc("~KeySession");
    Logger::Get()->Log("*** Destructor, object %p", static_cast<void*>(this));
}

std::shared_ptr<Pkcs11Module> KeySession::Module(const std::string& path) {
    const auto found = _modules.find(path);
    if (found != _modules.end()) return found->second;
    std::shared_ptr<Pkcs11Module> module = Pkcs11Module::Load(path);
    if (module) _modules.emplace(path, module);
    return module;
}

void KeySession::SetTokenUnlocked(const std::string& token, bool unlocked) {
    if (unlocked)
        _unlockedTokens.insert(token);
    else
        _unlockedTokens.erase(token);
}

EVP_PKEY* KeySession::OpenedKey(const std::string& file) const {
    const auto found = _opened.find(file);
    return found != _opened.end() ? found->second.key.get() : nullptr;
}

X509* KeySession::OpenedCertificate(const std::string& file) const {
    const auto found = _opened.find(file);
    return found != _opened.end() ? found->second.certificate.get() : nullptr;
}

void KeySession::KeepOpened(const std::string& file, EVP_PKEY* key, X509* certificate) {
    Opened opened;
    if (key != nullptr && EVP_PKEY_up_ref(key) == 1) opened.key.reset(key);
    if (certificate != nullptr && X509_up_ref(certificate) == 1) opened.certificate.reset(certificate);
    _opened[file] = std::move(opened);
    _declined.erase(file);
}

}  // namespace Crypto
