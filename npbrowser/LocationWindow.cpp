#include "npbrowser/LocationWindow.h"

#include <cstdlib>
#include <cstring>

#include "npbrowser/CallGuard.h"
#include "npbrowser/IdentifierTable.h"
#include "npbrowser/ObjectRegistry.h"

// One class for both objects: the window holds its location object, the
// location holds the address.
struct LocationWindow::Object : NPObject {
    ObjectRegistry* objects = nullptr;
    NPObject* location = nullptr;  // set on the window only
    std::string href;
};

NPObject* LocationWindow::Create(ObjectRegistry& objects, NPP npp, const std::string& href) {
    NPObject* location = objects.Create(npp, Class());
    if (location == nullptr) return nullptr;
    NPObject* window = objects.Create(npp, Class());
    if (window == nullptr) {
        objects.Release(location);
        return nullptr;
    }
    auto* l = static_cast<Object*>(location);
    l->objects = &objects;
    l->href = href;
    auto* w = static_cast<Object*>(window);
    w->objects = &objects;
    w->location = location;
    return window;
}

bool LocationWindow::HasProperty(NPObject* object, NPIdentifier name) {
    const auto* self = static_cast<Object*>(object);
    if (!IdentifierTable::IsString(name)) return false;
    return IdentifierTable::Name(name) == (self->location != nullptr ? "location" : "href");
}

bool LocationWindow::GetProperty(NPObject* object, NPIdentifier name, NPVariant* result) {
    VOID_TO_NPVARIANT(*result);
    if (!HasProperty(object, name)) return false;
    auto* self = static_cast<Object*>(object);
    if (self->location != nullptr) {
        OBJECT_TO_NPVARIANT(self->objects->Retain(self->location), *result);
        return true;
    }
    // The plug-in frees the text with NPN_MemFree (the C heap).
    auto* copy = static_cast<NPUTF8*>(std::malloc(self->href.size() + 1));
    if (copy == nullptr) return false;
    std::memcpy(copy, self->href.c_str(), self->href.size() + 1);
    STRINGN_TO_NPVARIANT(copy, static_cast<uint32_t>(self->href.size()), *result);
    return true;
}

NPClass* LocationWindow::Class() {
    static NPClass cls = {
        NP_CLASS_STRUCT_VERSION,
        [](NPP, NPClass*) -> NPObject* {
            return CallGuard("LocationWindow allocate", static_cast<NPObject*>(nullptr),
                             []() -> NPObject* { return new Object(); });
        },
        [](NPObject* object) {
            auto* self = static_cast<Object*>(object);
            if (self->location != nullptr) self->objects->Release(self->location);
            delete self;
        },
        nullptr,
        [](NPObject*, NPIdentifier) -> bool { return false; },
        [](NPObject*, NPIdentifier, const NPVariant*, uint32_t, NPVariant*) -> bool { return false; },
        [](NPObject*, const NPVariant*, uint32_t, NPVariant*) -> bool { return false; },
        [](NPObject* o, NPIdentifier n) -> bool {
            return CallGuard("hasProperty", false, [&] { return HasProperty(o, n); });
        },
        [](NPObject* o, NPIdentifier n, NPVariant* r) -> bool {
            return CallGuard("getProperty", false, [&] { return GetProperty(o, n, r); });
        },
        [](NPObject*, NPIdentifier, const NPVariant*) -> bool { return false; },
        [](NPObject*, NPIdentifier) -> bool { return false; },
        nullptr,
        nullptr,
    };
    return &cls;
}
