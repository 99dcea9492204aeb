#include "npruntime/NPResult.h"

#include "common/Logger.h"
#include "common/npruntime/NPUtils.h"
#include "engine/ResultCodes.h"
#include "npruntime/NPSignature.h"
#include "npruntime/ObjectRef.h"

NPClass sNPResult_NPClass = Base::MakeClass(&AllocateNPResultObject);

NPObject* AllocateNPResultObject(NPP npp, NPClass*) {
    return Base::Allocate<NPResult>(npp, "AllocateNPResultObject");
}

NPResult::NPResult(NPP npp) : Base(npp) {
    Logger::Get()->SetFunc("NPResult");
    Logger::Get()->Log("*** Constructor, object %p", static_cast<void*>(this));
    // The error code lives in the engine part: read and written as a mapped
    // int would be (a non-number stores 0 and fails).
    AddPropertyGet("error", &NPResult::GetErrorNP);
    AddPropertySet("error", &NPResult::SetErrorNP);
    AddPropertyGet("signatures", &NPResult::GetSignatures);
    AddMethod("saveFile", &NPResult::SaveFileNP);
    AddMethod("readStreamData", &NPResult::ReadStreamDataNP);
}

NPResult::~NPResult() {
    Logger::Get()->SetFunc("~NPResult");
    Logger::Get()->Log("*** Destructor, object %p", static_cast<void*>(this));
    _signatures.Reset();
}

void NPResult::SetSignatures(FactoryPtr<SignatureBase> signatures) {
    // The list's reference passes to this result, which releases the one before.
    _signatures = ObjectRef::FromEngine<NPSignature>(std::move(signatures));
}

bool NPResult::GetErrorNP(NPVariant* result) {
    INT32_TO_NPVARIANT(Error(), *result);
    return true;
}

bool NPResult::SetErrorNP(const NPVariant* value) {
    int error = 0;
    const bool ok = NPUtils::VariantToInt(value, error);
    SetError(error);
    return ok;
}

bool NPResult::GetSignatures(NPVariant* result) {
    Logger::Get()->SetFunc("GetSignatures");
    Logger::Get()->Log("Entering function");
    NPUtils::ObjectToVariant(_signatures.Share(), result);
    return true;
}

bool NPResult::SaveFileNP(const NPVariant* args, uint32_t argCount, NPVariant* result) {
    Logger::Get()->SetFunc("saveFile");
    Logger::Get()->Log("Entering function");
    if (argCount != 1 || !NPUtils::IsString(&args[0])) return false;
    std::string destination;
    NPUtils::VariantToString(&args[0], destination);
    BOOLEAN_TO_NPVARIANT(SaveFile(destination), *result);
    return true;
}

bool NPResult::ReadStreamDataNP(const NPVariant*, uint32_t argCount, NPVariant* result) {
    if (argCount != 0) return false;
    const std::string& piece = ReadStreamData();
    if (Error() != ResultCode::kSuccess) return false;
    return NPUtils::StringToVariant(piece, result);
}
