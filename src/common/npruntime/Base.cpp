#include "common/npruntime/Base.h"

#include <utf8.h>

#include <exception>

#include "common/Logger.h"
#include "common/npruntime/NPUtils.h"
#include "crypto/Exception.h"
#include "pdf/Exception.h"

namespace {

void LogFailure(const char* func, const char* format, ...) __attribute__((format(printf, 2, 3)));
void LogFailure(const char* func, const char* format, ...) {
    va_list args;
    va_start(args, format);
    Logger::Get()->SetFunc(func);
    Logger::Get()->LogV(format, args);
    va_end(args);
}

// The one catch-all of a browser entry point: whatever the object throws is
// logged and the call answers false.
template <typename Fn>
bool Guarded(const char* func, Fn&& fn) noexcept {
    try {
        return fn();
    } catch (...) {
        Base::LogCurrentException(func);
    }
    return false;
}

Base* Self(NPObject* npobj) {
    return static_cast<Base*>(npobj);
}

}  // namespace

void Base::LogCurrentException(const char* func) noexcept {
    try {
        throw;
    } catch (const utf8::exception& e) {
        LogFailure(func, "UTF conversion error: %s", e.what());
    } catch (const PDF::Exception& e) {
        LogFailure(func, "PDF exception %d: %s", e.Code(), e.what());
    } catch (const Crypto::Exception& e) {
        LogFailure(func, "Crypto exception %d: %s", e.Code(), e.what());
    } catch (const std::bad_alloc&) {
        LogFailure(func, "Out of memory");
    } catch (const std::exception& e) {
        LogFailure(func, "Unexpected exception: %s", e.what());
    } catch (...) {
        LogFailure(func, "Unknown exception");
    }
}

Base::Base(NPP npp) : NPObject{nullptr, 0}, _npp(npp) {}

Base::~Base() = default;

void Base::AddMethod(const char* name, Method member) {
    _methods.emplace(NPUtils::ToUpper(name), std::move(member));
}

void Base::AddPropertyGet(const char* name, Getter member) {
    _getters.emplace(NPUtils::ToUpper(name), std::move(member));
}

void Base::AddPropertySet(const char* name, Setter member) {
    _setters.emplace(NPUtils::ToUpper(name), std::move(member));
}

void Base::Invalidate() {}

bool Base::HasMethod(NPIdentifier name) {
    std::string key;
    NPUtils::NPIdentifierToString(name, key);
    return _methods.count(key) != 0;
}

bool Base::Invoke(NPIdentifier name, const NPVariant* args, uint32_t argCount, NPVariant* result) {
    std::string key;
    NPUtils::NPIdentifierToString(name, key);
    const auto it = _methods.find(key);
    return it != _methods.end() && it->second(args, argCount, result);
}

bool Base::InvokeDefault(const NPVariant*, uint32_t, NPVariant*) {
    return false;
}

bool Base::HasProperty(NPIdentifier name) {
    std::string key;
    NPUtils::NPIdentifierToString(name, key);
    return _properties.Has(key) || _getters.count(key) != 0 || _setters.count(key) != 0;
}

bool Base::GetProperty(NPIdentifier name, NPVariant* result) {
    std::string key;
    NPUtils::NPIdentifierToString(name, key);
    if (_properties.Has(key)) return _properties.GetProperty(key, result);
    const auto it = _getters.find(key);
    return it != _getters.end() && it->second(result);
}

bool Base::SetProperty(NPIdentifier name, const NPVariant* value) {
    std::string key;
    NPUtils::NPIdentifierToString(name, key);
    if (_properties.Has(key)) return _properties.SetProperty(key, value);
    const auto it = _setters.find(key);
    return it != _setters.end() && it->second(value);
}

bool Base::RemoveProperty(NPIdentifier) {
    return false;
}

bool Base::Enumerate(NPIdentifier**, uint32_t*) {
    return false;
}

bool Base::Construct(const NPVariant*, uint32_t, NPVariant*) {
    Logger::Get()->SetFunc("Construct");
    Logger::Get()->Log("Entering function");
    return false;
}

void Base::_Deallocate(NPObject* npobj) {
    if (npobj == nullptr) return;
    Guarded("Deallocate", [npobj] {
        delete Self(npobj);
        return true;
    });
}

void Base::_Invalidate(NPObject* npobj) {
    if (npobj == nullptr) return;
    Guarded("Invalidate", [npobj] {
        Self(npobj)->Invalidate();
        return true;
    });
}

bool Base::_HasMethod(NPObject* npobj, NPIdentifier name) {
    return npobj != nullptr && Guarded("HasMethod", [&] { return Self(npobj)->HasMethod(name); });
}

bool Base::_Invoke(NPObject* npobj, NPIdentifier name, const NPVariant* args, uint32_t argCount,
                   NPVariant* result) {
    return npobj != nullptr &&
           Guarded("Invoke", [&] { return Self(npobj)->Invoke(name, args, argCount, result); });
}

bool Base::_InvokeDefault(NPObject* npobj, const NPVariant* args, uint32_t argCount, NPVariant* result) {
    return npobj != nullptr &&
           Guarded("InvokeDefault", [&] { return Self(npobj)->InvokeDefault(args, argCount, result); });
}

bool Base::_HasProperty(NPObject* npobj, NPIdentifier name) {
    return npobj != nullptr && Guarded("HasProperty", [&] { return Self(npobj)->HasProperty(name); });
}

bool Base::_GetProperty(NPObject* npobj, NPIdentifier name, NPVariant* result) {
    return npobj != nullptr && Guarded("GetProperty", [&] { return Self(npobj)->GetProperty(name, result); });
}

bool Base::_SetProperty(NPObject* npobj, NPIdentifier name, const NPVariant* value) {
    return npobj != nullptr && Guarded("SetProperty", [&] { return Self(npobj)->SetProperty(name, value); });
}

bool Base::_RemoveProperty(NPObject* npobj, NPIdentifier name) {
    return npobj != nullptr && Guarded("RemoveProperty", [&] { return Self(npobj)->RemoveProperty(name); });
}

bool Base::_Enumerate(NPObject* npobj, NPIdentifier** names, uint32_t* count) {
    return npobj != nullptr && Guarded("Enumerate", [&] { return Self(npobj)->Enumerate(names, count); });
}

bool Base::_Construct(NPObject* npobj, const NPVariant* args, uint32_t argCount, NPVariant* result) {
    return npobj != nullptr &&
           Guarded("Construct", [&] { return Self(npobj)->Construct(args, argCount, result); });
}
