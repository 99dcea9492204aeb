#include "host/HostSession.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "host/ScriptEngine.h"
#include "host/ScriptObjectClass.h"
#include "npbrowser/Browser.h"
#include "npbrowser/EmbeddedInstance.h"
#include "npbrowser/PluginLibrary.h"

int HostSession::Run() {
    if (::access(_options.script.c_str(), R_OK) != 0) {
        std::fprintf(stderr, "pendrel-host: cannot read script %s: %s\n", _options.script.c_str(),
                     std::strerror(errno));
        return kSetupFailed;
    }
    PluginLibrary library;  // unloaded last, after every call into it
    // Kept from the start: a plug-in refused while loading stays mapped too.
    if (_options.keepPlugin) library.KeepLoaded();
    std::string error;
    if (!library.Load(_options.pluginPath, error, _options.pluginTableSize)) {
        std::fprintf(stderr, "pendrel-host: %s\n", error.c_str());
        return kSetupFailed;
    }
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
    EmbeddedInstance instance(library, browser);
    const NPError created = instance.Create("application/pendrelpdf");
    if (created != NPERR_NO_ERROR) {
        std::fprintf(stderr, "pendrel-host: NPP_New answered %d\n", created);
        return kSetupFailed;
    }

    int status = kSetupFailed;
    {
        ScriptEngine engine(browser, _options.args, PageLocation());
        NPError rc = NPERR_NO_ERROR;
        NPObject* scriptable = instance.Scriptable(rc);
        if (!engine.Ready()) {
            std::fprintf(stderr, "pendrel-host: cannot create the script engine\n");
        } else if (scriptable == nullptr) {
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
    instance.Destroy();
    return status;
}

std::string HostSession::PageLocation() const {
    if (!_options.location.empty()) return _options.location;
    std::string path = _options.script;
    if (char* real = ::realpath(_options.script.c_str(), nullptr)) {
        path = real;
        std::free(real);
    }
    return FileUrl(path);
}

std::string HostSession::FileUrl(const std::string& absolutePath) {
    // Bytes that may stand in a URL path as they are; the others are escaped.
    static const char kPlain[] = "-._~/!$&'()*+,;=:@";
    std::string url = "file://";
    for (const unsigned char c : absolutePath) {
        const bool alnum = (c >= '0' && c <= '9') || ((c | 0x20) >= 'a' && (c | 0x20) <= 'z');
        if (alnum || (c != 0 && std::strchr(kPlain, c) != nullptr)) {
            url += static_cast<char>(c);
        } else {
            char escaped[4];
            std::snprintf(escaped, sizeof escaped, "%%%02X", c);
            url += escaped;
        }
    }
    return url;
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
