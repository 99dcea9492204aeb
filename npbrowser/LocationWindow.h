#pragma once

#include <string>

#include "npapi/npruntime.h"

class ObjectRegistry;

// The window object of a page that runs no script of its own: `location` is
// an object whose `href` is the page's address. Both are read only; nothing
// else is offered.
class LocationWindow {
public:
    // A new window object (one reference) made in `objects`, which must
    // outlive it.
    static NPObject* Create(ObjectRegistry& objects, NPP npp, const std::string& href);
    static NPClass* Class();

private:
    struct Object;
    static bool HasProperty(NPObject* object, NPIdentifier name);
    static bool GetProperty(NPObject* object, NPIdentifier name, NPVariant* result);
};
