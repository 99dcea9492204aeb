#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <set>
#include <string>

#include "npapi/npfunctions.h"

namespace TestSupport {

// The browser side of the plug-in boundary inside a test program: a complete
// function table over interned identifiers, counted browser memory and
// reference-counted objects, and answers to the event and drawing model
// questions that a test chooses. One browser at a time (the table's C
// callbacks reach the current one).
class FakeBrowser {
public:
    enum class Answer { Yes, No, Error };

    FakeBrowser();
    ~FakeBrowser();
    FakeBrowser(const FakeBrowser&) = delete;
    FakeBrowser& operator=(const FakeBrowser&) = delete;

    // Every entry set; size = sizeof(NPNetscapeFuncs), version 0.25.
    static NPNetscapeFuncs Table();

    NPIdentifier StringId(const std::string& name);
    NPIdentifier IntId(int32_t value);

    // Browser memory blocks handed out and not yet freed.
    int OpenAllocations() const { return static_cast<int>(_blocks.size()); }
    // Objects alive (created and not yet deallocated) and their counts.
    int LiveObjects() const { return static_cast<int>(_objects.size()); }
    uint32_t Count(NPObject* object) const;

    // How NPN_GetValue answers "supports Cocoa" / "supports Core Graphics",
    // and whether NPN_SetValue accepts the event / drawing model.
    Answer cocoa = Answer::Yes;
    Answer coreGraphics = Answer::Yes;
    bool acceptEventModel = true;
    bool acceptDrawingModel = true;
    // What NPN_SetValue was given, by variable.
    std::map<int, intptr_t> values;

    // What NPN_GetValue(NPNVWindowNPObject) gives: no window object (as a
    // browser whose page is its own script), a window whose location has
    // the text `href`, a window without a location object, or one whose
    // location's href is not text. The window, its location and the href
    // text are browser objects and memory: they count as live until released.
    enum class Window { None, WithHref, NoLocation, HrefNotText };
    Window window = Window::None;
    std::string href;
    // How often the plug-in asked for the window object.
    int windowRequests = 0;

    NPP Instance() { return &_npp; }

private:
    static FakeBrowser* Current();
    static NPError GetValue(NPP, NPNVariable variable, void* value);
    static NPError SetValue(NPP, NPPVariable variable, void* value);
    static void* MemAlloc(uint32_t size);
    static void MemFree(void* ptr);
    static NPIdentifier GetStringIdentifier(const NPUTF8* name);
    static void GetStringIdentifiers(const NPUTF8** names, int32_t count, NPIdentifier* ids);
    static NPIdentifier GetIntIdentifier(int32_t value);
    static bool IdentifierIsString(NPIdentifier id);
    static NPUTF8* UTF8FromIdentifier(NPIdentifier id);
    static int32_t IntFromIdentifier(NPIdentifier id);
    static NPObject* CreateObject(NPP npp, NPClass* cls);
    static NPObject* RetainObject(NPObject* object);
    static void ReleaseObject(NPObject* object);
    static void ReleaseVariantValue(NPVariant* variant);
    static bool GetProperty(NPP npp, NPObject* object, NPIdentifier name, NPVariant* result);
    static NPError GetValueForURL(NPP, NPNURLVariable, const char*, char**, uint32_t*);
    static NPError SetValueForURL(NPP, NPNURLVariable, const char*, const char*, uint32_t);

    NPP_t _npp{};
    std::set<void*> _blocks;
    std::set<NPObject*> _objects;
    std::set<std::string> _names;      // string identifiers point into these
    std::map<int32_t, int32_t> _ints;  // integer identifiers point at these values
};

}  // namespace TestSupport
