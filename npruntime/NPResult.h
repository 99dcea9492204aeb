#pragma once

#include "common/npruntime/Base.h"
#include "engine/ResultBase.h"
#include "npruntime/NPObjectPtr.h"

// The outcome of sign or verify for the page: the error code, the signed
// document saved or streamed as Base64, and the signature list (one
// reference held).
class NPResult : public Base, public ResultBase {
public:
    explicit NPResult(NPP npp);
    ~NPResult() override;

    void SetSignatures(FactoryPtr<SignatureBase> signatures) override;

private:
    bool GetErrorNP(NPVariant* result);
    bool SetErrorNP(const NPVariant* value);
    bool GetSignatures(NPVariant* result);
    bool SaveFileNP(const NPVariant* args, uint32_t argCount, NPVariant* result);
    bool ReadStreamDataNP(const NPVariant* args, uint32_t argCount, NPVariant* result);

    NPObjectPtr _signatures;
};

extern NPClass sNPResult_NPClass;

NPObject* AllocateNPResultObject(NPP npp, NPClass* cls);
