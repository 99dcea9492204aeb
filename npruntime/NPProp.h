#pragma once

#include "common/npruntime/Base.h"
#include "engine/PropBase.h"
#include "npruntime/NPObjectPtr.h"

// The request a page fills for sign and verify: the document, options and
// texts, the certificate-info object and the visual object (one reference
// held on each).
class NPProp : public Base, public PropBase {
public:
    explicit NPProp(NPP npp);
    ~NPProp() override;

    VisualRepBase* GetVisualRep() override;
    Crypto::Certificate* GetCertificate() override;

private:
    bool SetFileNP(const NPVariant* value);
    bool GetFileNP(NPVariant* result);
    bool GetPagesNP(NPVariant* result);
    bool SetCertificateNP(const NPVariant* value);
    bool GetCertificateNP(NPVariant* result);
    bool SetVisualRepNP(const NPVariant* value);
    bool GetVisualRepNP(NPVariant* result);
    bool CreateVisualRepObjectNP(const NPVariant* args, uint32_t argCount, NPVariant* result);
    bool FeedBase64DataNP(const NPVariant* args, uint32_t argCount, NPVariant* result);

    // Holds `value`'s object in `held` (releasing the one before) when it is
    // of class `cls`; false otherwise, leaving `held` as it was.
    static bool Hold(NPObjectPtr& held, const NPVariant* value, const NPClass* cls);
    static void Answer(const NPObjectPtr& held, NPVariant* result);

    NPObjectPtr _certificateObject;
    NPObjectPtr _visualObject;
};

extern NPClass sNPProp_NPClass;

NPObject* AllocateNPPropObject(NPP npp, NPClass* cls);
