// Verifying a document end to end through the engine, and signing it: no
// crash, a verdict for every listed signature, and a copy the engine signed
// successfully verifies, its new signature intact and covering the whole file.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <utility>

#include "crypto/openssl/PlatformOpenSSL.h"
#include "engine/CertInfoBase.h"
#include "engine/PendrelBase.h"
#include "engine/PropBase.h"
#include "engine/ResultBase.h"
#include "engine/ResultCodes.h"
#include "engine/SignatureBase.h"
#include "engine/StatusDlg.h"
#include "engine/StatusSigDlg.h"
#include "fuzz/FuzzIdentity.h"
#include "fuzz/FuzzSupport.h"

namespace {

class Result final : public ResultBase {
public:
    void SetSignatures(FactoryPtr<SignatureBase> signatures) override { _list = std::move(signatures); }
    SignatureBase* List() const { return _list.get(); }

private:
    FactoryPtr<SignatureBase> _list;
};

class List final : public SignatureBase {};
class CertInfo final : public CertInfoBase {};
class NoStatusSigDlg final : public StatusSigDlg {
public:
    void Show() override {}
};
class NoStatusDlg final : public StatusDlg {
public:
    void Show() override {}
};

class Engine final : public PendrelBase {
public:
    std::unique_ptr<Result> SignRequest(PropBase* request) { return Own(Sign(request)); }
    std::unique_ptr<Result> VerifyRequest(PropBase* request) { return Own(Verify(request)); }

protected:
    FactoryPtr<ResultBase> CreateResultObject() override { return Deleting<ResultBase>(new Result()); }
    FactoryPtr<CertInfoBase> CreateCertificateObject() override {
        return Deleting<CertInfoBase>(new CertInfo());
    }
    FactoryPtr<SignatureBase> CreateSignatureObject() override { return Deleting<SignatureBase>(new List()); }
    std::unique_ptr<StatusSigDlg> CreateStatusSigDlg() override { return std::make_unique<NoStatusSigDlg>(); }
    std::unique_ptr<StatusDlg> CreateStatusDlg() override { return std::make_unique<NoStatusDlg>(); }

private:
    static std::unique_ptr<Result> Own(FactoryPtr<ResultBase> made) {
        return std::unique_ptr<Result>(static_cast<Result*>(made.release()));
    }
};

class Request final : public PropBase {
public:
    Request() { SetPlatform(std::make_unique<Crypto::PlatformOpenSSL>()); }
    VisualRepBase* GetVisualRep() override { return nullptr; }
    Crypto::Certificate* GetCertificate() override { return certificate; }
    Crypto::Certificate* certificate = nullptr;
};

// Every listed signature has a four-character status and a revision of the
// document (or -1).
void CheckList(const Result& result) {
    const SignatureBase* const list = result.List();
    if (list == nullptr) return;
    for (std::size_t i = 0; i < list->Count(); ++i) {
        const SignatureBase::SigInfo& info = list->At(i);
        FUZZ_CHECK(info.status.size() == 4);
        FUZZ_CHECK(info.status[2] == '0' || info.status[2] == '1');
        FUZZ_CHECK(info.docRevision == -1 ||
                   (info.docRevision >= 0 && info.docRevision < list->RevisionCount()));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::unique_ptr<Crypto::CertificateOpenSSL> signer = Fuzz::IdentityCertificate();
    const std::string path = Fuzz::WriteInput(data, size, "verify.pdf");
    Engine engine;

    Request request;
    request.SetFile(path);
    request.LoadFileFromURL();
    if (request.Error() != ResultCode::kNoError) return 0;
    const std::unique_ptr<Result> verified = engine.VerifyRequest(&request);
    FUZZ_CHECK(verified != nullptr);
    CheckList(*verified);
    const int before = verified->Error();

    // Sign it; a copy reported as signed must verify.
    request.certificate = signer.get();
    request.SetOptions(PropBase::kSkipTimeValidity | PropBase::kSkipChainValidity);
    const std::unique_ptr<Result> signedCopy = engine.SignRequest(&request);
    FUZZ_CHECK(signedCopy != nullptr);
    if (signedCopy->Error() != 1) return 0;
    const std::string copy = signedCopy->File();
    FUZZ_CHECK(!copy.empty());
    FUZZ_CHECK(signedCopy->List() != nullptr && signedCopy->List()->Count() == 1);
    const std::string field = signedCopy->List()->At(0).sigId;

    Request check;
    check.SetFile(copy);
    check.LoadFileFromURL();
    FUZZ_CHECK(check.Error() == ResultCode::kNoError);
    const std::unique_ptr<Result> again = engine.VerifyRequest(&check);
    FUZZ_CHECK(again != nullptr);
    // A document whose own signatures cannot be read (a dictionary without
    // /Contents, say) fails the same way once signed: our signature on top
    // changes nothing of that.
    if (before != 1 && before != ResultCode::kNoSignatureFound) {
        FUZZ_CHECK(again->Error() == before);
        return 0;
    }
    if (again->Error() != 1) std::fprintf(stderr, "verify of the signed copy: %d\n", again->Error());
    FUZZ_CHECK(again->Error() == 1 && again->List() != nullptr);
    CheckList(*again);
    const SignatureBase* const list = again->List();
    bool found = false;
    for (std::size_t i = 0; i < list->Count(); ++i) {
        const SignatureBase::SigInfo& info = list->At(i);
        if (info.sigId != field) continue;
        found = true;
        FUZZ_CHECK(info.status[2] == '1');
        FUZZ_CHECK(info.docRevision == list->RevisionCount() - 1);
    }
    FUZZ_CHECK(found);
    std::remove(copy.c_str());
    return 0;
}
