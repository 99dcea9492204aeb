#pragma once

#include "common/npruntime/Base.h"
#include "engine/VisualRepBase.h"

// The visible signature a page draws into: the cursor (posX, posY), a font,
// texts and one picture.
class NPVisualRep : public Base, public VisualRepBase {
public:
    explicit NPVisualRep(NPP npp);
    ~NPVisualRep() override;

private:
    bool LoadImageNP(const NPVariant* args, uint32_t argCount, NPVariant* result);
    bool SetFontNP(const NPVariant* args, uint32_t argCount, NPVariant* result);
    bool PutImageNP(const NPVariant* args, uint32_t argCount, NPVariant* result);
    bool PutTextNP(const NPVariant* args, uint32_t argCount, NPVariant* result);
};

extern NPClass sNPVisualRep_NPClass;

NPObject* AllocateNPVisualRepObject(NPP npp, NPClass* cls);
