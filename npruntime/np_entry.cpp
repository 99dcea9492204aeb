// The library's exported entry points: the browser fetches the plug-in's
// callbacks, initialises the plug-in with its own function table and shuts
// it down when the library is no longer needed.

#include <cstddef>
#include <ctime>
#include <string>

#include "common/Logger.h"
#include "common/MsgLoaderBase.h"
#include "common/MsgLoaderFile.h"
#include "common/WorkerThreads.h"
#include "common/npruntime/Base.h"
#include "common/npruntime/NPEngine.h"
#include "common/posix/SharedObject.h"
#include "gtk/CRLProgressDialogGtk.h"
#include "gtk/SecretPromptGtk.h"
#include "npapi/npfunctions.h"
#include "npruntime/PluginIdentity.h"
#include "npruntime/npp_gate.h"

namespace {

constexpr uint16_t kMinimumPluginFuncsSize = 116;

// Stores a callback only when its slot lies wholly inside the table the
// browser declared: a short table has no room for the later slots.
template <typename Field>
void Put(NPPluginFuncs* funcs, Field NPPluginFuncs::*slot, Field value) {
    const size_t end =
        reinterpret_cast<const char*>(&(funcs->*slot)) - reinterpret_cast<const char*>(funcs) + sizeof(Field);
    if (end <= funcs->size) funcs->*slot = value;
}

}  // namespace

NPError NP_GetEntryPoints(NPPluginFuncs* funcs) {
    if (funcs == nullptr || funcs->size < kMinimumPluginFuncsSize) return NPERR_INVALID_FUNCTABLE_ERROR;
    funcs->version = (NP_VERSION_MAJOR << 8) | NP_VERSION_MINOR;
    Put(funcs, &NPPluginFuncs::newp, &NPP_New);
    Put(funcs, &NPPluginFuncs::destroy, &NPP_Destroy);
    Put(funcs, &NPPluginFuncs::setwindow, &NPP_SetWindow);
    Put(funcs, &NPPluginFuncs::newstream, &NPP_NewStream);
    Put(funcs, &NPPluginFuncs::destroystream, &NPP_DestroyStream);
    Put(funcs, &NPPluginFuncs::asfile, &NPP_StreamAsFile);
    Put(funcs, &NPPluginFuncs::writeready, &NPP_WriteReady);
    Put(funcs, &NPPluginFuncs::write, &NPP_Write);
    Put(funcs, &NPPluginFuncs::print, &NPP_Print);
    Put(funcs, &NPPluginFuncs::event, &NPP_HandleEvent);
    Put(funcs, &NPPluginFuncs::urlnotify, &NPP_URLNotify);
    Put(funcs, &NPPluginFuncs::javaClass, static_cast<void*>(nullptr));
    Put(funcs, &NPPluginFuncs::getvalue, &NPP_GetValue);
    Put(funcs, &NPPluginFuncs::setvalue, &NPP_SetValue);
    return NPERR_NO_ERROR;
}

NPError NP_Initialize(NPNetscapeFuncs* browserFuncs) {
    try {
        Logger::Init();
        char now[64] = "";
        const std::time_t t = std::time(nullptr);
        if (::ctime_r(&t, now) == nullptr) now[0] = '\0';
        Logger::Get()->SetFunc("NP_Initialize");
        Logger::Get()->Log("\n\n%s", std::string(80, '-').c_str());
        Logger::Get()->SetFunc("NP_Initialize");
        Logger::Get()->Log(" *** Starting new %s %s instance at %s", PluginIdentity::kProductName,
                           PluginIdentity::kVersion, now);
        if (!NPEngine::Init(browserFuncs)) return NPERR_INVALID_FUNCTABLE_ERROR;
        MsgLoaderFile::Instance();
        CRLProgressDialogGtk::Install();
        SecretPromptGtk::Install();
        return NPERR_NO_ERROR;
    } catch (...) {
        Base::LogCurrentException("NP_Initialize");
        return NPERR_GENERIC_ERROR;
    }
}

NPError NP_Shutdown() {
    try {
        // The browser unloads the library after this call: a download worker
        // left running by a cancel must end first. One that does not end in
        // time keeps the library loaded, and the log it may still write to.
        const std::size_t running = WorkerThreads::Instance().EndAll(WorkerThreads::kShutdownWait);
        if (running > 0) {
            Logger::Get()->SetFunc("NP_Shutdown");
            Logger::Get()->Log("%zu download worker(s) still running", running);
            Util::KeepLoaded(reinterpret_cast<const void*>(&NP_Shutdown));
        }
        MsgLoaderBase::Release();
        Logger::Get()->SetFunc("NP_Shutdown");
        Logger::Get()->Log("Ending instance%s\n\n", std::string(65, '-').c_str());
        if (running == 0) Logger::Release();
    } catch (...) {
        Base::LogCurrentException("NP_Shutdown");
    }
    return NPERR_NO_ERROR;
}

const char* NP_GetMIMEDescription() {
    try {
        return NPP_GetMIMEDescription();
    } catch (...) {
        Base::LogCurrentException("NP_GetMIMEDescription");
        return PluginIdentity::kMimeDescription;
    }
}
