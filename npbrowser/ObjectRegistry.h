#pragma once

#include <cstdint>
#include <map>
#include <vector>

#include "npapi/npruntime.h"

// The browser side of object lifetimes: creation through the class's
// allocate, reference counts, deallocation at zero, and the list of objects
// still alive (for the leak report). Misuse by the plug-in (retaining or
// releasing an object that does not exist) is reported on stderr and counted.
class ObjectRegistry {
public:
    struct Leak {
        const NPObject* object;
        const NPClass* cls;
        uint32_t count;
    };

    ObjectRegistry() = default;
    ObjectRegistry(const ObjectRegistry&) = delete;
    ObjectRegistry& operator=(const ObjectRegistry&) = delete;

    NPObject* Create(NPP npp, NPClass* cls);
    NPObject* Retain(NPObject* object);
    void Release(NPObject* object);
    bool IsLive(const NPObject* object) const { return _live.count(object) != 0; }

    std::vector<Leak> Leaks() const;
    unsigned Misuses() const { return _misuses; }

private:
    std::map<const NPObject*, NPP> _live;
    unsigned _misuses = 0;
};
