// The per-instance callbacks of the browser. The plug-in draws nothing and
// takes no events or streams: an instance only negotiates the Cocoa event
// model and the Core Graphics drawing model and hands out the scriptable
// object. Each callback is a boundary with the browser: nothing is thrown
// out of it.

#include "npruntime/npp_gate.h"

#include <memory>

#include "common/Logger.h"
#include "common/npruntime/Base.h"
#include "npapi/npfunctions.h"
#include "npruntime/PluginIdentity.h"
#include "npruntime/PluginInstance.h"

namespace {

void Log(const char* func, const char* message) {
    Logger::Get()->SetFunc(func);
    Logger::Get()->Log("%s", message);
}

// Asks the browser a yes/no question. The answer lands in a zeroed buffer
// wider than NPBool: a browser that writes a wider boolean writes into it
// rather than over the stack.
bool BrowserSupports(NPP instance, NPNVariable variable) {
    alignas(8) NPBool answer[8] = {};
    return NPN_GetValue(instance, variable, answer) == NPERR_NO_ERROR && answer[0] != 0;
}

// Negotiates the models with the browser: 0, or 8 when it lacks one of them.
NPError SelectModels(NPP instance) {
    if (!BrowserSupports(instance, NPNVsupportsCocoaBool)) {
        Log("NPP_New", "Browser does not support Cocoa event model!");
        return NPERR_INCOMPATIBLE_VERSION_ERROR;
    }
    if (NPN_SetValue(instance, NPPVpluginEventModel, reinterpret_cast<void*>(NPEventModelCocoa)) !=
        NPERR_NO_ERROR) {
        Log("NPP_New", "Failed to set event model!");
        return NPERR_INCOMPATIBLE_VERSION_ERROR;
    }
    Log("NPP_New", "Cocoa event model selected");
    if (!BrowserSupports(instance, NPNVsupportsCoreGraphicsBool)) {
        Log("NPP_New", "Browser does not support Core Graphiscs drawing model!");
        return NPERR_INCOMPATIBLE_VERSION_ERROR;
    }
    Log("NPP_New", "Setting Core Graphics drawing model!");
    if (NPN_SetValue(instance, NPPVpluginDrawingModel, reinterpret_cast<void*>(NPDrawingModelCoreGraphics)) !=
        NPERR_NO_ERROR) {
        Log("NPP_New", "Failed to set drawing model!");
        return NPERR_INCOMPATIBLE_VERSION_ERROR;
    }
    Log("NPP_New", "Core Graphics drawing model selected!");
    return NPERR_NO_ERROR;
}

PluginInstance* InstanceOf(NPP instance) {
    return static_cast<PluginInstance*>(instance->pdata);
}

}  // namespace

const char* NPP_GetMIMEDescription() {
    Log("NPP_GetMIMEDescription", "Entering function");
    return PluginIdentity::kMimeDescription;
}

NPError NPP_New(NPMIMEType, NPP instance, uint16_t, int16_t, char*[], char*[], NPSavedData*) {
    try {
        Log("NPP_New", "Entering function");
        if (instance == nullptr) return NPERR_INVALID_INSTANCE_ERROR;
        const NPError models = SelectModels(instance);
        if (models != NPERR_NO_ERROR) return models;
        instance->pdata = std::make_unique<PluginInstance>(instance).release();  // NPP_Destroy deletes it
        return NPERR_NO_ERROR;
    } catch (const std::bad_alloc&) {
        Base::LogCurrentException("NPP_New");
        return NPERR_OUT_OF_MEMORY_ERROR;
    } catch (...) {
        Base::LogCurrentException("NPP_New");
        return NPERR_GENERIC_ERROR;
    }
}

NPError NPP_Destroy(NPP instance, NPSavedData** save) {
    if (instance == nullptr) return NPERR_INVALID_INSTANCE_ERROR;
    if (save != nullptr) *save = nullptr;
    try {
        const std::unique_ptr<PluginInstance> owned(InstanceOf(instance));
        instance->pdata = nullptr;
    } catch (...) {
        Base::LogCurrentException("NPP_Destroy");
    }
    return NPERR_NO_ERROR;
}

NPError NPP_SetWindow(NPP instance, NPWindow* window) {
    try {
        Log("NPP_SetWindow", "Entering function");
        if (instance == nullptr) return NPERR_INVALID_INSTANCE_ERROR;
        if (window == nullptr) return NPERR_GENERIC_ERROR;
        Logger::Get()->SetFunc("NPP_SetWindow");
        Logger::Get()->Log("Type is %d", static_cast<int>(window->type));
        Logger::Get()->SetFunc("NPP_SetWindow");
        Logger::Get()->Log("NP_CGContext->window is %p", window->window);
        if (window->window != nullptr) {
            Logger::Get()->SetFunc("NPP_SetWindow");
            Logger::Get()->Log("WindowRef is %p", static_cast<NP_CGContext*>(window->window)->window);
        }
    } catch (...) {
        Base::LogCurrentException("NPP_SetWindow");
    }
    return NPERR_NO_ERROR;
}

NPError NPP_NewStream(NPP instance, NPMIMEType, NPStream*, NPBool, uint16_t*) {
    return instance == nullptr ? NPERR_INVALID_INSTANCE_ERROR : NPERR_NO_ERROR;
}

NPError NPP_DestroyStream(NPP instance, NPStream*, NPReason) {
    return instance == nullptr ? NPERR_INVALID_INSTANCE_ERROR : NPERR_NO_ERROR;
}

int32_t NPP_WriteReady(NPP instance, NPStream*) {
    return instance == nullptr ? NPERR_INVALID_INSTANCE_ERROR : 0x0FFFFFFF;
}

int32_t NPP_Write(NPP instance, NPStream*, int32_t, int32_t len, void*) {
    return instance == nullptr ? NPERR_INVALID_INSTANCE_ERROR : len;
}

void NPP_StreamAsFile(NPP, NPStream*, const char*) {}

void NPP_Print(NPP, NPPrint*) {}

int16_t NPP_HandleEvent(NPP, void*) {
    return 0;
}

void NPP_URLNotify(NPP, const char*, NPReason, void*) {}

NPError NPP_SetValue(NPP instance, NPNVariable, void*) {
    return instance == nullptr ? NPERR_INVALID_INSTANCE_ERROR : NPERR_NO_ERROR;
}

NPError NPP_GetValue(NPP instance, NPPVariable variable, void* value) {
    if (instance == nullptr) return NPERR_INVALID_INSTANCE_ERROR;
    PluginInstance* plugin = InstanceOf(instance);
    if (plugin == nullptr || value == nullptr) return NPERR_GENERIC_ERROR;
    try {
        switch (variable) {
            case NPPVpluginNameString:
                *static_cast<const char**>(value) = PluginIdentity::kName;
                return NPERR_NO_ERROR;
            case NPPVpluginDescriptionString:
                *static_cast<const char**>(value) = PluginIdentity::kDescription;
                return NPERR_NO_ERROR;
            case NPPVpluginScriptableNPObject: {
                NPObject* object = plugin->GetScriptableObject();
                *static_cast<NPObject**>(value) = object;
                return object != nullptr ? NPERR_NO_ERROR : NPERR_GENERIC_ERROR;
            }
            case NPPVpluginDrawingModel:
                *static_cast<int32_t*>(value) = NPDrawingModelCoreGraphics;
                Log("NPP_GetValue", "Asked for drawing model... sending NPDrawingModelCoreGraphics ");
                return NPERR_NO_ERROR;
            case NPPVpluginEventModel:
                *static_cast<int32_t*>(value) = NPEventModelCocoa;
                Log("NPP_GetValue", "Asked for event model.. sending NPEventModelCocoa");
                return NPERR_NO_ERROR;
            default:
                return NPERR_GENERIC_ERROR;
        }
    } catch (...) {
        Base::LogCurrentException("NPP_GetValue");
        return NPERR_GENERIC_ERROR;
    }
}
