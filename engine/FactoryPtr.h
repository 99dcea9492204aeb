#pragma once

#include <functional>
#include <memory>

// An object that a factory of the engine made, with the one reference to it
// that its maker handed out. Dropping it gives that reference back the way
// the maker says: the script layer's objects are counted by the browser and
// released to it, plain objects are deleted. Ownership moves from the engine
// to what it hands the object to (a result takes its signature list, a list
// its certificate information, the caller the result).
template <typename T>
struct FactoryRelease {
    std::function<void(T*)> release;
    void operator()(T* object) const noexcept {
        if (object != nullptr && release) release(object);
    }
};

template <typename T>
using FactoryPtr = std::unique_ptr<T, FactoryRelease<T>>;

// A plain object of the caller's, deleted when dropped.
template <typename T>
FactoryPtr<T> Deleting(T* object) {
    return FactoryPtr<T>(object, FactoryRelease<T>{[](T* made) { delete made; }});
}
