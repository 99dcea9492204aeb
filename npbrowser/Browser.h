#pragma once

#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "npapi/npfunctions.h"
#include "npbrowser/BrowserOptions.h"
#include "npbrowser/IdentifierTable.h"
#include "npbrowser/ObjectRegistry.h"
#include "npbrowser/Page.h"

// The browser side of NPAPI: the function table handed to NP_Initialize and
// the state behind it (objects, identifiers, the one instance, exceptions
// set by the plug-in, the page it shows). The table's functions are plain C callbacks without a
// context argument, so the one Browser of the process is reachable through
// Current() while it exists.
class Browser {
public:
    explicit Browser(const BrowserOptions& options);
    ~Browser();
    Browser(const Browser&) = delete;
    Browser& operator=(const Browser&) = delete;

    static Browser* Current();

    // A complete table: every entry is set; size = sizeof(NPNetscapeFuncs).
    static NPNetscapeFuncs FunctionTable();

    NPP Instance() { return &_instance; }
    ObjectRegistry& Objects() { return _objects; }
    const ObjectRegistry& Objects() const { return _objects; }
    IdentifierTable& Identifiers() { return _identifiers; }
    // The page the plug-in sees (its window object); null: none.
    void SetPage(Page* page) { _page = page; }
    Page* CurrentPage() const { return _page; }

    // The message of the last NPN_SetException since the last call, if any.
    bool TakeException(std::string& message);
    // How a call into a plug-in object ended, as a page's script sees it: the
    // exception the plug-in set wins; a call it answered false fails with a
    // text naming `what` failed on `name` ("calling method 'sign' of a
    // plug-in object failed"). Empty when the call worked.
    std::string CallFailure(bool ok, const std::string& what, const std::string& name);
    // Runs the calls queued by NPN_PluginThreadAsyncCall.
    void RunAsyncCalls();

    // Releases a variant's string or object and makes it void.
    static void ReleaseVariant(NPVariant& variant);

private:
    static NPError GetValue(NPP instance, NPNVariable variable, void* value);
    static NPError SetValue(NPP instance, NPPVariable variable, void* value);
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
    static bool Invoke(NPP npp, NPObject* object, NPIdentifier name, const NPVariant* args, uint32_t count,
                       NPVariant* result);
    static bool InvokeDefault(NPP npp, NPObject* object, const NPVariant* args, uint32_t count,
                              NPVariant* result);
    static bool Evaluate(NPP npp, NPObject* object, NPString* script, NPVariant* result);
    static bool GetProperty(NPP npp, NPObject* object, NPIdentifier name, NPVariant* result);
    static bool SetProperty(NPP npp, NPObject* object, NPIdentifier name, const NPVariant* value);
    static bool RemoveProperty(NPP npp, NPObject* object, NPIdentifier name);
    static bool HasProperty(NPP npp, NPObject* object, NPIdentifier name);
    static bool HasMethod(NPP npp, NPObject* object, NPIdentifier name);
    static void ReleaseVariantValue(NPVariant* variant);
    static void SetException(NPObject* object, const NPUTF8* message);
    static bool Enumerate(NPP npp, NPObject* object, NPIdentifier** ids, uint32_t* count);
    static void PluginThreadAsyncCall(NPP instance, void (*func)(void*), void* userData);
    static bool Construct(NPP npp, NPObject* object, const NPVariant* args, uint32_t count,
                          NPVariant* result);

    // An object the plug-in hands back must be alive; a dead one is reported.
    static bool Usable(NPObject* object);
    static NPError Answer(BrowserOptions::Answer answer, void* value);

    BrowserOptions::Answer _cocoa;
    BrowserOptions::Answer _coreGraphics;
    NPP_t _instance{};
    ObjectRegistry _objects;
    IdentifierTable _identifiers;
    Page* _page = nullptr;
    bool _hasException = false;
    std::string _exception;
    std::mutex _asyncMutex;
    std::vector<std::pair<void (*)(void*), void*>> _asyncCalls;
    int _eventModel = NPEventModelCarbon;
    int _drawingModel = NPDrawingModelQuickDraw;

    static Browser* _current;
};
