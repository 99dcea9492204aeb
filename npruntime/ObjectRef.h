#pragma once

#include "common/npruntime/Base.h"

// Conversions between a browser object and the scriptable class behind it.
// Valid only for objects of our own class records (checked by the caller).
namespace ObjectRef {

template <typename T>
T* As(NPObject* object) {
    return object == nullptr ? nullptr : static_cast<T*>(static_cast<Base*>(object));
}

template <typename T>
NPObject* ToObject(T* scriptable) {
    return scriptable == nullptr ? nullptr : static_cast<NPObject*>(static_cast<Base*>(scriptable));
}

}  // namespace ObjectRef
