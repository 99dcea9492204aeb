#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <new>
#include <string>

#include "common/npruntime/PropertyMapper.h"
#include "npapi/npruntime.h"

// A browser scripting object with name-based tables: a scriptable class
// derives from Base, registers its methods, getters, setters and mapped data
// members by name in its constructor, and the browser's calls are dispatched
// by the upper-case name of the identifier. The static entry points are the
// only way in from the browser; each catches what a member throws, logs it
// and answers false, so no exception reaches the browser.
class Base : public NPObject {
public:
    using Method = std::function<bool(const NPVariant* args, uint32_t argCount, NPVariant* result)>;
    using Getter = std::function<bool(NPVariant* result)>;
    using Setter = std::function<bool(const NPVariant* value)>;

    explicit Base(NPP npp);
    virtual ~Base();
    Base(const Base&) = delete;
    Base& operator=(const Base&) = delete;

    virtual void Invalidate();
    virtual bool HasMethod(NPIdentifier name);
    virtual bool Invoke(NPIdentifier name, const NPVariant* args, uint32_t argCount, NPVariant* result);
    virtual bool InvokeDefault(const NPVariant* args, uint32_t argCount, NPVariant* result);
    virtual bool HasProperty(NPIdentifier name);
    virtual bool GetProperty(NPIdentifier name, NPVariant* result);
    virtual bool SetProperty(NPIdentifier name, const NPVariant* value);
    virtual bool RemoveProperty(NPIdentifier name);
    virtual bool Enumerate(NPIdentifier** names, uint32_t* count);
    virtual bool Construct(const NPVariant* args, uint32_t argCount, NPVariant* result);

    NPP Npp() const { return _npp; }

    // The browser's entry points placed in every class record.
    static void _Deallocate(NPObject* npobj);
    static void _Invalidate(NPObject* npobj);
    static bool _HasMethod(NPObject* npobj, NPIdentifier name);
    static bool _Invoke(NPObject* npobj, NPIdentifier name, const NPVariant* args, uint32_t argCount,
                        NPVariant* result);
    static bool _InvokeDefault(NPObject* npobj, const NPVariant* args, uint32_t argCount, NPVariant* result);
    static bool _HasProperty(NPObject* npobj, NPIdentifier name);
    static bool _GetProperty(NPObject* npobj, NPIdentifier name, NPVariant* result);
    static bool _SetProperty(NPObject* npobj, NPIdentifier name, const NPVariant* value);
    static bool _RemoveProperty(NPObject* npobj, NPIdentifier name);
    static bool _Enumerate(NPObject* npobj, NPIdentifier** names, uint32_t* count);
    static bool _Construct(NPObject* npobj, const NPVariant* args, uint32_t argCount, NPVariant* result);

    // A class record over the entry points above with the class's own
    // allocation function; enumerate and construct are left out. Constant,
    // so a class record is ready before any code runs.
    static constexpr NPClass MakeClass(NPAllocateFunctionPtr allocate) {
        return NPClass{NP_CLASS_STRUCT_VERSION,
                       allocate,
                       &_Deallocate,
                       &_Invalidate,
                       &_HasMethod,
                       &_Invoke,
                       &_InvokeDefault,
                       &_HasProperty,
                       &_GetProperty,
                       &_SetProperty,
                       &_RemoveProperty,
                       nullptr,
                       nullptr};
    }

    // Body of an allocation function: the object for npp, or null when its
    // construction fails (logged; nothing is thrown to the browser).
    template <typename T>
    static NPObject* Allocate(NPP npp, const char* func) noexcept {
        try {
            T* object = new T(npp);  // owned by the browser from here: _Deallocate deletes it
            return static_cast<NPObject*>(object);
        } catch (...) {
            LogCurrentException(func);
            return nullptr;
        }
    }

    // Logs the exception being handled under func (inside a catch block).
    static void LogCurrentException(const char* func) noexcept;

protected:
    void AddMethod(const char* name, Method member);
    void AddPropertyGet(const char* name, Getter member);
    void AddPropertySet(const char* name, Setter member);

    // Registration of member functions of the derived class T.
    template <typename T>
    void AddMethod(const char* name, bool (T::*member)(const NPVariant*, uint32_t, NPVariant*)) {
        T* self = static_cast<T*>(this);
        AddMethod(name, Method([self, member](const NPVariant* a, uint32_t n, NPVariant* r) {
                      return (self->*member)(a, n, r);
                  }));
    }
    template <typename T>
    void AddPropertyGet(const char* name, bool (T::*member)(NPVariant*)) {
        T* self = static_cast<T*>(this);
        AddPropertyGet(name, Getter([self, member](NPVariant* r) { return (self->*member)(r); }));
    }
    template <typename T>
    void AddPropertySet(const char* name, bool (T::*member)(const NPVariant*)) {
        T* self = static_cast<T*>(this);
        AddPropertySet(name, Setter([self, member](const NPVariant* v) { return (self->*member)(v); }));
    }

    PropertyMapper& Properties() { return _properties; }

private:
    std::map<std::string, Method> _methods;
    std::map<std::string, Getter> _getters;
    std::map<std::string, Setter> _setters;
    PropertyMapper _properties;
    NPP _npp;
};
