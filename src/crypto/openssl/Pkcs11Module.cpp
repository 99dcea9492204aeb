#include "crypto/openssl/Pkcs11Module.h"

#include <map>
#include <mutex>

#include "common/Logger.h"
#include "crypto/openssl/OpenSSLPtr.h"
#include "crypto/openssl/Pkcs11SlotList.h"

namespace Crypto {

namespace {

// The modules in use, by path; an entry whose module has gone is reloaded.
std::map<std::string, std::weak_ptr<Pkcs11Module>>& Loaded() {
    static std::map<std::string, std::weak_ptr<Pkcs11Module>> loaded;
    return loaded;
}

std::mutex& LoadedMutex() {
    static std::mutex mutex;
    return mutex;
}

}  // namespace

std::shared_ptr<Pkcs11Module> Pkcs11Module::Load(const std::string& path) {
    const std::lock_guard<std::mutex> lock(LoadedMutex());
    std::weak_ptr<Pkcs11Module>& entry = Loaded()[path];
    if (std::shared_ptr<Pkcs11Module> module = entry.lock()) return module;

    Logger::Get()->SetFunc("Pkcs11Module::Load");
    PKCS11_CTX* ctx = PKCS11_CTX_new();
    if (ctx == nullptr) {
        Logger::Get()->Log("No libp11 context for %s: %s", path.c_str(), TakeOpenSSLError().c_str());
        return nullptr;
    }
    if (PKCS11_CTX_load(ctx, path.c_str()) != 0) {
        Logger::Get()->Log("The PKCS#11 module %s cannot be loaded: %s", path.c_str(),
                           TakeOpenSSLError().c_str());
        PKCS11_CTX_free(ctx);
        return nullptr;
    }
    Logger::Get()->Log("PKCS#11 module %s loaded", path.c_str());
    std::shared_ptr<Pkcs11Module> module(new Pkcs11Module(path, ctx));
    entry = module;
    return module;
}

Pkcs11Module::~Pkcs11Module() {
    ReleaseLoginSlots();
    PKCS11_CTX_unload(_ctx);
    PKCS11_CTX_free(_ctx);
    ERR_clear_error();
    Logger::Get()->SetFunc("~Pkcs11Module");
    Logger::Get()->Log("PKCS#11 module %s unloaded", _path.c_str());
}

void Pkcs11Module::ReleaseLoginSlots() {
    if (_loginSlots != nullptr) PKCS11_release_all_slots(_ctx, _loginSlots, _loginCount);
    _loginSlots = nullptr;
    _loginCount = 0;
}

PKCS11_SLOT* Pkcs11Module::FindLoginSlot(const std::string& serial, const std::string& label) const {
    for (unsigned int i = 0; i < _loginCount; ++i)
        if (Pkcs11SlotList::HoldsToken(_loginSlots[i], serial, label)) return &_loginSlots[i];
    return nullptr;
}

PKCS11_SLOT* Pkcs11Module::LoginSlot(const std::string& serial, const std::string& label) {
    if (PKCS11_SLOT* slot = FindLoginSlot(serial, label)) return slot;
    // A token inserted since the slots were listed: list them again.
    ReleaseLoginSlots();
    if (PKCS11_enumerate_slots(_ctx, &_loginSlots, &_loginCount) != 0) {
        _loginSlots = nullptr;
        _loginCount = 0;
        ERR_clear_error();
        return nullptr;
    }
    return FindLoginSlot(serial, label);
}

}  // namespace Crypto
