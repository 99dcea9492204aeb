#include "npbrowser/EmbeddedInstance.h"

#include <cstdio>
#include <cstdlib>
#include <string>

#include "npbrowser/Browser.h"
#include "npbrowser/PluginLibrary.h"
#include "npbrowser/ProgramName.h"

NPError EmbeddedInstance::Create(const char* mimeType) {
    const NPPluginFuncs& funcs = _library.Funcs();
    NPP npp = _browser.Instance();
    std::string type = mimeType;
    char typeName[] = "type";
    char* argn[] = {typeName};
    char* argv[] = {type.data()};
    const NPError created = funcs.newp(type.data(), npp, NP_EMBED, 1, argn, argv, nullptr);
    if (created != NPERR_NO_ERROR) return created;
    _created = true;

    _window = NPWindow{};
    _window.window = &_context;
    _window.width = 1;
    _window.height = 1;
    _window.clipRect = NPRect{0, 0, 1, 1};
    _window.type = NPWindowTypeDrawable;
    if (funcs.setwindow != nullptr) {
        const NPError rc = funcs.setwindow(npp, &_window);
        if (rc != NPERR_NO_ERROR)
            std::fprintf(stderr, "%s: NPP_SetWindow answered %d\n", ProgramName::Get(), rc);
    }
    return NPERR_NO_ERROR;
}

NPObject* EmbeddedInstance::Scriptable(NPError& rc) {
    NPObject* scriptable = nullptr;
    rc = _library.Funcs().getvalue(_browser.Instance(), NPPVpluginScriptableNPObject, &scriptable);
    if (rc != NPERR_NO_ERROR && scriptable != nullptr) {
        _browser.Objects().Release(scriptable);
        scriptable = nullptr;
    }
    return scriptable;
}

void EmbeddedInstance::Destroy() {
    if (!_created) return;
    _created = false;
    NPSavedData* saved = nullptr;
    _library.Funcs().destroy(_browser.Instance(), &saved);
    if (saved != nullptr) {
        std::free(saved->buf);
        std::free(saved);
    }
}
