#pragma once

#include "common/npruntime/Base.h"
#include "engine/FactoryPtr.h"
#include "npruntime/NPObjectPtr.h"

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

// A scriptable object of class Scriptable as its engine part Engine for the
// engine, with the owner's reference: the engine's owner releases it to
// the browser when dropped.
template <typename Scriptable, typename Engine>
FactoryPtr<Engine> ToEngine(NPObjectPtr object) {
    Engine* const made = As<Scriptable>(object.Release());
    return FactoryPtr<Engine>(made, FactoryRelease<Engine>{[](Engine* held) {
                                  NPObjectPtr::Adopt(ToObject(static_cast<Scriptable*>(held))).Reset();
                              }});
}

// The reverse: the reference an engine owner holds on a scriptable object
// of class Scriptable, made by ToEngine.
template <typename Scriptable, typename Engine>
NPObjectPtr FromEngine(FactoryPtr<Engine> object) {
    return NPObjectPtr::Adopt(ToObject(static_cast<Scriptable*>(object.release())));
}

}  // namespace ObjectRef
