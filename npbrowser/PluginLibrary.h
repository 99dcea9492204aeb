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

    // Where the plug-in normally lies: libpendrelpdf.so beside the running
    // program (the bare name when the program's path cannot be read).
    static std::string BesideProgram();

    // Loads the library and fills the plug-in's function table through
    // NP_GetEntryPoints, stating tableSize bytes (0: the whole structure).
    // False with `error` set when anything is missing.
    bool Load(const std::string& path, std::string& error, unsigned tableSize = 0);
    // Leaves the library mapped when the object goes (for leak reports at exit).
    void KeepLoaded() { _keep = true; }

    NPError Initialize(NPNetscapeFuncs* browserFuncs) const { return _initialize(browserFuncs); }
    NPError Shutdown() const { return _shutdown(); }
    const NPPluginFuncs& Funcs() const { return _funcs; }

private:
    void* _handle = nullptr;
    NP_InitializeFunc _initialize = nullptr;
    NP_ShutdownFunc _shutdown = nullptr;
    NPPluginFuncs _funcs{};
    bool _keep = false;
};
