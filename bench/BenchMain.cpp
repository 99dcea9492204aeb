// Signs, verifies or only loads one document through the engine, for timing:
//   pendrel-bench sign <in.pdf> <cert.pem> <key.pem> <out.pdf>
//   pendrel-bench verify <in.pdf>
//   pendrel-bench load <in.pdf or URL> <working-folder>
// Exits 0 when the operation reports success (and, for verify, every
// signature checks).

#include <openssl/pem.h>

#include <cstdio>
#include <memory>
#include <string>

#include "crypto/openssl/CertificateOpenSSL.h"
#include "crypto/openssl/OpenSSLPtr.h"
#include "crypto/openssl/PlatformOpenSSL.h"
#include "engine/CertInfoBase.h"
#include "engine/PendrelBase.h"
#include "engine/PropBase.h"
#include "engine/ResultBase.h"
#include "engine/SignatureBase.h"
#include "engine/StatusDlg.h"
#include "engine/StatusSigDlg.h"
#include "pdf/FileManager.h"

namespace {

class BenchResult final : public ResultBase {
public:
    void SetSignatures(FactoryPtr<SignatureBase> signatures) override { list = std::move(signatures); }
    FactoryPtr<SignatureBase> list;
};

class BenchCertInfo final : public CertInfoBase {};

class NoStatusSigDlg final : public StatusSigDlg {
public:
    void Show() override {}
};

class NoStatusDlg final : public StatusDlg {
public:
    void Show() override {}
};

class BenchEngine final : public PendrelBase {
public:
    std::unique_ptr<BenchResult> Run(bool sign, PropBase* request) {
        return std::unique_ptr<BenchResult>(
            static_cast<BenchResult*>((sign ? Sign(request) : Verify(request)).release()));
    }

protected:
    FactoryPtr<ResultBase> CreateResultObject() override { return Deleting<ResultBase>(new BenchResult()); }
    FactoryPtr<CertInfoBase> CreateCertificateObject() override {
        return Deleting<CertInfoBase>(new BenchCertInfo());
    }
    FactoryPtr<SignatureBase> CreateSignatureObject() override { return Deleting(new SignatureBase()); }
    std::unique_ptr<StatusSigDlg> CreateStatusSigDlg() override { return std::make_unique<NoStatusSigDlg>(); }
    std::unique_ptr<StatusDlg> CreateStatusDlg() override { return std::make_unique<NoStatusDlg>(); }
};

class BenchRequest final : public PropBase {
public:
    explicit BenchRequest(PDF::FileManager* files) : PropBase(files) {
        SetPlatform(std::make_unique<Crypto::PlatformOpenSSL>());
    }
    VisualRepBase* GetVisualRep() override { return nullptr; }
    Crypto::Certificate* GetCertificate() override { return certificate.get(); }
    std::unique_ptr<Crypto::Certificate> certificate;
};

std::unique_ptr<Crypto::Certificate> LoadIdentity(const char* certPem, const char* keyPem) {
    Crypto::BIOPtr certBio(BIO_new_file(certPem, "r"));
    Crypto::BIOPtr keyBio(BIO_new_file(keyPem, "r"));
    if (!certBio || !keyBio) return nullptr;
    Crypto::X509Ptr x509(PEM_read_bio_X509(certBio.get(), nullptr, nullptr, nullptr));
    Crypto::EVPPKeyPtr key(PEM_read_bio_PrivateKey(keyBio.get(), nullptr, nullptr, nullptr));
    if (!x509 || !key) return nullptr;
    return std::make_unique<Crypto::CertificateOpenSSL>(x509.get(), key.get());
}

std::string Folder(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? "./" : path.substr(0, slash + 1);
}

}  // namespace

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    const bool sign = mode == "sign" && argc == 6;
    const bool load = mode == "load" && argc == 4;
    if (!sign && !load && !(mode == "verify" && argc == 3)) {
        std::fprintf(stderr, "usage: %s sign IN CERT KEY OUT | verify IN | load IN FOLDER\n", argv[0]);
        return 2;
    }
    if (load) {
        PDF::FileManager files(std::string(argv[3]) + "/");
        BenchRequest request(&files);
        request.SetFile(argv[2]);
        request.LoadFileFromURL();
        if (request.Pages() <= 0) {
            std::fprintf(stderr, "load failed: %d\n", request.Pages());
            return 1;
        }
        return 0;
    }
    // Working files beside the output, so that the signed copy is renamed into place.
    PDF::FileManager files(Folder(sign ? argv[5] : argv[2]));
    BenchRequest request(&files);
    request.SetFile(argv[2]);
    request.LoadFileFromURL();
    if (request.Error() != 0) {
        std::fprintf(stderr, "load failed: %d\n", request.Error());
        return 1;
    }
    if (sign) {
        request.certificate = LoadIdentity(argv[3], argv[4]);
        if (!request.certificate) {
            std::fprintf(stderr, "no identity\n");
            return 1;
        }
        // Only the document work is measured: the certificate tests are skipped.
        request.SetOptions(PropBase::kSkipTimeValidity | PropBase::kSkipChainValidity);
    }
    BenchEngine engine;
    std::unique_ptr<BenchResult> result = engine.Run(sign, &request);
    if (!result) return 1;
    if (sign) {
        if (result->File().empty() || std::rename(result->File().c_str(), argv[5]) != 0) {
            std::fprintf(stderr, "sign failed: %d\n", result->Error());
            return 1;
        }
        result->SetFile("");
        return 0;
    }
    const SignatureBase* const list = result->list.get();
    if (result->Error() != 1 || list == nullptr || list->Count() == 0) {
        std::fprintf(stderr, "verify failed: %d\n", result->Error());
        return 1;
    }
    for (std::size_t i = 0; i < list->Count(); ++i) {
        if (list->At(i).status.size() != 4 || list->At(i).status[2] != '1') {
            std::fprintf(stderr, "signature %zu does not verify: %s\n", i, list->At(i).status.c_str());
            return 1;
        }
    }
    return 0;
}
