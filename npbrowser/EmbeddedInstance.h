#pragma once

#include "npapi/npfunctions.h"

class Browser;
class PluginLibrary;

// The one plug-in instance a browser embeds, in a 1x1 drawable window. The
// instance is destroyed (its saved data freed) by Destroy or when the object
// goes; the library must outlive it.
class EmbeddedInstance {
public:
    EmbeddedInstance(const PluginLibrary& library, Browser& browser) : _library(library), _browser(browser) {}
    ~EmbeddedInstance() { Destroy(); }
    EmbeddedInstance(const EmbeddedInstance&) = delete;
    EmbeddedInstance& operator=(const EmbeddedInstance&) = delete;

    // NPP_New for `mimeType` (as the embed's type attribute), then
    // NPP_SetWindow; answers what NPP_New answered. A refused window is
    // reported on standard error.
    NPError Create(const char* mimeType);
    // The instance's scriptable object (a new reference), or null with `rc`
    // set to what NPP_GetValue answered.
    NPObject* Scriptable(NPError& rc);
    void Destroy();
    bool Created() const { return _created; }

private:
    const PluginLibrary& _library;
    Browser& _browser;
    NP_CGContext _context{};
    NPWindow _window{};
    bool _created = false;
};
