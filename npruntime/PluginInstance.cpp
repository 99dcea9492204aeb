#include "npruntime/PluginInstance.h"

#include "common/Logger.h"
#include "npruntime/NPPendrelPDF.h"

PluginInstance::PluginInstance(NPP npp) : _npp(npp) {}

PluginInstance::~PluginInstance() {
    if (_scriptable != nullptr) NPN_ReleaseObject(_scriptable);
}

NPObject* PluginInstance::GetScriptableObject() {
    Logger::Get()->SetFunc("GetScriptableObject");
    Logger::Get()->Log("Entering function");
    if (_scriptable == nullptr) _scriptable = NPN_CreateObject(_npp, &sNPPendrelPDF_NPClass);
    if (_scriptable != nullptr) NPN_RetainObject(_scriptable);
    return _scriptable;
}
