#pragma once

#include <libp11.h>

#include <memory>
#include <string>

namespace Crypto {

class Pkcs11Module;

// One listing of a module's slots as libp11 keeps them (slot and token
// objects with their sessions), shared by the identities found in it. It
// keeps its module loaded.
class Pkcs11SlotList {
public:
    // The module's slots now; null (logged) when the module cannot list them.
    static std::shared_ptr<Pkcs11SlotList> Enumerate(const std::shared_ptr<Pkcs11Module>& module);

    ~Pkcs11SlotList();
    Pkcs11SlotList(const Pkcs11SlotList&) = delete;
    Pkcs11SlotList& operator=(const Pkcs11SlotList&) = delete;

    unsigned int Count() const { return _count; }
    PKCS11_SLOT* At(unsigned int index) const { return index < _count ? &_slots[index] : nullptr; }
    // The index of the slot holding an initialised token with this serial
    // number and label, or -1.
    int FindToken(const std::string& serial, const std::string& label) const;
    // Whether `slot` holds an initialised token with this serial and label.
    static bool HoldsToken(const PKCS11_SLOT& slot, const std::string& serial, const std::string& label);
    const std::shared_ptr<Pkcs11Module>& Module() const { return _module; }

private:
    Pkcs11SlotList(std::shared_ptr<Pkcs11Module> module, PKCS11_SLOT* slots, unsigned int count)
        : _module(std::move(module)), _slots(slots), _count(count) {}

    const std::shared_ptr<Pkcs11Module> _module;  // outlives the slots
    PKCS11_SLOT* const _slots;
    const unsigned int _count;
};

}  // namespace Crypto
