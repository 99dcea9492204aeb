#pragma once

#include "common/npruntime/Base.h"
#include "engine/SignatureBase.h"

// The signature list of a result: the page selects an entry with
// loadSignature and reads its properties. Each entry's certificate-info
// object is held by the list (its creation reference).
class NPSignature : public Base, public SignatureBase {
public:
    explicit NPSignature(NPP npp);
    ~NPSignature() override;

private:
    bool GetSigCount(NPVariant* result);
    bool GetSigId(NPVariant* result);
    bool GetReason(NPVariant* result);
    bool GetLocation(NPVariant* result);
    bool GetContact(NPVariant* result);
    bool GetSigningTime(NPVariant* result);
    bool GetDocRevision(NPVariant* result);
    bool GetError(NPVariant* result);
    bool GetStatus(NPVariant* result);
    bool GetCertificateNP(NPVariant* result);
    bool LoadSignatureNP(const NPVariant* args, uint32_t argCount, NPVariant* result);
    bool GetRevisionCount(NPVariant* result);
};

extern NPClass sNPSignature_NPClass;

NPObject* AllocateNPSignatureObject(NPP npp, NPClass* cls);
