#include "support/SignDocument.h"

#include <stdexcept>

#include "common/posix/FilePtr.h"
#include "crypto/CMSignature.h"
#include "crypto/openssl/CertStoreFile.h"
#include "crypto/openssl/PlatformOpenSSL.h"
#include "engine/VisualRepBase.h"
#include "pdf/Env.h"
#include "pdf/Field.h"
#include "pdf/Fields.h"
#include "pdf/File.h"
#include "pdf/FileManager.h"
#include "pdf/Output.h"
#include "pdf/Signature.h"
#include "pdf/Visual.h"
#include "pdf/XRefs.h"
#include "support/OpenedDocument.h"
#include "support/TestPKI.h"

namespace TestSupport {

SignedInfo SignDocument(const std::string& input, const std::string& output, const SignOptions& options) {
    OpenedDocument document(input);
    PDF::Env& env = document.Env();
    PDF::File& file = document.File();
    Crypto::PlatformOpenSSL platform;
    env.SetPlatform(&platform);

    Crypto::CertStoreFile identities{TestPKI::Shared().Keychain()};
    if (!identities.Open(Crypto::CertStore::Personal)) throw std::runtime_error("no identities");
    Crypto::Certificate* const signer = identities.FindBySubject(options.signerSubject);
    if (signer == nullptr) throw std::runtime_error("no signer " + options.signerSubject);

    Util::FilePtr out = PDF::FileManager::CreateNew(output);
    if (!out) throw std::runtime_error("cannot create " + output);
    env.SetOutput(out.get());

    const std::unique_ptr<Crypto::CMSignature> cms = platform.CreateCMSignature();
    cms->SetSigner(signer);
    const unsigned long reserve =
        options.reserve != 0 ? options.reserve : cms->GetSize(static_cast<Crypto::Hash::HashType>(1)) + 512UL;

    VisualRepBase rep;
    if (options.visible) {
        rep.Initialize(options.page, options.x, options.y, options.width, options.height, options.r,
                       options.g, options.b, signer);
        if (options.draw) options.draw(rep);
    }

    SignedInfo info;
    // An empty field of the document named so is signed where it is.
    PDF::Fields fields(&env);
    fields.Load();
    PDF::Field* const existing = options.intoField ? fields.Fillable(options.fieldName) : nullptr;
    if (options.intoField && existing == nullptr) throw std::runtime_error("no field " + options.fieldName);
    PDF::Field created(&env);
    created.SetName(options.fieldName);
    PDF::Field& field = existing != nullptr ? *existing : created;
    file.CopySource();
    PDF::Signature signature(&env);
    signature.SetName(signer->Subject());
    signature.SetReason(options.reason);
    signature.SetLocation(options.location);
    signature.SetContact(options.contact);
    signature.WriteOut(reserve);

    PDF::Visual visual(&env);
    if (rep.GetSurface() != nullptr) {
        visual.SetSurface(rep.GetSurface());
        if (field.GetPage() == nullptr) field.SetPage(rep.GetPage());
        visual.SetPageRotation(field.PageRotation());
        visual.WriteOut();
        field.SetVisual(&visual);
    }
    field.SetSigOid(signature.GetOid());
    field.WriteOut(1);
    field.WriteOutPage();
    if (!field.IsLoaded()) file.WriteOutAppendedField(&field);
    env.GetXRefs()->WriteOut(out.get());
    file.WriteOutTrailer();
    info.fileLength = PDF::Output::Position(out.get());
    signature.FixRange(info.fileLength);
    if (!cms->InitSign()) throw std::runtime_error("InitSign failed");
    signature.FillContents(cms.get());

    env.SetOutput(nullptr);
    if (!Util::FinishWrite(std::move(out))) throw std::runtime_error("cannot finish " + output);
    info.signatureOid = signature.GetOid();
    info.widgetOid = field.GetOid();
    info.appearanceOid = field.GetVisual()->GetOid();
    info.range = signature.GetRange();
    return info;
}

}  // namespace TestSupport
