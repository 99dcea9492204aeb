#pragma once

#include <utility>

#include "npapi/npruntime.h"

// One browser reference to a scripting object: a copy retains the object,
// dropping the owner releases it. Adopt takes over a reference the caller
// already has (a new object's creation reference), Retain takes a new one.
class NPObjectPtr {
public:
    NPObjectPtr() = default;
    ~NPObjectPtr() { Reset(); }
    NPObjectPtr(const NPObjectPtr& other) : _object(other.Share()) {}
    NPObjectPtr(NPObjectPtr&& other) noexcept : _object(std::exchange(other._object, nullptr)) {}
    NPObjectPtr& operator=(NPObjectPtr other) noexcept {
        std::swap(_object, other._object);
        return *this;
    }

    static NPObjectPtr Adopt(NPObject* object) {
        NPObjectPtr owner;
        owner._object = object;
        return owner;
    }
    static NPObjectPtr Retain(NPObject* object) {
        return Adopt(object != nullptr ? NPN_RetainObject(object) : nullptr);
    }

    NPObject* Get() const { return _object; }
    explicit operator bool() const { return _object != nullptr; }
    // A new reference for the caller (a variant the browser releases), or null.
    NPObject* Share() const { return _object != nullptr ? NPN_RetainObject(_object) : nullptr; }
    // Hands this owner's reference to the caller.
    NPObject* Release() { return std::exchange(_object, nullptr); }
    void Reset() {
        if (_object != nullptr) NPN_ReleaseObject(std::exchange(_object, nullptr));
    }

private:
    NPObject* _object = nullptr;
};
