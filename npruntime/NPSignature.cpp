#include "npruntime/NPSignature.h"

#include <cstdint>

#include "common/Logger.h"
#include "common/npruntime/NPUtils.h"
#include "npruntime/NPCertInfo.h"
#include "npruntime/ObjectRef.h"

NPClass sNPSignature_NPClass = Base::MakeClass(&AllocateNPSignatureObject);

NPObject* AllocateNPSignatureObject(NPP npp, NPClass*) {
    return Base::Allocate<NPSignature>(npp, "AllocateNPSignatureObject");
}

NPSignature::NPSignature(NPP npp) : Base(npp) {
    Logger::Get()->SetFunc("NPSignature");
    Logger::Get()->Log("*** Constructor, object %p", static_cast<void*>(this));
    AddPropertyGet("sigCount", &NPSignature::GetSigCount);
    AddPropertyGet("sigId", &NPSignature::GetSigId);
    AddPropertyGet("reason", &NPSignature::GetReason);
    AddPropertyGet("location", &NPSignature::GetLocation);
    AddPropertyGet("contact", &NPSignature::GetContact);
    AddPropertyGet("signingTime", &NPSignature::GetSigningTime);
    AddPropertyGet("docRevision", &NPSignature::GetDocRevision);
    AddPropertyGet("error", &NPSignature::GetError);
    AddPropertyGet("status", &NPSignature::GetStatus);
    AddPropertyGet("certificate", &NPSignature::GetCertificateNP);
    AddMethod("loadSignature", &NPSignature::LoadSignatureNP);
    AddPropertyGet("revisionCount", &NPSignature::GetRevisionCount);
}

NPSignature::~NPSignature() {
    Logger::Get()->SetFunc("~NPSignature");
    Logger::Get()->Log("*** Destructor, object %p", static_cast<void*>(this));
    // The records release their certificate-info objects as they go.
}

bool NPSignature::GetSigCount(NPVariant* result) {
    INT32_TO_NPVARIANT(static_cast<int32_t>(Count()), *result);
    return true;
}

// Every entry property reads null when no entry is selected.
#define NPSIGNATURE_CURRENT(result)   \
    const SigInfo* entry = Current(); \
    if (entry == nullptr) {           \
        NULL_TO_NPVARIANT(*(result)); \
        return true;                  \
    }

bool NPSignature::GetSigId(NPVariant* result) {
    NPSIGNATURE_CURRENT(result);
    return NPUtils::StringToVariant(entry->sigId, result);
}

bool NPSignature::GetReason(NPVariant* result) {
    NPSIGNATURE_CURRENT(result);
    return NPUtils::WStringToVariant(entry->reason, result);
}

bool NPSignature::GetLocation(NPVariant* result) {
    NPSIGNATURE_CURRENT(result);
    return NPUtils::WStringToVariant(entry->location, result);
}

bool NPSignature::GetContact(NPVariant* result) {
    NPSIGNATURE_CURRENT(result);
    return NPUtils::WStringToVariant(entry->contact, result);
}

// A list property: available with or without a selected entry.
bool NPSignature::GetRevisionCount(NPVariant* result) {
    INT32_TO_NPVARIANT(RevisionCount(), *result);
    return true;
}

bool NPSignature::GetSigningTime(NPVariant* result) {
    NPSIGNATURE_CURRENT(result);
    // An int32 where it fits; a time beyond 2038 (or before 1902) travels as
    // a double, which holds it exactly, instead of wrapping.
    const std::int64_t time = entry->signingTime;
    if (time >= INT32_MIN && time <= INT32_MAX) {
        INT32_TO_NPVARIANT(static_cast<int32_t>(time), *result);
    } else {
        DOUBLE_TO_NPVARIANT(static_cast<double>(time), *result);
    }
    return true;
}

bool NPSignature::GetDocRevision(NPVariant* result) {
    NPSIGNATURE_CURRENT(result);
    INT32_TO_NPVARIANT(entry->docRevision, *result);
    return true;
}

bool NPSignature::GetError(NPVariant* result) {
    NPSIGNATURE_CURRENT(result);
    INT32_TO_NPVARIANT(entry->error, *result);
    return true;
}

bool NPSignature::GetStatus(NPVariant* result) {
    NPSIGNATURE_CURRENT(result);
    return NPUtils::StringToVariant(entry->status, result);
}

bool NPSignature::GetCertificateNP(NPVariant* result) {
    NPSIGNATURE_CURRENT(result);
    NPObject* object = ObjectRef::ToObject(static_cast<NPCertInfo*>(entry->certificate.get()));
    NPUtils::ObjectToVariant(NPObjectPtr::Retain(object).Release(), result);
    return true;
}

#undef NPSIGNATURE_CURRENT

bool NPSignature::LoadSignatureNP(const NPVariant* args, uint32_t argCount, NPVariant*) {
    if (argCount != 1 || !NPVARIANT_IS_INT32(args[0])) return false;
    LoadSignature(NPVARIANT_TO_INT32(args[0]));
    return true;
}
