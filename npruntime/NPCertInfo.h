#pragma once

#include "common/npruntime/Base.h"
#include "engine/CertInfoBase.h"

// The certificate-information object of a page: search criteria and
// policies in, the found certificate's details out. The engine creates
// further ones for the signers of verified signatures.
class NPCertInfo : public Base, public CertInfoBase {
public:
    explicit NPCertInfo(NPP npp);
    ~NPCertInfo() override;

private:
    bool SearchNP(const NPVariant* args, uint32_t argCount, NPVariant* result);
    bool ShowDialogNP(const NPVariant* args, uint32_t argCount, NPVariant* result);
    bool GetPolicyNP(const NPVariant* args, uint32_t argCount, NPVariant* result);
    bool SetPolicyNP(const NPVariant* args, uint32_t argCount, NPVariant* result);

    bool _loaded = false;
};

extern NPClass sNPCertInfo_NPClass;

NPObject* AllocateNPCertInfoObject(NPP npp, NPClass* cls);
