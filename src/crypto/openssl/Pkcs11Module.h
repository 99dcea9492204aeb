#pragma once

#include <libp11.h>

#include <memory>
#include <string>

namespace Crypto {

// One PKCS#11 module loaded and initialised through libp11. A module can be
// initialised only once per process, so every user of a path shares one
// loaded module (Load); it is finalised and unloaded when the last user lets
// it go, which also ends its logins.
class Pkcs11Module {
public:
    // The module of this path (a file name or a full path), loaded on the
    // first call; null (logged) when it cannot be loaded.
    static std::shared_ptr<Pkcs11Module> Load(const std::string& path);

    ~Pkcs11Module();
    Pkcs11Module(const Pkcs11Module&) = delete;
    Pkcs11Module& operator=(const Pkcs11Module&) = delete;

    const std::string& Path() const { return _path; }
    PKCS11_CTX* Context() const { return _ctx; }

    // The one slot object through which the token of this serial number and
    // label is logged in to and out of; null when the module does not list
    // the token. libp11 keeps its own record of a login per slot object and
    // takes a login through another object of a logged-in token as done
    // without checking the PIN: logging in through one object per token
    // keeps that record true.
    PKCS11_SLOT* LoginSlot(const std::string& serial, const std::string& label);

private:
    Pkcs11Module(std::string path, PKCS11_CTX* ctx) : _path(std::move(path)), _ctx(ctx) {}
    PKCS11_SLOT* FindLoginSlot(const std::string& serial, const std::string& label) const;
    void ReleaseLoginSlots();

    const std::string _path;
    PKCS11_CTX* const _ctx;              // loaded; unloaded and freed by the destructor
    PKCS11_SLOT* _loginSlots = nullptr;  // released before the module is unloaded
    unsigned int _loginCount = 0;
};

}  // namespace Crypto
