#include "crypto/openssl/Pkcs11Module.h"

#include <openssl/crypto.h>
#include <openssl/rand.h>

#include <cstring>
#include <mutex>

#include "common/Logger.h"
#include "crypto/Secret.h"
#include "crypto/openssl/OpenSSLPtr.h"

namespace Crypto {

namespace {

constexpr int kDigestRounds = 20000;
constexpr std::size_t kSaltLength = 16;
constexpr std::size_t kDigestLength = 32;

// The modules in use, by path; an entry whose module has gone is reloaded.
std::map<std::string, std::weak_ptr<Pkcs11Module>>& Loaded() {
    static std::map<std::string, std::weak_ptr<Pkcs11Module>> loaded;
    return loaded;
}

std::mutex& LoadedMutex() {
    static std::mutex mutex;
    return mutex;
}

void Unload(PKCS11_CTX* ctx) {
    PKCS11_CTX_unload(ctx);
    PKCS11_CTX_free(ctx);
    ERR_clear_error();
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
    PKCS11_SLOT* slots = nullptr;
    unsigned int count = 0;
    if (PKCS11_enumerate_slots(ctx, &slots, &count) != 0) {
        Logger::Get()->Log("The slots of %s cannot be listed: %s", path.c_str(), TakeOpenSSLError().c_str());
        Unload(ctx);
        return nullptr;
    }
    Logger::Get()->Log("PKCS#11 module %s loaded, %u slot(s)", path.c_str(), count);
    std::shared_ptr<Pkcs11Module> module(new Pkcs11Module(path, ctx, slots, count));
    entry = module;
    return module;
}

Pkcs11Module::~Pkcs11Module() {
    for (auto& login : _logins) Secret::Wipe(login.second.digest.data(), login.second.digest.size());
    if (_slots != nullptr) PKCS11_release_all_slots(_ctx, _slots, _count);
    Unload(_ctx);
    Logger::Get()->SetFunc("~Pkcs11Module");
    Logger::Get()->Log("PKCS#11 module %s unloaded", _path.c_str());
}

std::vector<unsigned char> Pkcs11Module::Digest(const char* pin, const std::vector<unsigned char>& salt) {
    std::vector<unsigned char> digest(kDigestLength);
    const char* text = pin != nullptr ? pin : "";
    if (PKCS5_PBKDF2_HMAC(text, static_cast<int>(std::strlen(text)), salt.data(),
                          static_cast<int>(salt.size()), kDigestRounds, EVP_sha256(),
                          static_cast<int>(digest.size()), digest.data()) != 1) {
        ERR_clear_error();
        return {};
    }
    return digest;
}

bool Pkcs11Module::CheckPin(const std::string& token, const char* pin) const {
    const auto found = _logins.find(token);
    if (found == _logins.end()) return false;
    std::vector<unsigned char> digest = Digest(pin, found->second.salt);
    const bool same = !digest.empty() && digest.size() == found->second.digest.size() &&
                      CRYPTO_memcmp(digest.data(), found->second.digest.data(), digest.size()) == 0;
    Secret::Wipe(digest.data(), digest.size());
    return same;
}

void Pkcs11Module::RememberLogin(const std::string& token, const char* pin) {
    Login login;
    login.salt.resize(kSaltLength);
    if (RAND_bytes(login.salt.data(), static_cast<int>(login.salt.size())) != 1) {
        ERR_clear_error();
        return;  // no record: a later page logs in through libp11, which does not check the PIN again
    }
    login.digest = Digest(pin, login.salt);
    if (!login.digest.empty()) _logins[token] = std::move(login);
}

void Pkcs11Module::ForgetLogin(const std::string& token) {
    const auto found = _logins.find(token);
    if (found == _logins.end()) return;
    Secret::Wipe(found->second.digest.data(), found->second.digest.size());
    _logins.erase(found);
}

}  // namespace Crypto
