#pragma once

#include <string>

#include "npapi/npfunctions.h"

// The plug-in shared library: loaded with dlopen, its entry points looked up
// by name, unloaded when the object goes.
class PluginLibrary {
public:
    PluginLibrary() = default;
    ~PluginLibrary();
    PluginLibrary(const PluginLibrary&) = delete;
    PluginLibrary& operator=(const PluginLibrary&) = delete;

    // Loads the library and fills the plug-in's function table through
    // NP_GetEntryPoints, stating tableSize bytes (0: the whole structure).
    // False with `error` set when anything is missing.
    bool Load(const std::string& path, std::string& error, unsigned tableSize = 0);

    NPError Initialize(NPNetscapeFuncs* browserFuncs) const { return _initialize(browserFuncs); }
    NPError Shutdown() const { return _shutdown(); }
    const NPPluginFuncs& Funcs() const { return _funcs; }

private:
    void* _handle = nullptr;
    NP_InitializeFunc _initialize = nullptr;
    NP_ShutdownFunc _shutdown = nullptr;
    NPPluginFuncs _funcs{};
};
