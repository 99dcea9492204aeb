#include "crypto/openssl/Pkcs11SlotList.h"

#include "common/Logger.h"
#include "crypto/openssl/OpenSSLPtr.h"
#include "crypto/openssl/Pkcs11Module.h"

namespace Crypto {

std::shared_ptr<Pkcs11SlotList> Pkcs11SlotList::Enumerate(const std::shared_ptr<Pkcs11Module>& module) {
    if (!module) return nullptr;
    PKCS11_SLOT* slots = nullptr;
    unsigned int count = 0;
    if (PKCS11_enumerate_slots(module->Context(), &slots, &count) != 0) {
        Logger::Get()->SetFunc("Pkcs11SlotList::Enumerate");
        Logger::Get()->Log("The slots of %s cannot be listed: %s", module->Path().c_str(),
                           TakeOpenSSLError().c_str());
        return nullptr;
    }
    return std::shared_ptr<Pkcs11SlotList>(new Pkcs11SlotList(module, slots, count));
}

Pkcs11SlotList::~Pkcs11SlotList() {
    if (_slots != nullptr) PKCS11_release_all_slots(_module->Context(), _slots, _count);
    ERR_clear_error();
}

bool Pkcs11SlotList::HoldsToken(const PKCS11_SLOT& slot, const std::string& serial,
                                const std::string& label) {
    const PKCS11_TOKEN* token = slot.token;
    return token != nullptr && token->initialized &&
           serial == (token->serialnr != nullptr ? token->serialnr : "") &&
           label == (token->label != nullptr ? token->label : "");
}

int Pkcs11SlotList::FindToken(const std::string& serial, const std::string& label) const {
    for (unsigned int i = 0; i < _count; ++i)
        if (HoldsToken(_slots[i], serial, label)) return static_cast<int>(i);
    return -1;
}

}  // namespace Crypto
