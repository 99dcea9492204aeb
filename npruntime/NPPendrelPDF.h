#pragma once

#include "common/npruntime/Base.h"

// The object a page receives from the plug-in element: the version, and
// (with the engine behind it) the factories of request and certificate
// objects and the sign and verify operations.
class NPPendrelPDF : public Base {
public:
    explicit NPPendrelPDF(NPP npp);
    ~NPPendrelPDF() override;

private:
    bool GetVersionNumber(NPVariant* result);
};

extern NPClass sNPPendrelPDF_NPClass;

NPObject* AllocateNPPendrelPDFObject(NPP npp, NPClass* cls);
