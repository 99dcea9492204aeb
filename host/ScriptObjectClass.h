#pragma once

#include <duktape.h>

#include "npapi/npruntime.h"

class ScriptEngine;

// The host's own class: script values (plain objects, arrays, functions, the
// global object) handed to the plug-in. The plug-in reaches them through the
// browser's scripting calls, which act on the script value; while the
// plug-in holds one, the value is kept in the heap's stash and passing it
// again gives the same object.
class ScriptObjectClass {
public:
    // Stash property holding the values the plug-in holds, by key.
    static constexpr const char* kStashKey = "hostobjects";

    static NPClass* Class();
    // The object for the script value at `index`: a new reference.
    static NPObject* ObjectFor(ScriptEngine& engine, duk_idx_t index);
    // Pushes the script value behind an object of this class (undefined once
    // the page is closed).
    static bool Push(ScriptEngine& engine, const NPObject* object);

private:
    struct Object;

    static void Forget(ScriptEngine& e, Object* object);
    static bool PushKey(ScriptEngine& e, NPIdentifier id);
    static bool HasMethod(ScriptEngine& e, Object* object, NPIdentifier name);
    // mode 0: call the member `name`; 1: call the value itself; 2: construct.
    static bool Invoke(ScriptEngine& e, Object* object, NPIdentifier name, const NPVariant* args,
                       uint32_t count, NPVariant* result, int mode);
    static bool HasProperty(ScriptEngine& e, Object* object, NPIdentifier name);
    static bool GetProperty(ScriptEngine& e, Object* object, NPIdentifier name, NPVariant* result);
    static bool SetProperty(ScriptEngine& e, Object* object, NPIdentifier name, const NPVariant* value);
    static bool RemoveProperty(ScriptEngine& e, Object* object, NPIdentifier name);
    static bool Enumerate(ScriptEngine& e, Object* object, NPIdentifier** ids, uint32_t* count);
};
