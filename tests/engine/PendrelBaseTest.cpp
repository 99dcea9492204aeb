// Sign and Verify through the engine: every failure row with its code, log
// line, dialog and working file, and the signed copies read back.
#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "common/MsgLoaderFile.h"
#include "common/Util.h"
#include "crypto/CMSignature.h"
#include "crypto/CertStore.h"
#include "crypto/CryptoCodes.h"
#include "crypto/openssl/CertStoreFile.h"
#include "engine/PendrelBase.h"
#include "engine/VisualRepBase.h"
#include "pdf/Field.h"
#include "pdf/Fields.h"
#include "pdf/FileManager.h"
#include "pdf/Signature.h"
#include "support/LogCapture.h"
#include "support/OpenedDocument.h"
#include "support/PdfBuilder.h"
#include "support/Process.h"
#include "support/ScopedEnv.h"
#include "support/SignDocument.h"
#include "support/SoftHsm.h"
#include "support/TempDir.h"
#include "support/TestPKI.h"
#include "support/ThirdPartyTools.h"
#include "tests/engine/PendrelBaseHarness.h"

using PendrelTest::LoadIdentity;
using PendrelTest::ScriptedCertificate;
using PendrelTest::TestEngine;
using PendrelTest::TestRequest;
using PendrelTest::TestResult;
using TestSupport::LogCapture;
using TestSupport::PdfBuilder;
using TestSupport::TestPKI;

namespace {

// A CMS object that answers a fixed size estimate; the rest is OpenSSL's.
class SizedCMS final : public Crypto::CMSignature {
public:
    SizedCMS(std::unique_ptr<Crypto::CMSignature> real, std::uint32_t size)
        : _real(std::move(real)), _size(size) {}
    bool Load(const unsigned char* cms, unsigned long length, unsigned long contentSize) override {
        return _real->Load(cms, length, contentSize);
    }
    void SetSigner(Crypto::Certificate* signer) override { _real->SetSigner(signer); }
    void AddCert(Crypto::Certificate* certificate) override { _real->AddCert(certificate); }
    std::uint32_t GetSize(Crypto::Hash::HashType) const override { return _size; }
    bool InitSign() override { return _real->InitSign(); }
    bool Sign(unsigned char* out, unsigned long& size) override { return _real->Sign(out, size); }
    bool FeedContent(const unsigned char* data, unsigned long length, bool last) override {
        return _real->FeedContent(data, length, last);
    }
    bool Verify() override { return _real->Verify(); }
    int CertsCount() const override { return _real->CertsCount(); }
    Crypto::Certificate* SignerCert() const override { return _real->SignerCert(); }
    Crypto::Certificate* GetCert(int index) const override { return _real->GetCert(index); }

private:
    std::unique_ptr<Crypto::CMSignature> _real;
    std::uint32_t _size;
};

class SizedPlatform final : public Crypto::Platform {
public:
    explicit SizedPlatform(std::uint32_t size) : _size(size) {}
    std::unique_ptr<Crypto::Certificate> CreateCertificate(const unsigned char* der,
                                                           unsigned long length) const override {
        return _real.CreateCertificate(der, length);
    }
    std::unique_ptr<Crypto::CertStore> CreateCertStore() const override { return _real.CreateCertStore(); }
    std::unique_ptr<Crypto::CMSignature> CreateCMSignature() const override {
        return std::make_unique<SizedCMS>(_real.CreateCMSignature(), _size);
    }
    std::unique_ptr<Crypto::CMSignature> CreateTimeStampToken() const override {
        return _real.CreateTimeStampToken();
    }
    std::unique_ptr<Crypto::Hash> CreateHash(Crypto::Hash::HashType type) const override {
        return _real.CreateHash(type);
    }

private:
    Crypto::PlatformOpenSSL _real;
    std::uint32_t _size;
};

std::vector<std::string> FilesIn(const std::string& folder) {
    std::vector<std::string> names;
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr) return names;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..") names.push_back(name);
    }
    ::closedir(dir);
    return names;
}

// The signature fields of a file as our reader lists them: name and verification code.
std::vector<std::pair<std::string, int>> FieldsOf(const std::string& path) {
    TestSupport::OpenedDocument document(path);
    Crypto::PlatformOpenSSL platform;
    document.Env().SetPlatform(&platform);
    PDF::Fields fields(&document.Env());
    fields.Load();
    std::vector<std::pair<std::string, int>> out;
    for (std::size_t i = 0; i < fields.Count(); ++i) {
        const std::unique_ptr<PDF::Signature> signature = fields.At(i)->GetSignature();
        out.emplace_back(fields.At(i)->GetName(), signature ? signature->Verify() : -1);
    }
    return out;
}

// `bytes` with the /ByteRange of their last signature rewritten in place,
// its fourth value grown by `extra` (the array keeps its width).
std::string WithLongerSecondRange(std::string bytes, long long extra) {
    const std::size_t at = bytes.rfind("/ByteRange[");
    const std::size_t contents = bytes.find("/Contents", at);
    if (at == std::string::npos || contents == std::string::npos) return bytes;
    long long b[4] = {0, 0, 0, 0};
    std::sscanf(bytes.c_str() + at + 11, "%lld %lld %lld %lld", &b[0], &b[1], &b[2], &b[3]);
    std::string array = "[" + std::to_string(b[0]) + " " + std::to_string(b[1]) + " " + std::to_string(b[2]) +
                        " " + std::to_string(b[3] + extra) + "]";
    const std::size_t width = contents - (at + 10);
    array.resize(width, ' ');
    return bytes.replace(at + 10, width, array);
}

class PendrelBaseTest : public ::testing::Test {
protected:
    PendrelBaseTest() : _keychain("PENDREL_KEYCHAIN", TestPKI::Shared().Keychain().c_str()) {
        ::mkdir(_dir.File("work").c_str(), 0700);
        _files = std::make_unique<PDF::FileManager>(_dir.File("work"));
        PdfBuilder plain;
        plain.BasicDocument(2);
        plain.TrailerExtra("/ID[<00112233445566778899AABBCCDDEEFF><00112233445566778899AABBCCDDEEFF>]");
        plain.EndRevision();
        plain.Save(Plain());
    }

    std::string Plain() const { return _dir.File("plain.pdf"); }
    std::string Work() const { return _dir.File("work"); }

    // A request over `path` signing as the plain test signer.
    std::unique_ptr<TestRequest> Request(const std::string& path,
                                         std::unique_ptr<Crypto::Certificate> certificate = nullptr) {
        auto request = std::make_unique<TestRequest>(_files.get());
        if (!path.empty()) request->Load(path);
        request->certificate = certificate ? std::move(certificate) : LoadIdentity(TestPKI::Signer);
        return request;
    }

    // `path` signed `times` times by the writer, each a new revision.
    std::string SignedBefore(int times) {
        std::string path = Plain();
        for (int i = 1; i <= times; ++i) {
            TestSupport::SignOptions options;
            options.fieldName = "Earlier " + std::to_string(i);
            const std::string next =
                _dir.File("earlier" + std::to_string(++_madeCount) + "-" + std::to_string(i) + ".pdf");
            TestSupport::SignDocument(path, next, options);
            path = next;
        }
        return path;
    }

    TestSupport::TempDir _dir;
    TestSupport::ScopedEnv _keychain;
    std::unique_ptr<PDF::FileManager> _files;
    int _madeCount = 0;
};

TEST_F(PendrelBaseTest, NullRequestOrResultGivesNoResult) {
    TestEngine engine;
    LogCapture log;
    EXPECT_EQ(engine.SignRequest(nullptr), nullptr);
    EXPECT_TRUE(log.Contains("] Sign: Failing because (nil)"));
    EXPECT_EQ(engine.VerifyRequest(nullptr), nullptr);

    engine.failResult = true;
    const auto request = Request(Plain());
    EXPECT_EQ(engine.SignRequest(request.get()), nullptr);
    EXPECT_EQ(engine.VerifyRequest(request.get()), nullptr);
    EXPECT_EQ(engine.dialogs.sigShows + engine.dialogs.statusShows, 0);
    EXPECT_TRUE(FilesIn(Work()).empty());
}

// Every way a sign ends before a signed copy exists.
TEST_F(PendrelBaseTest, SignFailures) {
    struct Case {
        const char* name;
        std::function<std::unique_ptr<TestRequest>()> request;
        int options;
        int error;
        const char* logLine;
        int dialogShows;
    };
    const auto scripted = [&](int time, int chain, int crl, int error) {
        return [=]() {
            return Request(Plain(), std::make_unique<ScriptedCertificate>(*LoadIdentity(TestPKI::Signer),
                                                                          time, chain, crl, error));
        };
    };
    PdfBuilder v21("2.1");
    v21.BasicDocument(1);
    v21.EndRevision();
    v21.Save(_dir.File("v21.pdf"));
    // Encrypted documents open with the empty user password.
    const std::vector<TestSupport::Encryption>& methods = TestSupport::Encryptions();
    ASSERT_EQ(TestSupport::Encrypt(Plain(), _dir.File("rc4-40.pdf"), methods[0]), 0);
    ASSERT_EQ(TestSupport::Encrypt(Plain(), _dir.File("aes-128.pdf"), methods[2]), 0);
    ASSERT_EQ(TestSupport::Encrypt(Plain(), _dir.File("aes-256.pdf"), methods[3]), 0);
    PdfBuilder unsignedField;
    unsignedField.BasicDocument(1, "/AcroForm<</Fields[4 0 R]>>", "/Annots[4 0 R]");
    unsignedField.Object(4, "<</FT/Sig/T(Empty)/Type/Annot/Subtype/Widget/Rect[0 0 0 0]/P 3 0 R/F 132>>");
    unsignedField.EndRevision();
    unsignedField.Save(_dir.File("unsigned-field.pdf"));
    // Its field once signed where it is, and a text field: each named by sigId.
    TestSupport::SignOptions fill;
    fill.fieldName = "Empty";
    fill.intoField = true;
    TestSupport::SignDocument(_dir.File("unsigned-field.pdf"), _dir.File("filled.pdf"), fill);
    PdfBuilder textField;
    textField.BasicDocument(1);
    textField.AcroForm({textField.Add("<</FT/Tx/T(Name)/V(Jane)>>")});
    textField.EndRevision();
    textField.Save(_dir.File("text-field.pdf"));
    const auto naming = [&](const std::string& path, const std::string& sigId) {
        return [&, path, sigId]() {
            auto r = Request(path);
            r->SetSigId(sigId);
            return r;
        };
    };

    // A visible signature on a page the two-page document does not have.
    std::vector<std::unique_ptr<VisualRepBase>> visuals;
    const auto onPage = [&](int page) {
        return [&, page]() {
            auto r = Request(Plain());
            visuals.push_back(std::make_unique<VisualRepBase>());
            visuals.back()->Initialize(page, 100, 100, 400, 200, 255, 255, 255, r->certificate.get());
            r->visual = visuals.back().get();
            return r;
        };
    };

    const std::vector<Case> cases = {
        {"no document", [&] { return Request(""); }, 0x10, -2, "File is empty!!!", 0},
        {"visible signature on page 0", onPage(0), 0x10, -52, "PDFException -52 - ", 0},
        {"visible signature on page -1", onPage(-1), 0, -52, "PDFException -52 - ", 0},
        {"visible signature beyond the last page", onPage(3), 0, -52, "PDFException -52 - ", 0},
        {"PDF 2.1 refused at load", [&] { return Request(_dir.File("v21.pdf")); }, 0, -2, "File is empty!!!",
         0},
        {"encrypted, RC4 40 bits", [&] { return Request(_dir.File("rc4-40.pdf")); }, 0x10, -65,
         "Encrypted documents cannot be signed", 0},
        {"encrypted, AES 128 bits", [&] { return Request(_dir.File("aes-128.pdf")); }, 0x10, -65,
         "Encrypted documents cannot be signed", 0},
        {"encrypted, AES 256 bits, no certificate",
         [&] {
             auto r = Request(_dir.File("aes-256.pdf"));
             r->certificate.reset();
             return r;
         },
         0, -65, "Encrypted documents cannot be signed", 0},
        {"no certificate",
         [&] {
             auto r = Request(Plain());
             r->certificate.reset();
             return r;
         },
         0x10, -3, "Certificate was empty!!!", 0},
        {"time fails after a completed validation", scripted(1, 0, 2, 1), 0, -30, "Time validity", 0},
        {"time fails, dialog", scripted(1, 0, 2, 1), 0x10, -30, "Time validity", 1},
        {"time fails, validation incomplete", scripted(1, 0, 2, 0), 0, -30, "Time validity", 0},
        {"time undetermined", scripted(2, 0, 2, 1), 0, -30, "Time validity", 0},
        {"time fails with the certificate's code", scripted(1, 0, 2, -5), 0, -5, "Time validity", 0},
        {"chain fails after a completed validation", scripted(0, 1, 2, 1), 0x10, -31, "Chain validity", 1},
        {"chain fails with the certificate's code", scripted(0, 1, 2, 7), 0, 7, "Chain validity", 0},
        {"chain fails when time is skipped", scripted(1, 1, 2, 1), 0x20, -31, "Chain validity", 0},
        {"revocation fails", scripted(0, 0, 1, 1), 0x08 | 0x10, -32, "CRL validity", 1},
        {"revocation undetermined, code 0", scripted(0, 0, 2, 0), 0x08, -32, "CRL validity", 0},
        {"revocation fails with the download's code", scripted(0, 0, 2, -35), 0x08, -35, "CRL validity", 0},
        {"real expired certificate", [&] { return Request(Plain(), LoadIdentity(TestPKI::Expired)); }, 0, -30,
         "Time validity", 0},
        {"real untrusted certificate", [&] { return Request(Plain(), LoadIdentity(TestPKI::Untrusted)); },
         0x10, -31, "Chain validity", 1},
        {"certificate without private key",
         [&] { return Request(Plain(), LoadIdentity(TestPKI::Signer, false)); }, 0x10, -8, "InitSign failed",
         0},
        {"sigId names a signed field", naming(_dir.File("filled.pdf"), "Empty"), 0x10, -66,
         "PDFException -66 - The field is signed already", 0},
        {"sigId names a text field", naming(_dir.File("text-field.pdf"), "Name"), 0x10, -67,
         "PDFException -67 - The field is not a signature field", 0},
        {"size estimate 0",
         [&] {
             auto r = std::make_unique<TestRequest>(_files.get(), std::make_unique<SizedPlatform>(0));
             r->Load(Plain());
             r->certificate = LoadIdentity(TestPKI::Signer);
             return r;
         },
         0x10, -8, "Size estimate!!!", 0},
        {"signature larger than the hole",
         [&] {
             auto r = std::make_unique<TestRequest>(_files.get(), std::make_unique<SizedPlatform>(64));
             r->Load(Plain());
             r->certificate = LoadIdentity(TestPKI::Signer);
             return r;
         },
         0x10, -57, "PDFException -57 - ", 0},
        {"no crypto factory",
         [&] {
             auto r = std::make_unique<TestRequest>(_files.get(), nullptr);
             r->Load(Plain());
             r->certificate = LoadIdentity(TestPKI::Signer);
             return r;
         },
         0, -8, "CMS signature could not be created", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TestEngine engine;
        const auto request = c.request();
        request->SetOptions(c.options);
        LogCapture log;
        const auto result = engine.SignRequest(request.get());
        ASSERT_NE(result, nullptr);
        EXPECT_EQ(result->Error(), c.error);
        EXPECT_TRUE(log.Contains("] Sign: " + std::string(c.logLine))) << log.Text();
        EXPECT_FALSE(log.Contains("Returning ok result"));
        EXPECT_EQ(engine.dialogs.sigShows, c.dialogShows);
        EXPECT_TRUE(result->File().empty());
        EXPECT_EQ(result->List(), nullptr);
        EXPECT_TRUE(FilesIn(Work()).empty()) << FilesIn(Work()).size();
        EXPECT_EQ(request->Env().GetOutput(), nullptr);
    }
}

// A document refused at load leaves the request without one: both
// operations report -2, the request's pages the load code.
TEST_F(PendrelBaseTest, DocumentRefusedAtLoad) {
    PdfBuilder v21("2.1");
    v21.BasicDocument(1);
    v21.EndRevision();
    v21.Save(_dir.File("v21.pdf"));
    TestEngine engine;
    const auto request = Request(_dir.File("v21.pdf"));
    EXPECT_EQ(request->Pages(), -58);
    request->SetOptions(0x10);
    EXPECT_EQ(engine.SignRequest(request.get())->Error(), -2);
    EXPECT_EQ(engine.VerifyRequest(request.get())->Error(), -2);
    EXPECT_EQ(engine.dialogs.sigShows + engine.dialogs.statusShows, 0);
}

TEST_F(PendrelBaseTest, WorkingFileThatCannotBeCreated) {
    PDF::FileManager missing(_dir.File("no-such-folder"));
    TestEngine engine;
    TestRequest request(&missing);
    request.Load(Plain());
    request.certificate = LoadIdentity(TestPKI::Signer);
    request.SetOptions(0x10);
    LogCapture log;
    const auto result = engine.SignRequest(&request);
    EXPECT_EQ(result->Error(), -2);
    EXPECT_TRUE(log.Has("Sign", "Temporary file-name problem!!!"));
    EXPECT_EQ(missing.Files().size(), 1u);  // the name is registered all the same
    EXPECT_EQ(engine.dialogs.sigShows, 0);
}

// Signing goes on when a test is skipped or passed over; the result then
// carries the certificate's code.
TEST_F(PendrelBaseTest, SignsDespiteSkippedTests) {
    struct Case {
        const char* name;
        int time, chain, crl, error;
        int options;
        int resultError;
        bool checkedRevocation;
    };
    const std::vector<Case> cases = {
        {"all valid", 0, 0, 2, 1, 0, 1, false},
        {"time skipped", 1, 0, 2, 1, 0x20, 1, false},
        {"chain skipped", 0, 1, 2, 1, 0x40, 1, false},
        {"both skipped, odd code", 1, 1, 2, 3, 0x60, 3, false},
        {"revocation not asked", 0, 0, 1, 1, 0, 1, false},
        {"no distribution point", 0, 0, 2, -34, 0x08, -34, true},
        {"revocation passes", 0, 0, 0, 1, 0x08 | 0x10, 1, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TestEngine engine;
        auto cert = std::make_unique<ScriptedCertificate>(*LoadIdentity(TestPKI::Signer), c.time, c.chain,
                                                          c.crl, c.error);
        ScriptedCertificate* const scripted = cert.get();
        const auto request = Request(Plain(), std::move(cert));
        request->SetOptions(c.options);
        LogCapture log;
        request->SetLang(3);
        auto result = engine.SignRequest(request.get());
        EXPECT_EQ(result->Error(), c.resultError);
        EXPECT_EQ(scripted->validations, 1);
        EXPECT_EQ(scripted->lastCheckCRL, c.checkedRevocation);
        EXPECT_EQ(scripted->lastLanguage, 3) << "a revocation download's window in the request's language";
        EXPECT_TRUE(log.Has("Sign", "Returning ok result"));
        EXPECT_EQ(engine.dialogs.sigShows, (c.options & 0x10) != 0 ? 1 : 0);
        ASSERT_FALSE(result->File().empty());
        EXPECT_EQ(FieldsOf(result->File()), (std::vector<std::pair<std::string, int>>{{"Signature 1", 0}}));
        const std::string file = result->File();
        result.reset();
        EXPECT_FALSE(TestSupport::FileExists(file));  // the result deletes its copy
    }
}

// A key on a token opens (PIN) after the certificate tests and before
// anything is written; a key that cannot be opened leaves no file behind.
TEST_F(PendrelBaseTest, ATokenKeyOpensBeforeAnythingIsWritten) {
    TestSupport::SoftHsm hsm;
    hsm.AddToken("Pendrel Token A");
    hsm.Import("Pendrel Token A", TestPKI::Shared().Get(TestPKI::Signer), "01", "signer");
    TestSupport::TempDir noIdentities;
    const struct {
        const char* pin;
        int error;
    } cases[] = {
        {nullptr, Crypto::Code::kSecretUnavailable},
        {"0000", Crypto::Code::kWrongPin},
        {TestSupport::SoftHsm::kPin, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.pin != nullptr ? c.pin : "no PIN");
        const TestSupport::ScopedEnv pin("PENDREL_PKCS11_PIN", c.pin);
        Crypto::CertStoreFile store(noIdentities.Path());
        ASSERT_TRUE(store.Open(Crypto::CertStore::Personal));
        const Crypto::Certificate* onToken = store.FindBySubject("Pendrel Test Signer");
        ASSERT_NE(onToken, nullptr);
        ASSERT_EQ(onToken->TokenLabel(), "Pendrel Token A");
        TestEngine engine;
        const auto request = Request(Plain(), onToken->Clone());
        request->SetOptions(0x10);
        LogCapture log;
        auto result = engine.SignRequest(request.get());
        EXPECT_EQ(result->Error(), c.error);
        if (c.error != 1) {
            EXPECT_TRUE(log.Contains("Private key not available " + std::to_string(c.error)));
            EXPECT_TRUE(result->File().empty());
            EXPECT_TRUE(FilesIn(Work()).empty());
            EXPECT_EQ(engine.dialogs.sigShows, 0);
            continue;
        }
        ASSERT_FALSE(result->File().empty());
        EXPECT_EQ(FieldsOf(result->File()), (std::vector<std::pair<std::string, int>>{{"Signature 1", 0}}));
        ASSERT_NE(result->List(), nullptr);
        EXPECT_EQ(result->List()->At(0).status.substr(0, 2), "11");  // chain trusted through the test root
    }
}

TEST_F(PendrelBaseTest, RealSignerWithRevocationCheckButNoDistributionPoint) {
    TestEngine engine;
    const auto request = Request(Plain());
    request->SetOptions(0x08);
    const auto result = engine.SignRequest(request.get());
    EXPECT_EQ(result->Error(), -34);
    EXPECT_FALSE(result->File().empty());
    ASSERT_NE(result->List(), nullptr);
    EXPECT_EQ(result->List()->At(0).status, "11XX");
}

TEST_F(PendrelBaseTest, SignedCopyAndItsRecord) {
    TestEngine engine;
    const auto request = Request(Plain());
    request->SetReason(L"Approved \u00e9");
    request->SetLocation(L"Bern");
    request->SetContact(L"+41 00");
    request->SetLang(2);
    request->SetOptions(0x10);
    LogCapture log;
    const auto result = engine.SignRequest(request.get());
    ASSERT_NE(result, nullptr);
    EXPECT_EQ(result->Error(), 1);
    EXPECT_TRUE(log.Has("Sign", "Returning ok result"));
    EXPECT_EQ(engine.dialogs.sigShows, 1);
    EXPECT_EQ(engine.dialogs.sigLanguageAtShow, 2) << "the request's language";
    EXPECT_EQ(engine.dialogs.sigSubjectAtShow, "Pendrel Test Signer");

    // The copy: the original bytes, then the update; registered and in the work folder.
    const std::string original = TestSupport::ReadFile(Plain());
    const std::string copy = TestSupport::ReadFile(result->File());
    EXPECT_EQ(copy.compare(0, original.size(), original), 0);
    EXPECT_EQ(result->File().rfind(Work(), 0), 0u);
    EXPECT_NE(std::find(_files->Files().begin(), _files->Files().end(), result->File()),
              _files->Files().end());
    EXPECT_NE(copy.find("/Reason", original.size()), std::string::npos);
    EXPECT_NE(copy.find("/Location", original.size()), std::string::npos);

    ASSERT_NE(result->List(), nullptr);
    ASSERT_EQ(result->List()->Count(), 1u);
    const SignatureBase::SigInfo& record = result->List()->At(0);
    EXPECT_EQ(record.sigId, "Signature 1");
    EXPECT_EQ(record.status, "11XX");
    EXPECT_EQ(record.error, 0);
    EXPECT_EQ(record.docRevision, -1);
    EXPECT_EQ(record.reason, L"Approved \u00e9");
    EXPECT_EQ(record.location, L"Bern");
    EXPECT_EQ(record.contact, L"+41 00");
    EXPECT_LE(std::abs(record.signingTime - static_cast<std::int64_t>(std::time(nullptr))), 60);
    ASSERT_NE(record.certificate, nullptr);
    EXPECT_EQ(record.certificate->Subject(), "Pendrel Test Signer");
    EXPECT_EQ(record.certificate->Error(), 1);

    // Read back as the page reads it: Base64 pieces, equal to coreutils' encoding of the copy.
    std::string text;
    for (int pieces = 0; pieces < 100000; ++pieces) {
        const std::string piece = result->ReadStreamData();
        if (piece.empty()) break;
        text += piece;
    }
    EXPECT_EQ(result->Error(), 1);
    text.erase(std::remove(text.begin(), text.end(), '\n'), text.end());
    std::string reference;
    TestSupport::RunProgram({"base64", "-w0", result->File()}, &reference);
    EXPECT_EQ(text, reference);
}

// The signer's details stay with the result when the request (and the
// certificate it held) are gone.
TEST_F(PendrelBaseTest, SignedRecordOutlivesTheRequest) {
    TestEngine engine;
    auto request = Request(Plain());
    const auto result = engine.SignRequest(request.get());
    ASSERT_EQ(result->Error(), 1);
    request.reset();
    const CertInfoBase* const info = result->List()->At(0).certificate.get();
    ASSERT_NE(info, nullptr);
    ASSERT_NE(info->GetCertificate(), nullptr);
    EXPECT_EQ(info->GetCertificate()->Subject(), "Pendrel Test Signer");
    EXPECT_TRUE(info->GetCertificate()->HasPrivateKey());
    EXPECT_TRUE(TestSupport::FileExists(result->File()));
}

TEST_F(PendrelBaseTest, FieldNames) {
    struct Case {
        const char* name;
        int signedBefore;
        std::string sigId;
        std::string expected;
    };
    const std::vector<Case> cases = {
        {"no AcroForm", 0, "", "Signature 1"},
        {"two signed fields", 2, "", "Signature 3"},
        {"given name", 0, "Approval", "Approval"},
        {"given name that no field has", 1, "Earlier 2", "Earlier 2"},
        {"Latin letters, in PDFDocEncoding", 0, "Zo\xC3\xAB \xE2\x82\xAC", "Zo\xC3\xAB \xE2\x82\xAC"},
        {"beyond PDFDocEncoding, in UTF-16", 0, "\xD0\x9F\xD0\xBE\xD0\xB4 \xF0\x9F\x98\x80",
         "\xD0\x9F\xD0\xBE\xD0\xB4 \xF0\x9F\x98\x80"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TestEngine engine;
        const auto request = Request(SignedBefore(c.signedBefore));
        request->SetSigId(c.sigId);
        const auto result = engine.SignRequest(request.get());
        ASSERT_EQ(result->Error(), 1);
        EXPECT_EQ(result->List()->At(0).sigId, c.expected);
        const auto fields = FieldsOf(result->File());
        ASSERT_EQ(fields.size(), static_cast<std::size_t>(c.signedBefore + 1));
        EXPECT_EQ(fields.back().first, c.expected);
        for (const auto& field : fields) EXPECT_EQ(field.second, 0) << field.first;
        // Verification lists the field under the name it was given.
        const auto verified = engine.VerifyRequest(Request(result->File()).get());
        ASSERT_EQ(verified->Error(), 1);
        EXPECT_EQ(verified->List()->At(verified->List()->Count() - 1).sigId, c.expected);
    }
}

TEST_F(PendrelBaseTest, FactoriesThatFailAfterSigning) {
    struct Case {
        const char* name;
        bool noCertInfo;
        bool noList;
        const char* logLine;
    };
    const std::vector<Case> cases = {
        {"no certificate information", true, false, "Certificate object creation !!!"},
        {"no signature list", false, true, "Signature Object creation!!!"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TestEngine engine;
        if (c.noCertInfo) engine.certInfosAllowed = 0;
        engine.failList = c.noList;
        const auto request = Request(Plain());
        request->SetOptions(0x10);
        LogCapture log;
        const auto result = engine.SignRequest(request.get());
        EXPECT_EQ(result->Error(), 0);
        EXPECT_TRUE(log.Has("Sign", c.logLine));
        EXPECT_FALSE(log.Contains("Returning ok result"));
        EXPECT_EQ(engine.dialogs.sigShows, 0);
        ASSERT_FALSE(result->File().empty());
        EXPECT_EQ(FieldsOf(result->File()), (std::vector<std::pair<std::string, int>>{{"Signature 1", 0}}));
        // a certificate information object no list took is given back
        EXPECT_EQ(*engine.certInfosMade, c.noCertInfo ? 0 : 1);
        EXPECT_EQ(*engine.certInfosReleased, c.noList ? 1 : 0);
    }
}

// Each signed copy of one request holds only its own update.
TEST_F(PendrelBaseTest, TwoSignsInARow) {
    TestEngine engine;
    const auto request = Request(Plain());
    const auto first = engine.SignRequest(request.get());
    request->SetSigId("Second");
    const auto second = engine.SignRequest(request.get());
    ASSERT_EQ(first->Error(), 1);
    ASSERT_EQ(second->Error(), 1);
    EXPECT_NE(first->File(), second->File());
    EXPECT_EQ(FieldsOf(first->File()), (std::vector<std::pair<std::string, int>>{{"Signature 1", 0}}));
    EXPECT_EQ(FieldsOf(second->File()), (std::vector<std::pair<std::string, int>>{{"Second", 0}}));
    // Both updates start at the same object number and size: same layout.
    const std::string a = TestSupport::ReadFile(first->File());
    const std::string b = TestSupport::ReadFile(second->File());
    const std::string original = TestSupport::ReadFile(Plain());
    EXPECT_EQ(a.find(" 0 obj", original.size()), b.find(" 0 obj", original.size()));

    // Verify after the signs reads the document as it is on disk: unsigned.
    const auto verified = engine.VerifyRequest(request.get());
    EXPECT_EQ(verified->Error(), -63);
}

TEST_F(PendrelBaseTest, VerifyReports) {
    // A field whose signature has a byte range of zeros, beside a real one.
    PdfBuilder zero;
    zero.BasicDocument(1, "/AcroForm<</Fields[4 0 R]>>", "/Annots[4 0 R]");
    zero.Object(4, "<</FT/Sig/T(Zero)/V 5 0 R/Type/Annot/Subtype/Widget/Rect[0 0 0 0]/P 3 0 R/F 132>>");
    zero.Object(5, PdfBuilder::SignatureDict());
    zero.EndRevision();
    zero.SetByteRange(5, 0, 0, 0, 0);
    zero.Save(_dir.File("zero.pdf"));

    const std::string twice = SignedBefore(2);
    // A signature whose second range runs past the end of the file.
    TestSupport::WriteFile(_dir.File("past-the-end.pdf"),
                           WithLongerSecondRange(TestSupport::ReadFile(SignedBefore(1)), 1000));
    std::string changed = TestSupport::ReadFile(twice);
    const std::size_t at = changed.find("<00112233");
    ASSERT_NE(at, std::string::npos);
    changed[at + 1] = '1';  // in the original trailer: covered by both signatures
    TestSupport::WriteFile(_dir.File("changed.pdf"), changed);
    const std::string once = SignedBefore(1);
    TestSupport::WriteFile(_dir.File("appended.pdf"), TestSupport::ReadFile(once) + "% one more line\n");
    // An empty "sign here" field, alone and beside a signature.
    PdfBuilder empty;
    empty.BasicDocument(1);
    empty.AcroForm({empty.EmptySignatureField("Empty", 1)});
    empty.EndRevision();
    empty.Save(_dir.File("empty-field.pdf"));
    TestSupport::SignOptions beside;
    beside.fieldName = "Earlier 1";
    TestSupport::SignDocument(_dir.File("empty-field.pdf"), _dir.File("beside-empty.pdf"), beside);

    struct Case {
        const char* name;
        std::string path;
        int options;
        int error;
        std::vector<std::string> names;
        std::vector<std::string> statuses;
        std::vector<short> revisions;
        int dialogShows;
        int revisionCount;
    };
    const std::vector<Case> cases = {
        {"no document", "", 0x10, -2, {}, {}, {}, 0, -1},
        {"no AcroForm, no dialog", Plain(), 0, -63, {}, {}, {}, 0, 1},
        {"no AcroForm, dialog", Plain(), 0x10, -63, {}, {}, {}, 1, 1},
        {"byte range of zeros", _dir.File("zero.pdf"), 0, -63, {}, {}, {}, 0, 1},
        {"only an empty field", _dir.File("empty-field.pdf"), 0x10, -63, {}, {}, {}, 1, 1},
        {"a signature beside an empty field",
         _dir.File("beside-empty.pdf"),
         0,
         1,
         {"Earlier 1"},
         {"111X"},
         {1},
         0,
         2},
        {"signed once", once, 0x10, 1, {"Earlier 1"}, {"111X"}, {1}, 1, 2},
        {"signed twice", twice, 0, 1, {"Earlier 1", "Earlier 2"}, {"111X", "111X"}, {1, 2}, 0, 3},
        {"covered byte changed",
         _dir.File("changed.pdf"),
         0,
         1,
         {"Earlier 1", "Earlier 2"},
         {"110X", "110X"},
         {1, 2},
         0,
         3},
        // The signature still verifies, but it no longer covers the last revision.
        {"bytes appended after signing", _dir.File("appended.pdf"), 0, 1, {"Earlier 1"}, {"111X"}, {1}, 0, 3},
        {"byte range past the end of the file",
         _dir.File("past-the-end.pdf"),
         0,
         1,
         {"Earlier 1"},
         {"110X"},
         {-1},
         0,
         2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TestEngine engine;
        const auto request = Request(c.path);
        request->SetOptions(c.options);
        request->SetLang(1);
        const auto result = engine.VerifyRequest(request.get());
        ASSERT_NE(result, nullptr);
        EXPECT_EQ(result->Error(), c.error);
        EXPECT_EQ(engine.dialogs.statusShows, c.dialogShows);
        if (c.dialogShows > 0) {
            EXPECT_EQ(engine.dialogs.statusLanguageAtShow, 1);
        }
        if (c.error == -2) {
            EXPECT_EQ(result->List(), nullptr);
            continue;
        }
        ASSERT_NE(result->List(), nullptr);
        EXPECT_EQ(result->List()->RevisionCount(), c.revisionCount);
        ASSERT_EQ(result->List()->Count(), c.names.size());
        for (std::size_t i = 0; i < c.names.size(); ++i) {
            const SignatureBase::SigInfo& record = result->List()->At(i);
            EXPECT_EQ(record.sigId, c.names[i]);
            EXPECT_EQ(record.status, c.statuses[i]);
            EXPECT_EQ(record.docRevision, c.revisions[i]);
            EXPECT_EQ(record.error, 1);
            ASSERT_NE(record.certificate, nullptr);
            EXPECT_EQ(record.certificate->Subject(), "Pendrel Test Signer");
        }
        if (c.dialogShows > 0) {
            EXPECT_TRUE(engine.dialogs.versionsAtShow);
            EXPECT_EQ(engine.dialogs.statusNamesAtShow, c.names);
        }
        // Nothing to read or save after a verification.
        EXPECT_FALSE(result->SaveFile(_dir.File("saved.pdf")));
        EXPECT_EQ(result->Error(), -8);
        EXPECT_FALSE(TestSupport::FileExists(_dir.File("saved.pdf")));
    }
}

TEST_F(PendrelBaseTest, VerifyFailures) {
    const std::string twice = SignedBefore(2);

    struct Case {
        const char* name;
        std::string path;
        bool noList;
        int certInfosAllowed;
        int error;
        std::size_t entries;
    };
    const std::vector<Case> cases = {
        {"no signature list", twice, true, 10, 0, 0},
        {"second certificate information missing", twice, false, 1, 0, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TestEngine engine;
        engine.failList = c.noList;
        engine.certInfosAllowed = c.certInfosAllowed;
        const auto request = Request(c.path);
        request->SetOptions(0x10);
        const auto result = engine.VerifyRequest(request.get());
        EXPECT_EQ(result->Error(), c.error);
        EXPECT_EQ(engine.dialogs.statusShows, 0);
        EXPECT_EQ(result->List() != nullptr ? result->List()->Count() : 0u, c.entries);
    }
}

// What the page holds after a verification stays readable whatever goes first.
TEST_F(PendrelBaseTest, VerifiedRecordsOutliveTheirSources) {
    const std::string twice = SignedBefore(2);
    for (int order = 0; order < 2; ++order) {
        SCOPED_TRACE(order);
        auto engine = std::make_unique<TestEngine>();
        auto request = Request(twice);
        auto result = engine->VerifyRequest(request.get());
        ASSERT_EQ(result->Error(), 1);
        const std::shared_ptr<int> released = engine->certInfosReleased;
        if (order == 0) {
            request.reset();
            engine.reset();
        } else {
            engine.reset();
            request.reset();
        }
        EXPECT_EQ(result->List()->At(1).sigId, "Earlier 2");
        ASSERT_EQ(result->List()->Count(), 2u);
        for (std::size_t i = 0; i < result->List()->Count(); ++i) {
            const CertInfoBase* const info = result->List()->At(i).certificate.get();
            ASSERT_NE(info, nullptr);
            ASSERT_NE(info->GetCertificate(), nullptr);
            EXPECT_EQ(info->GetCertificate()->Subject(), "Pendrel Test Signer");
            EXPECT_EQ(info->Subject(), "Pendrel Test Signer");
        }
        EXPECT_EQ(*released, 0);
        result.reset();
        EXPECT_EQ(*released, 2) << "the list gives its certificate information back";
    }
}

// Texts of a document that are no valid UTF-16 read as U+FFFD: every entry
// converts to UTF-8 for the page and the status window, and a byte order
// mark alone is the empty text.
TEST_F(PendrelBaseTest, BrokenTextsOfASignatureReadWithReplacementCharacters) {
    TestSupport::SignOptions options;
    options.fieldName = "Broken";
    options.reason = L"OXK";
    options.location = L"OXK";
    options.contact = L"ab";
    TestSupport::SignDocument(Plain(), _dir.File("texts.pdf"), options);
    std::string bytes = TestSupport::ReadFile(_dir.File("texts.pdf"));
    const std::string reason = "/Reason<FEFF004F0058004B>";
    const std::string location = "/Location<FEFF004F0058004B>";
    const std::string contact = "/ContactInfo<FEFF00610062>";
    for (const std::string* text : {&reason, &location, &contact})
        ASSERT_NE(bytes.find(*text), std::string::npos) << *text;
    bytes.replace(bytes.find(reason), reason.size(), "/Reason<FEFF004FD800004B>");  // lone high surrogate
    bytes.replace(bytes.find(location), location.size(),
                  "/Location<FEFFDC00004F004B>");                                      // lone low surrogate
    bytes.replace(bytes.find(contact), contact.size(), "/ContactInfo<FEFF>        ");  // the mark alone
    TestSupport::WriteFile(_dir.File("texts.pdf"), bytes);

    TestEngine engine;
    const auto request = Request(_dir.File("texts.pdf"));
    request->SetOptions(0x10);
    const auto result = engine.VerifyRequest(request.get());
    ASSERT_EQ(result->Error(), 1);
    ASSERT_EQ(result->List()->Count(), 1u);
    EXPECT_EQ(engine.dialogs.statusShows, 1);
    const SignatureBase::SigInfo& record = result->List()->At(0);
    EXPECT_EQ(record.status, "110X");  // the texts were covered
    EXPECT_EQ(Util::WtoA(record.reason), "O\xEF\xBF\xBDK");
    EXPECT_EQ(Util::WtoA(record.location), "\xEF\xBF\xBDOK");
    EXPECT_EQ(Util::WtoA(record.contact), "");
}

}  // namespace
