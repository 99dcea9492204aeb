#include "host/HostSession.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "host/Browser.h"
#include "host/PluginLibrary.h"
#include "host/ScriptEngine.h"
#include "host/ScriptObjectClass.h"

int HostSession::Run() {
    if (::access(_options.script.c_str(), R_OK) != 0) {
        std::fprintf(stderr, "pendrel-host: cannot read script %s: %s\n", _options.script.c_str(),
                     std::strerror(errno));
        return kSetupFailed;
    }
    PluginLibrary library;  // unloaded last, after every call into it
    std::string error;
    if (!library.Load(_options.pluginPath, error, _options.pluginTableSize)) {
        std::fprintf(stderr, "pendrel-host: %s\n", error.c_str());
        return kSetupFailed;
    }
    if (_options.keepPlugin) library.KeepLoaded();
    Browser browser(_options);
    // The table in a buffer that holds whatever size it claims; bytes beyond
    // the structure are zero.
    std::vector<unsigned char> buffer(std::max<size_t>(sizeof(NPNetscapeFuncs), _options.browserTableSize),
                                      0);
    NPNetscapeFuncs table = Browser::FunctionTable();
    if (_options.browserTableSize != 0) table.size = static_cast<uint16_t>(_options.browserTableSize);
    std::memcpy(buffer.data(), &table, sizeof table);
    const NPError rc = library.Initialize(reinterpret_cast<NPNetscapeFuncs*>(buffer.data()));
    if (rc != NPERR_NO_ERROR) {
        std::fprintf(stderr, "pendrel-host: NP_Initialize answered %d\n", rc);
        return kSetupFailed;
    }
    const int status = RunInstance(library, browser);
    library.Shutdown();
    ReportLeaks(browser);
    return status;
}

int HostSession::RunInstance(const PluginLibrary& library, Browser& browser) {
    const NPPluginFuncs& funcs = library.Funcs();
    NPP npp = browser.Instance();
    char mimeType[] = "application/pendrelpdf";
    char typeName[] = "type";
    char* argn[] = {typeName};
    char* argv[] = {mimeType};
    const NPError created = funcs.newp(mimeType, npp, NP_EMBED, 1, argn, argv, nullptr);
    if (created != NPERR_NO_ERROR) {
        std::fprintf(stderr, "pendrel-host: NPP_New answered %d\n", created);
        return kSetupFailed;
    }

    NP_CGContext cgContext{};
    NPWindow window{};
    window.window = &cgContext;
    window.width = 1;
    window.height = 1;
    window.clipRect = NPRect{0, 0, 1, 1};
    window.type = NPWindowTypeDrawable;
    if (funcs.setwindow != nullptr) {
        const NPError rc = funcs.setwindow(npp, &window);
        if (rc != NPERR_NO_ERROR) std::fprintf(stderr, "pendrel-host: NPP_SetWindow answered %d\n", rc);
    }

    int status = kSetupFailed;
    {
        ScriptEngine engine(browser, _options.args);
        NPObject* scriptable = nullptr;
        const NPError rc = funcs.getvalue(npp, NPPVpluginScriptableNPObject, &scriptable);
        if (!engine.Ready()) {
            std::fprintf(stderr, "pendrel-host: cannot create the script engine\n");
        } else if (rc != NPERR_NO_ERROR || scriptable == nullptr) {
            std::fprintf(stderr,
                         "pendrel-host: the plug-in offers no scriptable object (NPP_GetValue answered %d)\n",
                         rc);
        } else if (!engine.SetPlugin(scriptable)) {
            std::fprintf(stderr, "pendrel-host: cannot hand the scriptable object to the script\n");
        } else {
            status = engine.Run(_options.script);
        }
        if (scriptable != nullptr)
            browser.Objects().Release(scriptable);  // the script's wrapper holds its own
        browser.RunAsyncCalls();
        engine.Close();
    }

    NPSavedData* saved = nullptr;
    funcs.destroy(npp, &saved);
    if (saved != nullptr) {
        std::free(saved->buf);
        std::free(saved);
    }
    return status;
}

void HostSession::ReportLeaks(const Browser& browser) const {
    const unsigned misuses = browser.Objects().Misuses();
    if (misuses > 0)
        std::fprintf(stderr, "pendrel-host: %u retain or release call(s) on objects that did not exist\n",
                     misuses);
    if (!_options.reportLeaks) return;
    const auto leaks = browser.Objects().Leaks();
    for (const auto& leak : leaks) {
        std::fprintf(stderr, "pendrel-host: leaked %s object %p, reference count %u\n",
                     leak.cls == ScriptObjectClass::Class() ? "script" : "plug-in",
                     static_cast<const void*>(leak.object), leak.count);
    }
    std::fprintf(stderr, "pendrel-host: %zu leaked object(s)\n", leaks.size());
}
