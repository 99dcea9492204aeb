#include "npbrowser/ObjectRegistry.h"

#include <cstdio>
#include <cstdlib>

#include "npbrowser/ProgramName.h"

NPObject* ObjectRegistry::Create(NPP npp, NPClass* cls) {
    if (cls == nullptr) return nullptr;
    NPObject* object = cls->allocate != nullptr ? cls->allocate(npp, cls)
                                                : static_cast<NPObject*>(std::calloc(1, sizeof(NPObject)));
    if (object == nullptr) return nullptr;
    object->_class = cls;
    object->referenceCount = 1;
    _live[object] = npp;
    return object;
}

NPObject* ObjectRegistry::Retain(NPObject* object) {
    if (object == nullptr) return nullptr;
    if (!IsLive(object)) {
        ++_misuses;
        std::fprintf(stderr, "%s: retain of object %p, which does not exist\n", ProgramName::Get(),
                     static_cast<void*>(object));
        return object;
    }
    ++object->referenceCount;
    return object;
}

void ObjectRegistry::Release(NPObject* object) {
    if (object == nullptr) return;
    if (!IsLive(object)) {
        ++_misuses;
        std::fprintf(stderr, "%s: release of object %p, which does not exist\n", ProgramName::Get(),
                     static_cast<void*>(object));
        return;
    }
    if (--object->referenceCount > 0) return;
    // Forget it first: deallocation may release further objects.
    _live.erase(object);
    NPClass* cls = object->_class;
    if (cls != nullptr && cls->deallocate != nullptr) {
        cls->deallocate(object);
    } else {
        std::free(object);
    }
}

std::vector<ObjectRegistry::Leak> ObjectRegistry::Leaks() const {
    std::vector<Leak> leaks;
    for (const auto& [object, npp] : _live) {
        (void)npp;
        leaks.push_back(Leak{object, object->_class, object->referenceCount});
    }
    return leaks;
}
