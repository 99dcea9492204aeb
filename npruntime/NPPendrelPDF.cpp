#include "npruntime/NPPendrelPDF.h"

#include "common/Logger.h"
#include "common/npruntime/NPUtils.h"
#include "crypto/CMSignature.h"
#include "engine/SignConsentDlg.h"
#include "engine/StatusDlg.h"
#include "engine/StatusSigDlg.h"
#include "gtk/SignConsentDlgGtk.h"
#include "gtk/StatusDlgGtk.h"
#include "gtk/StatusSigDlgGtk.h"
#include "npruntime/NPCertInfo.h"
#include "npruntime/NPProp.h"
#include "npruntime/NPResult.h"
#include "npruntime/NPSignature.h"
#include "npruntime/ObjectRef.h"
#include "npruntime/PluginIdentity.h"
#include "pdf/Signature.h"

NPClass sNPPendrelPDF_NPClass = Base::MakeClass(&AllocateNPPendrelPDFObject);

NPObject* AllocateNPPendrelPDFObject(NPP npp, NPClass*) {
    return Base::Allocate<NPPendrelPDF>(npp, "AllocateNPPendrelPDFObject");
}

namespace {

void Enter(const char* func) {
    Logger::Get()->SetFunc(func);
    Logger::Get()->Log("Entering function");
}

// A new scriptable object of class Scriptable for npp, as its engine part
// Engine with its creation reference; null when the browser could not
// create it.
template <typename Scriptable, typename Engine>
FactoryPtr<Engine> CreateFor(NPP npp, NPClass* cls) {
    return ObjectRef::ToEngine<Scriptable, Engine>(NPObjectPtr::Adopt(NPN_CreateObject(npp, cls)));
}

// The request of a sign or verify call: exactly one argument, a request
// object of this plug-in.
NPProp* RequestOf(const NPVariant* args, uint32_t argCount) {
    if (argCount != 1 || !NPUtils::IsObjectOfClass(&args[0], &sNPProp_NPClass)) return nullptr;
    return ObjectRef::As<NPProp>(NPVARIANT_TO_OBJECT(args[0]));
}

}  // namespace

NPPendrelPDF::NPPendrelPDF(NPP npp) : Base(npp) {
    Logger::Get()->SetFunc("NPPendrelPDF");
    Logger::Get()->Log("*** Constructor, object %p", static_cast<void*>(this));
    AddPropertyGet("versionNumber", &NPPendrelPDF::GetVersionNumber);
    AddMethod("createPropObject", &NPPendrelPDF::CreatePropObjectNP);
    AddMethod("createCertInfoObject", &NPPendrelPDF::CreateCertInfoObjectNP);
    AddMethod("sign", &NPPendrelPDF::SignNP);
    AddMethod("verify", &NPPendrelPDF::VerifyNP);
}

NPPendrelPDF::~NPPendrelPDF() {
    Logger::Get()->SetFunc("~NPPendrelPDF");
    Logger::Get()->Log("*** Destructor, object %p", static_cast<void*>(this));
}

bool NPPendrelPDF::GetVersionNumber(NPVariant* result) {
    return NPUtils::StringToVariant(PluginIdentity::kVersion, result);
}

bool NPPendrelPDF::CreatePropObjectNP(const NPVariant*, uint32_t argCount, NPVariant* result) {
    Enter("createPropObject");
    if (argCount != 0) return false;
    NULL_TO_NPVARIANT(*result);
    NPObject* object = NPN_CreateObject(Npp(), &sNPProp_NPClass);
    if (object != nullptr) {
        OBJECT_TO_NPVARIANT(object, *result);
        Logger::Get()->SetFunc("createPropObject");
        Logger::Get()->Log("Returning valid prop object");
    }
    return true;
}

bool NPPendrelPDF::CreateCertInfoObjectNP(const NPVariant*, uint32_t argCount, NPVariant* result) {
    Enter("createCertInfoObject");
    if (argCount != 0) return false;
    NPUtils::ObjectToVariant(NPN_CreateObject(Npp(), &sNPCertInfo_NPClass), result);
    return true;
}

bool NPPendrelPDF::Answer(FactoryPtr<ResultBase> outcome, NPVariant* result) {
    if (!outcome) return false;
    // The result's creation reference goes to the page.
    OBJECT_TO_NPVARIANT(ObjectRef::FromEngine<NPResult>(std::move(outcome)).Release(), *result);
    return true;
}

bool NPPendrelPDF::SignNP(const NPVariant* args, uint32_t argCount, NPVariant* result) {
    Enter("sign");
    Enter("sign");
    NPProp* request = RequestOf(args, argCount);
    if (request == nullptr) return false;
    return Answer(Sign(request), result);
}

bool NPPendrelPDF::VerifyNP(const NPVariant* args, uint32_t argCount, NPVariant* result) {
    Enter("verify");
    NPProp* request = RequestOf(args, argCount);
    if (request == nullptr) return false;
    return Answer(Verify(request), result);
}

FactoryPtr<ResultBase> NPPendrelPDF::CreateResultObject() {
    Enter("CreateResultObject");
    return CreateFor<NPResult, ResultBase>(Npp(), &sNPResult_NPClass);
}

FactoryPtr<CertInfoBase> NPPendrelPDF::CreateCertificateObject() {
    Enter("CreateCertificateObject");
    return CreateFor<NPCertInfo, CertInfoBase>(Npp(), &sNPCertInfo_NPClass);
}

FactoryPtr<SignatureBase> NPPendrelPDF::CreateSignatureObject() {
    Enter("CreateSignatureObject");
    return CreateFor<NPSignature, SignatureBase>(Npp(), &sNPSignature_NPClass);
}

std::unique_ptr<StatusSigDlg> NPPendrelPDF::CreateStatusSigDlg() {
    return std::make_unique<StatusSigDlgGtk>();
}

std::unique_ptr<StatusDlg> NPPendrelPDF::CreateStatusDlg() {
    return std::make_unique<StatusDlgGtk>([](const PDF::Signature& s) -> const Crypto::Certificate* {
        return s.GetCMS() ? s.GetCMS()->SignerCert() : nullptr;
    });
}

std::unique_ptr<SignConsentDlg> NPPendrelPDF::CreateSignConsentDlg() {
    return std::make_unique<SignConsentDlgGtk>();
}
