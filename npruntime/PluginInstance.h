#pragma once

#include "npapi/npruntime.h"
#include "npruntime/NPObjectPtr.h"

// One embedding of the plug-in in a page (kept in the instance's pdata). It
// creates the page's main scriptable object on first request and holds one
// reference to it until the instance is destroyed.
class PluginInstance {
public:
    explicit PluginInstance(NPP npp);
    ~PluginInstance();
    PluginInstance(const PluginInstance&) = delete;
    PluginInstance& operator=(const PluginInstance&) = delete;

    // The main scriptable object with a new reference for the caller, or null
    // when it cannot be created.
    NPObject* GetScriptableObject();

    NPP Npp() const { return _npp; }

private:
    NPP _npp;
    NPObjectPtr _scriptable;
};
