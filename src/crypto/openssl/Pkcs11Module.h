#pragma once

#include <libp11.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace Crypto {

// One PKCS#11 module loaded and initialised through libp11, with its slots
// as they were when it was loaded. A module can be initialised only once per
// process, so every user of a path shares one loaded module (Load); it is
// finalised and unloaded when the last user lets it go, which also ends its
// logins.
//
// The slots are listed once: libp11 ends every session of a slot when a
// listing is released (and with them the token's login), and it keeps its
// own record of a login per slot object. One listing for the module's life
// keeps both true. Tokens inserted later are seen once the module is loaded
// again.
class Pkcs11Module {
public:
    // The module of this path (a file name or a full path), loaded on the
    // first call; null (logged) when it cannot be loaded or list its slots.
    static std::shared_ptr<Pkcs11Module> Load(const std::string& path);

    ~Pkcs11Module();
    Pkcs11Module(const Pkcs11Module&) = delete;
    Pkcs11Module& operator=(const Pkcs11Module&) = delete;

    const std::string& Path() const { return _path; }
    unsigned int SlotCount() const { return _count; }
    PKCS11_SLOT* Slot(unsigned int index) const { return index < _count ? &_slots[index] : nullptr; }

    // The process is logged in to a token only once, for all its pages. What
    // checks a later page's PIN without logging out (which would end the
    // login of the others) is a salted, slow digest of the PIN that logged
    // in; the PIN itself is never kept. By token (module, serial, label).
    bool LoggedIn(const std::string& token) const { return _logins.count(token) != 0; }
    bool CheckPin(const std::string& token, const char* pin) const;
    void RememberLogin(const std::string& token, const char* pin);
    void ForgetLogin(const std::string& token);

private:
    struct Login {
        std::vector<unsigned char> salt;
        std::vector<unsigned char> digest;
    };

    Pkcs11Module(std::string path, PKCS11_CTX* ctx, PKCS11_SLOT* slots, unsigned int count)
        : _path(std::move(path)), _ctx(ctx), _slots(slots), _count(count) {}
    static std::vector<unsigned char> Digest(const char* pin, const std::vector<unsigned char>& salt);

    const std::string _path;
    PKCS11_CTX* const _ctx;     // loaded; unloaded and freed by the destructor
    PKCS11_SLOT* const _slots;  // released before the module is unloaded
    const unsigned int _count;
    std::map<std::string, Login> _logins;
};

}  // namespace Crypto
