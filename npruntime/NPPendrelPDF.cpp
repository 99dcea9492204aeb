#include "npruntime/NPPendrelPDF.h"

#include "common/Logger.h"
#include "common/npruntime/NPUtils.h"
#include "npruntime/PluginIdentity.h"

NPClass sNPPendrelPDF_NPClass = Base::MakeClass(&AllocateNPPendrelPDFObject);

NPObject* AllocateNPPendrelPDFObject(NPP npp, NPClass*) {
    return Base::Allocate<NPPendrelPDF>(npp, "AllocateNPPendrelPDFObject");
}

NPPendrelPDF::NPPendrelPDF(NPP npp) : Base(npp) {
    Logger::Get()->SetFunc("NPPendrelPDF");
    Logger::Get()->Log("*** Constructor, object %p", static_cast<void*>(this));
    AddPropertyGet("versionNumber", &NPPendrelPDF::GetVersionNumber);
}

NPPendrelPDF::~NPPendrelPDF() {
    Logger::Get()->SetFunc("~NPPendrelPDF");
    Logger::Get()->Log("*** Destructor, object %p", static_cast<void*>(this));
}

bool NPPendrelPDF::GetVersionNumber(NPVariant* result) {
    return NPUtils::StringToVariant(PluginIdentity::kVersion, result);
}
