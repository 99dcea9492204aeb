#include "npruntime/NPProp.h"

#include "common/Logger.h"
#include "common/npruntime/NPUtils.h"
#include "crypto/openssl/PlatformOpenSSL.h"
#include "npruntime/NPCertInfo.h"
#include "npruntime/NPVisualRep.h"
#include "npruntime/ObjectRef.h"
#include "npruntime/PluginInstance.h"

NPClass sNPProp_NPClass = Base::MakeClass(&AllocateNPPropObject);

NPObject* AllocateNPPropObject(NPP npp, NPClass*) {
    return Base::Allocate<NPProp>(npp, "AllocateNPPropObject");
}

namespace {

void Enter(const char* func) {
    Logger::Get()->SetFunc(func);
    Logger::Get()->Log("Entering function");
}

}  // namespace

NPProp::NPProp(NPP npp) : Base(npp) {
    Logger::Get()->SetFunc("NPProp");
    Logger::Get()->Log("*** Constructor, object %p", static_cast<void*>(this));
    SetPlatform(std::make_unique<Crypto::PlatformOpenSSL>());
    // What a web page may load and sign follows from where it comes from.
    SetOrigin(PluginInstance::OriginOf(npp));

    PropertyMapper& props = Properties();
    props.AddInt("options", &_options);
    props.AddInt("lang", &_lang);
    props.AddWString("reason", &_reason);
    props.AddWString("location", &_location);
    props.AddWString("contact", &_contact);
    props.AddString("sigId", &_sigId);
    AddPropertySet("file", &NPProp::SetFileNP);
    AddPropertyGet("file", &NPProp::GetFileNP);
    AddPropertyGet("pages", &NPProp::GetPagesNP);
    AddPropertySet("certificate", &NPProp::SetCertificateNP);
    AddPropertyGet("certificate", &NPProp::GetCertificateNP);
    AddPropertySet("visual", &NPProp::SetVisualRepNP);
    AddPropertyGet("visual", &NPProp::GetVisualRepNP);
    AddMethod("createVisualRepObject", &NPProp::CreateVisualRepObjectNP);
    AddMethod("feedBase64Data", &NPProp::FeedBase64DataNP);
}

NPProp::~NPProp() {
    Logger::Get()->SetFunc("~NPProp");
    Logger::Get()->Log("*** Destructor, object %p", static_cast<void*>(this));
    _certificateObject.Reset();
    _visualObject.Reset();
}

VisualRepBase* NPProp::GetVisualRep() {
    return ObjectRef::As<NPVisualRep>(_visualObject.Get());
}

Crypto::Certificate* NPProp::GetCertificate() {
    const NPCertInfo* info = ObjectRef::As<NPCertInfo>(_certificateObject.Get());
    return info == nullptr ? nullptr : info->GetCertificate();
}

bool NPProp::Hold(NPObjectPtr& held, const NPVariant* value, const NPClass* cls) {
    if (!NPUtils::IsObjectOfClass(value, cls)) return false;
    held = NPObjectPtr::Retain(NPVARIANT_TO_OBJECT(*value));  // the one held before is released
    return true;
}

void NPProp::Answer(const NPObjectPtr& held, NPVariant* result) {
    NPUtils::ObjectToVariant(held.Share(), result);
}

bool NPProp::SetFileNP(const NPVariant* value) {
    Enter("SetFileNP");
    if (!NPUtils::IsString(value)) return false;
    std::string file;
    NPUtils::VariantToString(value, file);
    SetFile(file);
    LoadFileFromURL();
    return true;
}

bool NPProp::GetFileNP(NPVariant* result) {
    Enter("GetFileNP");
    return NPUtils::StringToVariant(File(), result);
}

bool NPProp::GetPagesNP(NPVariant* result) {
    Enter("GetPagesNP");
    INT32_TO_NPVARIANT(Pages(), *result);
    return true;
}

bool NPProp::SetCertificateNP(const NPVariant* value) {
    Enter("SetCertificateNP");
    return Hold(_certificateObject, value, &sNPCertInfo_NPClass);
}

bool NPProp::GetCertificateNP(NPVariant* result) {
    Enter("GetCertificateNP");
    Answer(_certificateObject, result);
    return true;
}

bool NPProp::SetVisualRepNP(const NPVariant* value) {
    Enter("SetVisualRepNP");
    return Hold(_visualObject, value, &sNPVisualRep_NPClass);
}

bool NPProp::GetVisualRepNP(NPVariant* result) {
    Enter("GetVisualRepNP");
    Answer(_visualObject, result);
    return true;
}

bool NPProp::CreateVisualRepObjectNP(const NPVariant* args, uint32_t argCount, NPVariant* result) {
    Enter("createVisualRepObject");
    if (argCount != 8) return false;
    int values[8] = {};
    for (uint32_t i = 0; i < argCount; ++i)
        if (!NPUtils::VariantToInt(&args[i], values[i])) return false;
    NULL_TO_NPVARIANT(*result);
    Crypto::Certificate* certificate = GetCertificate();
    if (certificate == nullptr) return true;
    // Released if Initialize throws: the page never sees it.
    NPObjectPtr object = NPObjectPtr::Adopt(NPN_CreateObject(Npp(), &sNPVisualRep_NPClass));
    if (!object) return true;
    ObjectRef::As<NPVisualRep>(object.Get())
        ->Initialize(values[0], values[1], values[2], values[3], values[4],
                     static_cast<unsigned char>(values[5] & 0xFF),
                     static_cast<unsigned char>(values[6] & 0xFF),
                     static_cast<unsigned char>(values[7] & 0xFF), certificate);
    OBJECT_TO_NPVARIANT(object.Release(), *result);
    return true;
}

bool NPProp::FeedBase64DataNP(const NPVariant* args, uint32_t argCount, NPVariant*) {
    Enter("feedBase64Data");
    if (argCount != 1 || !NPUtils::IsString(&args[0])) return false;
    const NPString& text = NPVARIANT_TO_STRING(args[0]);
    Feed(text.UTF8Characters, text.UTF8Length);
    return true;
}
