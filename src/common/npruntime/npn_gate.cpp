// The browser services the plug-in calls, each through the engine's copy of
// the browser's function table. Without an engine, or when the browser's
// table lacks the entry, a call answers the failure value of its kind
// instead of jumping through a null pointer.

#include "common/npruntime/NPEngine.h"
#include "npapi/npfunctions.h"

namespace {

const NPNetscapeFuncs* Table() {
    const NPEngine* engine = NPEngine::Instance();
    return engine != nullptr ? &engine->Funcs() : nullptr;
}

}  // namespace

NPError NPN_GetValue(NPP instance, NPNVariable variable, void* value) {
    const NPNetscapeFuncs* t = Table();
    if (t == nullptr || t->getvalue == nullptr) return NPERR_GENERIC_ERROR;
    return t->getvalue(instance, variable, value);
}

NPError NPN_SetValue(NPP instance, NPPVariable variable, void* value) {
    const NPNetscapeFuncs* t = Table();
    if (t == nullptr || t->setvalue == nullptr) return NPERR_GENERIC_ERROR;
    return t->setvalue(instance, variable, value);
}

void* NPN_MemAlloc(uint32_t size) {
    const NPNetscapeFuncs* t = Table();
    if (t == nullptr || t->memalloc == nullptr) return nullptr;
    return t->memalloc(size);
}

void NPN_MemFree(void* ptr) {
    const NPNetscapeFuncs* t = Table();
    if (ptr != nullptr && t != nullptr && t->memfree != nullptr) t->memfree(ptr);
}

NPUTF8* NPN_UTF8FromIdentifier(NPIdentifier identifier) {
    const NPNetscapeFuncs* t = Table();
    if (t == nullptr || t->utf8fromidentifier == nullptr) return nullptr;
    return t->utf8fromidentifier(identifier);
}

NPObject* NPN_CreateObject(NPP npp, NPClass* aClass) {
    const NPNetscapeFuncs* t = Table();
    if (t == nullptr || t->createobject == nullptr) return nullptr;
    return t->createobject(npp, aClass);
}

NPObject* NPN_RetainObject(NPObject* npobj) {
    const NPNetscapeFuncs* t = Table();
    if (npobj == nullptr || t == nullptr || t->retainobject == nullptr) return npobj;
    return t->retainobject(npobj);
}

void NPN_ReleaseObject(NPObject* npobj) {
    const NPNetscapeFuncs* t = Table();
    if (npobj != nullptr && t != nullptr && t->releaseobject != nullptr) t->releaseobject(npobj);
}

void NPN_ReleaseVariantValue(NPVariant* variant) {
    const NPNetscapeFuncs* t = Table();
    if (variant != nullptr && t != nullptr && t->releasevariantvalue != nullptr)
        t->releasevariantvalue(variant);
}

NPIdentifier NPN_GetStringIdentifier(const NPUTF8* name) {
    const NPNetscapeFuncs* t = Table();
    if (name == nullptr || t == nullptr || t->getstringidentifier == nullptr) return nullptr;
    return t->getstringidentifier(name);
}

bool NPN_GetProperty(NPP npp, NPObject* npobj, NPIdentifier propertyName, NPVariant* result) {
    const NPNetscapeFuncs* t = Table();
    if (npobj == nullptr || propertyName == nullptr || result == nullptr || t == nullptr ||
        t->getproperty == nullptr)
        return false;
    return t->getproperty(npp, npobj, propertyName, result);
}
