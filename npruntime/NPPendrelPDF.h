#pragma once

#include "common/npruntime/Base.h"
#include "engine/PendrelBase.h"

// The object a page receives from the plug-in element: the version, the
// factories of request and certificate objects and the sign and verify
// operations. Toward the engine it creates the scriptable result,
// certificate and signature-list objects and the platform dialogs.
class NPPendrelPDF : public Base, public PendrelBase {
public:
    explicit NPPendrelPDF(NPP npp);
    ~NPPendrelPDF() override;

protected:
    FactoryPtr<ResultBase> CreateResultObject() override;
    FactoryPtr<CertInfoBase> CreateCertificateObject() override;
    FactoryPtr<SignatureBase> CreateSignatureObject() override;
    std::unique_ptr<StatusSigDlg> CreateStatusSigDlg() override;
    std::unique_ptr<StatusDlg> CreateStatusDlg() override;
    std::unique_ptr<SignConsentDlg> CreateSignConsentDlg() override;

private:
    bool GetVersionNumber(NPVariant* result);
    bool CreatePropObjectNP(const NPVariant* args, uint32_t argCount, NPVariant* result);
    bool CreateCertInfoObjectNP(const NPVariant* args, uint32_t argCount, NPVariant* result);
    bool SignNP(const NPVariant* args, uint32_t argCount, NPVariant* result);
    bool VerifyNP(const NPVariant* args, uint32_t argCount, NPVariant* result);
    // The result of an operation on the request in args as the call's answer.
    bool Answer(FactoryPtr<ResultBase> outcome, NPVariant* result);
};

extern NPClass sNPPendrelPDF_NPClass;

NPObject* AllocateNPPendrelPDFObject(NPP npp, NPClass* cls);
