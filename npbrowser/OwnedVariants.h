#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "npbrowser/Browser.h"

// Variants a browser made or received: released on every way out, a
// plug-in's exception included.
class OwnedVariants {
public:
    explicit OwnedVariants(std::size_t count) : _items(count) {
        for (NPVariant& v : _items) VOID_TO_NPVARIANT(v);
    }
    ~OwnedVariants() {
        for (NPVariant& v : _items) Browser::ReleaseVariant(v);
    }
    OwnedVariants(const OwnedVariants&) = delete;
    OwnedVariants& operator=(const OwnedVariants&) = delete;

    NPVariant& operator[](std::size_t i) { return _items[i]; }
    NPVariant* Data() { return _items.data(); }
    uint32_t Count() const { return static_cast<uint32_t>(_items.size()); }

private:
    std::vector<NPVariant> _items;
};
