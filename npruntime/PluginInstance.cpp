#include "npruntime/PluginInstance.h"

#include "common/Logger.h"
#include "crypto/openssl/KeySession.h"
#include "npruntime/NPPendrelPDF.h"
#include "npruntime/PageLocation.h"

PluginInstance::PluginInstance(NPP npp)
    : _npp(npp), _origin(PageLocation::Origin(npp)), _keys(std::make_shared<Crypto::KeySession>()) {}

PageOrigin PluginInstance::OriginOf(NPP npp) {
    if (npp != nullptr && npp->pdata != nullptr) return static_cast<PluginInstance*>(npp->pdata)->Origin();
    return PageOrigin();
}

std::shared_ptr<Crypto::KeySession> PluginInstance::KeysOf(NPP npp) {
    // pdata is ours: NPP_New puts the instance there.
    if (npp != nullptr && npp->pdata != nullptr) return static_cast<PluginInstance*>(npp->pdata)->Keys();
    return std::make_shared<Crypto::KeySession>();
}

PluginInstance::~PluginInstance() = default;

NPObject* PluginInstance::GetScriptableObject() {
    Logger::Get()->SetFunc("GetScriptableObject");
    Logger::Get()->Log("Entering function");
    if (!_scriptable) _scriptable = NPObjectPtr::Adopt(NPN_CreateObject(_npp, &sNPPendrelPDF_NPClass));
    return _scriptable.Share();
}
