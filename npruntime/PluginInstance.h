#pragma once

#include <memory>

#include "common/PageOrigin.h"
#include "npapi/npruntime.h"
#include "npruntime/NPObjectPtr.h"

namespace Crypto {
class KeySession;
}

// One embedding of the plug-in in a page (kept in the instance's pdata). It
// creates the page's main scriptable object on first request and holds one
// reference to it until the instance is destroyed.
class PluginInstance {
public:
    explicit PluginInstance(NPP npp);
    ~PluginInstance();
    PluginInstance(const PluginInstance&) = delete;
    PluginInstance& operator=(const PluginInstance&) = delete;

    // The main scriptable object with a new reference for the caller, or null
    // when it cannot be created.
    NPObject* GetScriptableObject();

    NPP Npp() const { return _npp; }
    // The key store's state of this page session: token logins and opened
    // keys, so that each PIN or passphrase is asked for once per page.
    const std::shared_ptr<Crypto::KeySession>& Keys() const { return _keys; }
    // The session of the instance npp belongs to; a new one when npp has no instance.
    static std::shared_ptr<Crypto::KeySession> KeysOf(NPP npp);
    // The origin of the page, read from the browser when the instance was
    // made; the requests, results and windows of the page carry it.
    const PageOrigin& Origin() const { return _origin; }
    // The origin of the page npp belongs to; local when npp has no instance.
    static PageOrigin OriginOf(NPP npp);

private:
    NPP _npp;
    PageOrigin _origin;
    std::shared_ptr<Crypto::KeySession> _keys;
    NPObjectPtr _scriptable;
};
