#include "engine/PendrelBase.h"

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "common/AllowedOrigins.h"
#include "common/Logger.h"
#include "common/posix/FilePtr.h"
#include "crypto/CMSignature.h"
#include "crypto/Certificate.h"
#include "crypto/Exception.h"
#include "crypto/Hash.h"
#include "crypto/Platform.h"
#include "engine/CertInfoBase.h"
#include "engine/PropBase.h"
#include "engine/ResultBase.h"
#include "engine/SignConsentDlg.h"
#include "engine/SignatureBase.h"
#include "engine/StatusDlg.h"
#include "engine/StatusSigDlg.h"
#include "engine/VisualRepBase.h"
#include "pdf/Env.h"
#include "pdf/Exception.h"
#include "pdf/Field.h"
#include "pdf/Fields.h"
#include "pdf/File.h"
#include "pdf/FileManager.h"
#include "pdf/Output.h"
#include "pdf/Signature.h"
#include "pdf/Versions.h"
#include "pdf/Visual.h"
#include "pdf/XRefs.h"

namespace {

// Result codes of the two operations.
constexpr int kSuccess = 1;
constexpr int kNoDocument = -2;
constexpr int kNoCertificate = -3;
constexpr int kSetupFailed = -8;
constexpr int kTimeFailed = -30;
constexpr int kChainFailed = -31;
constexpr int kRevocationFailed = -32;
constexpr int kNoSignatureFound = -63;
// An update to an encrypted document would be written unencrypted and make
// the copy unreadable.
constexpr int kEncryptedDocument = -65;

// The certificate's code when revocation checking found no distribution
// point to fetch a list from: the test is passed over.
constexpr int kNoDistributionPoint = -34;

// Extra room in the /Contents hole beyond the CMS size estimate.
constexpr unsigned long kReserveMargin = 512;

void LogSign(const char* text) {
    Logger::Get()->SetFunc("Sign");
    Logger::Get()->Log("%s", text);
}

// The code a failed certificate test reports: the certificate's own code when
// it names a failure (2 or more read as unsigned, so negative codes too);
// otherwise `fallback`, since Error() is 1 (success) after a completed
// validation and 0 when it did not complete.
int FailureCode(int certificateError, int fallback) {
    return static_cast<unsigned>(certificateError) >= 2 ? certificateError : fallback;
}

// A validity value as one character of the status text.
char StatusChar(int validity) {
    if (validity == Crypto::Certificate::Valid) return '1';
    if (validity == Crypto::Certificate::Invalid) return '0';
    return 'X';
}

// The revisions the revision list names, and one more when bytes follow the
// end of the last: a change that no signature covers. -1 without revisions.
int RevisionCount(PDF::Env& env) {
    const PDF::Versions* const versions = env.GetVersions();
    const PDF::File* const file = env.GetFile();
    if (versions == nullptr || versions->Count() == 0) return -1;
    const bool appended = file != nullptr && file->FileSize() > static_cast<unsigned long>(versions->Get(0));
    return versions->Count() + (appended ? 1 : 0);
}

// "Signature " and the number after the document's signature fields, or
// the first higher one that no field of the form is named yet.
std::string NewFieldName(const PDF::Fields& fields) {
    for (std::size_t number = fields.Count() + 1;; ++number) {
        std::string name = "Signature " + std::to_string(number);
        if (!fields.HasName(name)) return name;
    }
}

// A written update leaves its objects in the environment (object numbers,
// cross-reference entries, the document's rewritten catalog and form):
// opening the document again starts afresh, so that every signed copy lists
// only its own objects and verification reads the document as it is on disk.
bool FreshDocument(PropBase& request) {
    const PDF::XRefs* const xrefs = request.Env().GetXRefs();
    if (xrefs != nullptr && xrefs->Entries().size() <= 1) return true;
    return request.Reload();
}

// The signed copy while it is written. It is created exclusively under a new
// name of the file manager (registered even when it cannot be created), and
// deleted on every way out unless its name was handed over.
class WorkingFile {
public:
    explicit WorkingFile(PDF::FileManager* files) {
        if (files == nullptr) return;
        _name = files->GenerateFileName();
        if (_name.empty()) return;
        _out = PDF::FileManager::CreateNew(_name);
        files->Register(_name);
        _created = _out != nullptr;
    }
    ~WorkingFile() { Discard(); }
    WorkingFile(const WorkingFile&) = delete;
    WorkingFile& operator=(const WorkingFile&) = delete;

    std::FILE* Get() const { return _out.get(); }

    // Closes the finished file; false when its last writes failed.
    bool Finish() { return Util::FinishWrite(std::move(_out)); }

    // The name, which is no longer deleted here.
    std::string Release() {
        _created = false;
        return _name;
    }

    // Closes the file and deletes it if this object created it (a file that
    // was already there under the name is never touched).
    void Discard() {
        _out.reset();
        if (!_created) return;
        _created = false;
        if (std::remove(_name.c_str()) != 0) LogSign("Could not delete temp file.");
    }

private:
    std::string _name;
    Util::FilePtr _out;
    bool _created = false;
};

// Clears the environment's output when the working file goes, so that no
// closed stream is left behind in it.
class OutputReset {
public:
    explicit OutputReset(PDF::Env& env) : _env(env) {}
    ~OutputReset() { _env.SetOutput(nullptr); }
    OutputReset(const OutputReset&) = delete;
    OutputReset& operator=(const OutputReset&) = delete;

private:
    PDF::Env& _env;
};

// The objects of one sign operation's update. The working file is deleted
// unless its name was handed to the result.
struct SignWork {
    explicit SignWork(PDF::Env& env) : env(env) {}
    ~SignWork() { Destroy(); }
    SignWork(const SignWork&) = delete;
    SignWork& operator=(const SignWork&) = delete;

    // Stops writing: the environment forgets the working file, which goes.
    void Abandon() {
        env.SetOutput(nullptr);
        if (working) working->Discard();
    }
    // In this order: the field refers to the visual.
    void Destroy() {
        field = nullptr;
        signature.reset();
        created.reset();
        cms.reset();
        fields.reset();
        visual.reset();
        Abandon();
        working.reset();
    }

    PDF::Env& env;
    std::unique_ptr<PDF::Visual> visual;
    std::unique_ptr<PDF::Fields> fields;
    std::unique_ptr<PDF::Field> created;  // a new field
    PDF::Field* field = nullptr;          // the field signed: the new one, or one of `fields`
    std::unique_ptr<PDF::Signature> signature;
    std::unique_ptr<Crypto::CMSignature> cms;
    std::unique_ptr<WorkingFile> working;
};

// Writes the signed copy: the update appended to a copy of the document, the
// byte range fixed and the CMS signature written into the hole; the copy is
// then named in the result. False (logged, code set, nothing left on disk)
// when a set-up step fails; raises what the writer and the CMS object raise.
bool WriteSignedCopy(PropBase& request, Crypto::Certificate& certificate, ResultBase& result,
                     SignWork& work) {
    PDF::Env& env = request.Env();
    PDF::File* const document = request.Document();
    work.visual = std::make_unique<PDF::Visual>(&env);
    work.fields = std::make_unique<PDF::Fields>(&env);
    work.fields->Load();

    // A name that an empty signature field has signs that field where it is;
    // a signed field or one of another type is refused before anything is
    // written. Any other name makes a new field.
    PDF::Field* existing = !request.SigId().empty() ? work.fields->Fillable(request.SigId()) : nullptr;
    if (existing == nullptr) {
        work.created = std::make_unique<PDF::Field>(&env);
        work.created->SetName(!request.SigId().empty() ? request.SigId() : NewFieldName(*work.fields));
    }
    work.field = existing != nullptr ? existing : work.created.get();
    PDF::Field& field = *work.field;
    // The page of a visible signature is taken before anything is written:
    // one the document does not have is refused (-52) with nothing on disk.
    // A field of the document keeps its own page.
    VisualRepBase* const rep = request.GetVisualRep();
    const bool visible = rep != nullptr && rep->GetSurface() != nullptr;
    if (visible && field.GetPage() == nullptr) field.SetPage(rep->GetPage());

    work.working = std::make_unique<WorkingFile>(request.Files());
    std::FILE* const out = work.working->Get();
    if (out == nullptr) {
        LogSign("Temporary file-name problem!!!");
        result.SetError(kNoDocument);
        return false;
    }
    env.SetOutput(out);

    const Crypto::Platform* const platform = env.GetPlatform();
    if (platform != nullptr) work.cms = platform->CreateCMSignature();
    if (!work.cms) {
        // Without the request's crypto factory nothing can be signed.
        LogSign("CMS signature could not be created");
        result.SetError(kSetupFailed);
        work.Abandon();
        return false;
    }
    work.cms->SetSigner(&certificate);

    const unsigned long estimate = work.cms->GetSize(Crypto::Hash::SHA1);
    if (estimate == 0) {
        LogSign("Size estimate!!!");
        result.SetError(kSetupFailed);
        work.Abandon();
        return false;
    }

    document->CopySource();

    work.signature = std::make_unique<PDF::Signature>(&env);
    PDF::Signature& signature = *work.signature;
    signature.SetName(certificate.Subject());
    signature.SetLocation(request.Location());
    signature.SetReason(request.Reason());
    signature.SetContact(request.Contact());
    signature.WriteOut(estimate + kReserveMargin);

    if (visible) {
        work.visual->SetSurface(rep->GetSurface());
        work.visual->SetPageRotation(field.PageRotation());
        work.visual->WriteOut();
        field.SetVisual(work.visual.get());
    }

    field.SetSigOid(signature.GetOid());
    field.WriteOut(1);
    field.WriteOutPage();
    if (!field.IsLoaded()) document->WriteOutAppendedField(&field);
    env.GetXRefs()->WriteOut(out);
    document->WriteOutTrailer();

    signature.FixRange(PDF::Output::Position(out));

    if (!work.cms->InitSign()) {
        LogSign("InitSign failed");
        result.SetError(kSetupFailed);
        work.Abandon();
        return false;
    }
    signature.FillContents(work.cms.get());
    env.SetOutput(nullptr);
    // A copy whose last writes failed is never handed out.
    if (!work.working->Finish()) throw PDF::Exception(-64, "Could not write the working file");
    result.SetFile(work.working->Release());
    return true;
}

}  // namespace

FactoryPtr<ResultBase> PendrelBase::Sign(PropBase* request) {
    if (request == nullptr) {
        Logger::Get()->SetFunc("Sign");
        Logger::Get()->Log("Failing because %p %p", static_cast<void*>(request), static_cast<void*>(this));
        return nullptr;
    }
    FactoryPtr<ResultBase> result = CreateResultObject();
    if (!result) return nullptr;
    result->SetOrigin(request->Origin());

    PDF::Env& env = request->Env();
    if (env.GetFile() == nullptr || request->Document() == nullptr) {
        LogSign("File is empty!!!");
        result->SetError(kNoDocument);
        return result;
    }

    if (request->Document()->IsEncrypted()) {
        LogSign("Encrypted documents cannot be signed");
        result->SetError(kEncryptedDocument);
        return result;
    }

    const int options = request->Options();
    Crypto::Certificate* const certificate = request->GetCertificate();
    if (certificate == nullptr) {
        LogSign("Certificate was empty!!!");
        result->SetError(kNoCertificate);
        return result;
    }

    // A web page signs only what the user allows it to, asked before anything
    // else happens (no passphrase or PIN window, no download).
    if (request->Origin().IsWeb() && !ConsentToSign(*request, *certificate)) {
        result->SetError(kSignDenied);
        return result;
    }

    // The request's language and origin go to the windows it shows.
    const int language = request->Lang();
    const std::unique_ptr<StatusSigDlg> dialog = CreateStatusSigDlg();
    if (dialog) {
        dialog->SetCertificate(certificate);
        dialog->SetLanguage(language);
        dialog->SetOrigin(request->Origin().Text());
    }
    const auto showDialog = [&]() {
        if ((options & PropBase::kShowStatus) != 0 && dialog) dialog->Show();
    };

    certificate->Validate((options & PropBase::kCheckRevocation) != 0,
                          Crypto::PromptContext{request->Origin().Text(), language});

    // The certificate tests; the first that fails ends the operation.
    if ((options & PropBase::kSkipTimeValidity) == 0 && certificate->TimeValidity() != 0) {
        LogSign("Time validity");
        showDialog();
        result->SetError(FailureCode(certificate->Error(), kTimeFailed));
        return result;
    }
    if ((options & PropBase::kSkipChainValidity) == 0 && certificate->ChainValidity() != 0) {
        LogSign("Chain validity");
        showDialog();
        result->SetError(FailureCode(certificate->Error(), kChainFailed));
        return result;
    }
    if ((options & PropBase::kCheckRevocation) != 0 && certificate->CRLValidity() != 0 &&
        certificate->Error() != kNoDistributionPoint) {
        LogSign("CRL validity");
        showDialog();
        result->SetError(FailureCode(certificate->Error(), kRevocationFailed));
        return result;
    }

    // An encrypted key or a key on a token opens now (the passphrase or PIN
    // may be asked for), before anything is written.
    try {
        certificate->UnlockPrivateKey(Crypto::PromptContext{request->Origin().Text(), request->Lang()});
    } catch (const Crypto::Exception& e) {
        Logger::Get()->SetFunc("Sign");
        Logger::Get()->Log("Private key not available %d - %s", e.Code(), e.what());
        result->SetError(e.Code());
        return result;
    }

    // A document that an earlier sign wrote an update for is opened again.
    if (!FreshDocument(*request)) {
        LogSign("File is empty!!!");
        result->SetError(kNoDocument);
        return result;
    }

    bool completed = false;
    {
        SignWork work(env);
        try {
            if (WriteSignedCopy(*request, *certificate, *result, work)) {
                FactoryPtr<CertInfoBase> certInfo = CreateCertificateObject();
                if (!certInfo) {
                    result->SetError(0);
                    LogSign("Certificate object creation !!!");
                } else {
                    certInfo->LoadCertificate(certificate);
                    FactoryPtr<SignatureBase> list = CreateSignatureObject();
                    if (!list) {
                        result->SetError(0);
                        LogSign("Signature Object creation!!!");
                    } else {
                        list->AddSignature(work.field->GetName(), work.signature.get(), 0,
                                           certificate->Status(), std::move(certInfo));
                        result->SetSignatures(std::move(list));
                        if (certificate->Error() != kSuccess) result->SetError(certificate->Error());
                        showDialog();
                        completed = true;
                    }
                }
            }
        } catch (const PDF::Exception& e) {
            Logger::Get()->SetFunc("Sign");
            Logger::Get()->Log("PDFException %d - %s", e.Code(), e.what());
            result->SetError(e.Code());
            work.Abandon();
        } catch (const Crypto::Exception& e) {
            Logger::Get()->SetFunc("Sign");
            Logger::Get()->Log("Crypto Exception %d - %s", e.Code(), e.what());
            result->SetError(e.Code());
            work.Abandon();
        }
        work.Destroy();
    }

    if (completed) LogSign("Returning ok result");
    return result;
}

std::unique_ptr<SignConsentDlg> PendrelBase::CreateSignConsentDlg() {
    return nullptr;
}

bool PendrelBase::ConsentToSign(const PropBase& request, const Crypto::Certificate& certificate) {
    const PageOrigin& origin = request.Origin();
    Logger::Get()->SetFunc("Sign");
    if (origin.GetKind() == PageOrigin::Web && AllowedOrigins::Contains(origin.Text())) {
        Logger::Get()->Log("Signing allowed for good for %s", origin.Text().c_str());
        return true;
    }
    const std::unique_ptr<SignConsentDlg> dialog = CreateSignConsentDlg();
    if (!dialog) {
        Logger::Get()->Log("Signing denied for %s: nobody to ask", origin.Text().c_str());
        return false;
    }
    dialog->SetLanguage(request.Lang());
    dialog->SetOrigin(origin.Text());
    dialog->SetDocument(request.DocumentName(), request.Document()->FileSize());
    dialog->SetCertificate(certificate.Subject());
    dialog->SetRememberable(origin.GetKind() == PageOrigin::Web);
    const SignConsentDlg::Answer answer = dialog->Show();
    Logger::Get()->SetFunc("Sign");
    if (answer == SignConsentDlg::Deny) {
        Logger::Get()->Log("Signing denied by the user for %s", origin.Text().c_str());
        return false;
    }
    // Allowed now even when the choice cannot be kept (AllowedOrigins logs why).
    if (answer == SignConsentDlg::AllowAlways && origin.GetKind() == PageOrigin::Web)
        AllowedOrigins::Add(origin.Text());
    Logger::Get()->Log("Signing allowed by the user for %s", origin.Text().c_str());
    return true;
}

FactoryPtr<ResultBase> PendrelBase::Verify(PropBase* request) {
    if (request == nullptr) return nullptr;

    // The request's language and origin go to the windows it shows.
    const int language = request->Lang();
    std::unique_ptr<StatusDlg> dialog = CreateStatusDlg();
    if (dialog) {
        dialog->SetLanguage(language);
        dialog->SetOrigin(request->Origin().Text());
    }
    FactoryPtr<ResultBase> result = CreateResultObject();
    if (!result) return nullptr;
    result->SetOrigin(request->Origin());

    PDF::Env& env = request->Env();
    if (env.GetFile() == nullptr || request->Document() == nullptr || !FreshDocument(*request)) {
        result->SetError(kNoDocument);
        return result;
    }

    const int options = request->Options();
    // The loaded signatures live until the dialog has been shown: it reads them.
    std::vector<std::unique_ptr<PDF::Signature>> loaded;
    std::unique_ptr<PDF::Fields> fields;
    try {
        fields = std::make_unique<PDF::Fields>(&env);
        fields->Load();
        if (dialog) dialog->SetVersions(env.GetVersions());

        FactoryPtr<SignatureBase> created = CreateSignatureObject();
        if (!created) {
            result->SetError(0);
            return result;
        }
        SignatureBase* const list = created.get();  // the result keeps it
        result->SetSignatures(std::move(created));
        list->SetRevisionCount(RevisionCount(env));

        bool reported = false;
        const std::int32_t count = static_cast<std::int32_t>(fields->Count());
        for (std::int32_t i = 0; i < count; ++i) {
            PDF::Field* const field = fields->At(static_cast<std::size_t>(i));
            std::unique_ptr<PDF::Signature> signature = field->GetSignature();
            if (!signature) continue;
            // Detached CMS signatures (PAdES among them) and document time
            // stamps are verified; other sub-filters are passed over.
            if (signature->GetKind() == PDF::Signature::kUnsupported) continue;
            const PDF::Signature::VerifyError code = signature->Verify();
            if (code != PDF::Signature::kVerified && code != PDF::Signature::kNotVerified) continue;

            std::string status = "XXXX";
            status[2] = code == PDF::Signature::kVerified ? '1' : '0';

            Crypto::CMSignature* const cms = signature->GetCMS();
            Crypto::Certificate* const signer = cms != nullptr ? cms->SignerCert() : nullptr;
            if (signer == nullptr) continue;
            signer->Validate((options & PropBase::kCheckRevocation) != 0,
                             Crypto::PromptContext{request->Origin().Text(), language});
            status[0] = StatusChar(signer->TimeValidity());
            status[1] = StatusChar(signer->ChainValidity());
            status[3] = StatusChar(signer->CRLValidity());

            FactoryPtr<CertInfoBase> certInfo = CreateCertificateObject();
            if (!certInfo) {
                // The entries so far stay; no dialog.
                result->SetError(0);
                return result;
            }
            certInfo->LoadCertificate(signer);
            signature->MatchVersion();
            list->AddSignature(field->GetName(), signature.get(), static_cast<short>(signer->Error()), status,
                               std::move(certInfo));
            if (dialog) dialog->AddSignature(field->GetName(), signature.get(), code);
            loaded.push_back(std::move(signature));
            reported = true;
        }

        if ((options & PropBase::kShowStatus) != 0 && dialog) dialog->Show();
        result->SetError(reported ? kSuccess : kNoSignatureFound);
    } catch (const PDF::Exception& e) {
        result->SetError(e.Code());
    } catch (const Crypto::Exception& e) {
        result->SetError(e.Code());
    }
    return result;
}
