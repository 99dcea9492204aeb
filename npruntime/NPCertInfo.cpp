#include "npruntime/NPCertInfo.h"

#include "common/Logger.h"
#include "common/npruntime/NPUtils.h"
#include "crypto/CertStore.h"
#include "crypto/openssl/CertStoreFile.h"
#include "engine/ChooseCertDlg.h"
#include "gtk/ChooseCertDlgGtk.h"
#include "npruntime/PluginInstance.h"

NPClass sNPCertInfo_NPClass = Base::MakeClass(&AllocateNPCertInfoObject);

NPObject* AllocateNPCertInfoObject(NPP npp, NPClass*) {
    return Base::Allocate<NPCertInfo>(npp, "AllocateNPCertInfoObject");
}

NPCertInfo::NPCertInfo(NPP npp) : Base(npp) {
    Logger::Get()->SetFunc("NPCertInfo");
    Logger::Get()->Log("*** Constructor, object %p", static_cast<void*>(this));
    // The keychain folder and the tokens, in the page's key session.
    SetStore(std::make_unique<Crypto::CertStoreFile>(Crypto::CertStoreFile::KeychainFolder(),
                                                     PluginInstance::KeysOf(npp)));
    SetChooser(std::make_unique<ChooseCertDlgGtk>());
    // Its windows (chooser, passphrase prompt) name a web page.
    SetOrigin(PluginInstance::OriginOf(npp).Text());

    PropertyMapper& props = Properties();
    props.AddString("certHash", &_certHash);
    props.AddString("certHash64", &_certHash64);
    props.AddString("serialNumber", &_serialNumber);
    props.AddString("issuer", &_issuer);
    props.AddString("subject", &_subject);
    props.AddString("subjectDN", &_subjectDN);
    props.AddString("status", &_status);
    props.AddInt("error", &_error);
    props.AddBool("loaded", &_loaded);
    AddMethod("search", &NPCertInfo::SearchNP);
    AddMethod("showDialog", &NPCertInfo::ShowDialogNP);
    AddMethod("getPolicy", &NPCertInfo::GetPolicyNP);
    AddMethod("setPolicy", &NPCertInfo::SetPolicyNP);
}

NPCertInfo::~NPCertInfo() {
    Logger::Get()->SetFunc("~NPCertInfo");
    Logger::Get()->Log("*** Destructor, object %p", static_cast<void*>(this));
}

bool NPCertInfo::SearchNP(const NPVariant*, uint32_t, NPVariant* result) {
    Logger::Get()->SetFunc("search");
    Logger::Get()->Log("Entering function");
    _loaded = Search();
    if (_loaded) {
        Logger::Get()->SetFunc("search");
        Logger::Get()->Log("Certificate found!");
    }
    BOOLEAN_TO_NPVARIANT(_loaded, *result);
    return true;
}

bool NPCertInfo::ShowDialogNP(const NPVariant*, uint32_t, NPVariant* result) {
    Logger::Get()->SetFunc("showDialog");
    Logger::Get()->Log("Entering function");
    Logger::Get()->SetFunc("showDialog");
    Logger::Get()->Log("Entering function");
    _loaded = ShowDialog();
    BOOLEAN_TO_NPVARIANT(_loaded, *result);
    return true;
}

bool NPCertInfo::GetPolicyNP(const NPVariant* args, uint32_t argCount, NPVariant* result) {
    Logger::Get()->SetFunc("getPolicy");
    Logger::Get()->Log("Entering function");
    if (argCount != 2 || !NPUtils::IsString(&args[0])) return false;
    std::string name;
    NPUtils::VariantToString(&args[0], name);
    return NPUtils::StringToVariant(GetPolicy(name), result);
}

bool NPCertInfo::SetPolicyNP(const NPVariant* args, uint32_t argCount, NPVariant*) {
    Logger::Get()->SetFunc("setPolicy");
    Logger::Get()->Log("Entering function");
    if (argCount != 2 || !NPUtils::IsString(&args[0]) || !NPUtils::IsString(&args[1])) return false;
    std::string name;
    std::string value;
    NPUtils::VariantToString(&args[0], name);
    NPUtils::VariantToString(&args[1], value);
    SetPolicy(NPUtils::ToUpper(name), value);
    return true;
}
