#pragma once

// The engine driven as the script layer drives it: a request whose document
// and certificate the test sets, factories that record what they create, and
// dialogs that record when they are shown.

#include <openssl/pem.h>

#include <cstdio>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "crypto/openssl/CertificateOpenSSL.h"
#include "crypto/openssl/OpenSSLPtr.h"
#include "crypto/openssl/PlatformOpenSSL.h"
#include "engine/CertInfoBase.h"
#include "engine/PendrelBase.h"
#include "engine/PropBase.h"
#include "engine/ResultBase.h"
#include "engine/SignConsentDlg.h"
#include "engine/SignatureBase.h"
#include "engine/StatusDlg.h"
#include "engine/StatusSigDlg.h"
#include "pdf/FileManager.h"
#include "support/TestPKI.h"

namespace PendrelTest {

// What the dialogs saw while they were shown.
struct DialogRecord {
    int sigShows = 0;
    std::string sigSubjectAtShow;
    int sigLanguageAtShow = -1;
    std::string sigOriginAtShow;
    int statusShows = 0;
    int statusLanguageAtShow = -1;
    std::string statusOriginAtShow;
    std::vector<std::string> statusNamesAtShow;
    std::vector<int> statusCodesAtShow;
    bool versionsAtShow = false;
};

class RecordingStatusSigDlg final : public StatusSigDlg {
public:
    explicit RecordingStatusSigDlg(DialogRecord& record) : _record(record) {}
    void Show() override {
        ++_record.sigShows;
        _record.sigSubjectAtShow = GetCertificate() != nullptr ? GetCertificate()->Subject() : "";
        _record.sigLanguageAtShow = Language();
        _record.sigOriginAtShow = Origin();
    }

private:
    DialogRecord& _record;
};

class RecordingStatusDlg final : public StatusDlg {
public:
    explicit RecordingStatusDlg(DialogRecord& record) : _record(record) {}
    void Show() override {
        ++_record.statusShows;
        _record.versionsAtShow = GetVersions() != nullptr;
        _record.statusLanguageAtShow = Language();
        _record.statusOriginAtShow = Origin();
        _record.statusNamesAtShow.clear();
        _record.statusCodesAtShow.clear();
        for (const SigItem& item : Signatures()) {
            // The signatures are read while the dialog is up.
            _record.statusNamesAtShow.push_back(item.name + (item.signature->GetCMS() != nullptr ? "" : "?"));
            _record.statusCodesAtShow.push_back(item.code);
        }
    }

private:
    DialogRecord& _record;
};

// Answers the consent question as the test's function does.
class ScriptedConsentDlg final : public SignConsentDlg {
public:
    using Script = std::function<Answer(const SignConsentDlg&)>;
    explicit ScriptedConsentDlg(Script script) : _script(std::move(script)) {}
    Answer Show() override { return _script(*this); }

private:
    Script _script;
};

class TestResult final : public ResultBase {
public:
    void SetSignatures(FactoryPtr<SignatureBase> signatures) override { _list = std::move(signatures); }
    SignatureBase* List() const { return _list.get(); }

private:
    FactoryPtr<SignatureBase> _list;
};

class TestSignatureList final : public SignatureBase {};

class TestCertInfo final : public CertInfoBase {};

class TestEngine final : public PendrelBase {
public:
    std::unique_ptr<TestResult> SignRequest(PropBase* request) {
        return std::unique_ptr<TestResult>(static_cast<TestResult*>(Sign(request).release()));
    }
    std::unique_ptr<TestResult> VerifyRequest(PropBase* request) {
        return std::unique_ptr<TestResult>(static_cast<TestResult*>(Verify(request).release()));
    }

    bool failResult = false;
    bool failList = false;
    int certInfosAllowed = 1000;  // creations before the factory answers null
    // Certificate information made and given back (counted past this engine).
    std::shared_ptr<int> certInfosMade = std::make_shared<int>(0);
    std::shared_ptr<int> certInfosReleased = std::make_shared<int>(0);
    DialogRecord dialogs;
    // How a web page's sign is answered; without either there is no window to ask in.
    ScriptedConsentDlg::Script consent;
    std::function<std::unique_ptr<SignConsentDlg>()> consentWindow;

protected:
    FactoryPtr<ResultBase> CreateResultObject() override {
        return failResult ? nullptr : Deleting<ResultBase>(new TestResult());
    }
    FactoryPtr<CertInfoBase> CreateCertificateObject() override {
        if (certInfosAllowed-- <= 0) return nullptr;
        ++*certInfosMade;
        return FactoryPtr<CertInfoBase>(
            new TestCertInfo(),
            FactoryRelease<CertInfoBase>{[released = certInfosReleased](CertInfoBase* info) {
                ++*released;
                delete info;
            }});
    }
    FactoryPtr<SignatureBase> CreateSignatureObject() override {
        return failList ? nullptr : Deleting<SignatureBase>(new TestSignatureList());
    }
    std::unique_ptr<StatusSigDlg> CreateStatusSigDlg() override {
        return std::make_unique<RecordingStatusSigDlg>(dialogs);
    }
    std::unique_ptr<StatusDlg> CreateStatusDlg() override {
        return std::make_unique<RecordingStatusDlg>(dialogs);
    }
    std::unique_ptr<SignConsentDlg> CreateSignConsentDlg() override {
        if (consentWindow) return consentWindow();
        if (!consent) return nullptr;
        return std::make_unique<ScriptedConsentDlg>(consent);
    }
};

// A request over the test's file manager, with the OpenSSL crypto factory.
class TestRequest final : public PropBase {
public:
    explicit TestRequest(PDF::FileManager* files, std::unique_ptr<Crypto::Platform> platform =
                                                      std::make_unique<Crypto::PlatformOpenSSL>())
        : PropBase(files) {
        if (platform) SetPlatform(std::move(platform));
    }
    VisualRepBase* GetVisualRep() override { return visual; }
    Crypto::Certificate* GetCertificate() override { return certificate.get(); }

    void Load(const std::string& path) {
        SetFile(path);
        LoadFileFromURL();
    }

    std::unique_ptr<Crypto::Certificate> certificate;
    VisualRepBase* visual = nullptr;
};

// A certificate of the test PKI read with OpenSSL from its PEM files, with
// its private key when it has one.
inline std::unique_ptr<Crypto::CertificateOpenSSL> LoadIdentity(TestSupport::TestPKI::Id id,
                                                                bool withKey = true) {
    const TestSupport::PKICert& cert = TestSupport::TestPKI::Shared().Get(id);
    Crypto::BIOPtr certBio(BIO_new_file(cert.certPem.c_str(), "r"));
    if (!certBio) throw std::runtime_error("no " + cert.certPem);
    Crypto::X509Ptr x509(PEM_read_bio_X509(certBio.get(), nullptr, nullptr, nullptr));
    if (!x509) throw std::runtime_error("bad " + cert.certPem);
    if (!withKey || cert.keyPem.empty()) return std::make_unique<Crypto::CertificateOpenSSL>(x509.get());
    Crypto::BIOPtr keyBio(BIO_new_file(cert.keyPem.c_str(), "r"));
    if (!keyBio) throw std::runtime_error("no " + cert.keyPem);
    Crypto::EVPPKeyPtr key(PEM_read_bio_PrivateKey(keyBio.get(), nullptr, nullptr, nullptr));
    if (!key) throw std::runtime_error("bad " + cert.keyPem);
    return std::make_unique<Crypto::CertificateOpenSSL>(x509.get(), key.get());
}

// A signer whose validation answers what the test scripts.
class ScriptedCertificate final : public Crypto::CertificateOpenSSL {
public:
    ScriptedCertificate(const Crypto::CertificateOpenSSL& identity, int time, int chain, int crl, int error)
        : Crypto::CertificateOpenSSL(identity), _time(time), _chain(chain), _crl(crl), _error(error) {}
    using Crypto::CertificateOpenSSL::Validate;
    void Validate(bool checkCRL, const Crypto::PromptContext& context) override {
        ++validations;
        lastCheckCRL = checkCRL;
        lastLanguage = context.language;
        lastValidateOrigin = context.origin;
    }
    void UnlockPrivateKey(const Crypto::PromptContext& context) override {
        lastPromptOrigin = context.origin;
        Crypto::CertificateOpenSSL::UnlockPrivateKey(context);
    }
    int TimeValidity() const override { return _time; }
    int ChainValidity() const override { return _chain; }
    int CRLValidity() const override { return _crl; }
    int Error() const override { return _error; }
    std::string Status() const override {
        const auto c = [](int v) { return v == 0 ? '1' : v == 1 ? '0' : 'X'; };
        return std::string{c(_time), c(_chain), 'X', c(_crl)};
    }

    int validations = 0;
    bool lastCheckCRL = false;
    int lastLanguage = -1;
    std::string lastPromptOrigin = "(not asked)";
    std::string lastValidateOrigin = "(not validated)";

private:
    int _time, _chain, _crl, _error;
};

}  // namespace PendrelTest
