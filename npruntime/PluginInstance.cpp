#include "npruntime/PluginInstance.h"

#include "common/Logger.h"
#include "npruntime/NPPendrelPDF.h"

PluginInstance::PluginInstance(NPP npp) : _npp(npp) {}

PluginInstance::~PluginInstance() = default;

NPObject* PluginInstance::GetScriptableObject() {
    Logger::Get()->SetFunc("GetScriptableObject");
    Logger::Get()->Log("Entering function");
    if (!_scriptable) _scriptable = NPObjectPtr::Adopt(NPN_CreateObject(_npp, &sNPPendrelPDF_NPClass));
    return _scriptable.Share();
}
