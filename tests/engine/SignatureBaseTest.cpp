#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "crypto/CertStore.h"
#include "crypto/Certificate.h"
#include "crypto/openssl/CertificateOpenSSL.h"
#include "crypto/openssl/PlatformOpenSSL.h"
#include "engine/CertInfoBase.h"
#include "engine/PropBase.h"
#include "engine/ResultBase.h"
#include "engine/SignatureBase.h"
#include "pdf/Field.h"
#include "pdf/Fields.h"
#include "pdf/FileManager.h"
#include "pdf/Signature.h"
#include "support/LogCapture.h"
#include "support/PdfBuilder.h"
#include "support/ScopedEnv.h"
#include "support/TempDir.h"
#include "support/TestPKI.h"

using TestSupport::PdfBuilder;
using TestSupport::TempDir;
using TestSupport::TestPKI;

namespace {

class TestSignatureList final : public SignatureBase {};

class TestResult final : public ResultBase {
public:
    void SetSignatures(FactoryPtr<SignatureBase> list) override { _list = std::move(list); }
    TestSignatureList* List() const { return static_cast<TestSignatureList*>(_list.get()); }

private:
    FactoryPtr<SignatureBase> _list;
};

// Certificate information whose release is counted.
FactoryPtr<CertInfoBase> CountedInfo(int& released) {
    return FactoryPtr<CertInfoBase>(new CertInfoBase(),
                                    FactoryRelease<CertInfoBase>{[&released](CertInfoBase* info) {
                                        ++released;
                                        delete info;
                                    }});
}

// The page's certificate-information object: with the keychain's store.
class PageCertInfo final : public CertInfoBase {
public:
    PageCertInfo() { SetStore(Crypto::PlatformOpenSSL().CreateCertStore()); }
};

// A request holding the page's certificate-information object, as the
// scriptable request holds a reference to it.
class TestProp final : public PropBase {
public:
    explicit TestProp(PDF::FileManager* files) : PropBase(files) {
        SetPlatform(std::make_unique<Crypto::PlatformOpenSSL>());
    }
    VisualRepBase* GetVisualRep() override { return nullptr; }
    Crypto::Certificate* GetCertificate() override { return certInfo ? certInfo->GetCertificate() : nullptr; }
    std::shared_ptr<CertInfoBase> certInfo;
};

// One page and a signature field whose /V is object 8, dated and with texts.
std::string SignedDocument() {
    PdfBuilder pdf;
    pdf.BasicDocument(1, "/AcroForm 6 0 R");
    pdf.Object(6, "<</Fields[7 0 R]/SigFlags 3>>");
    pdf.Object(7, "<</FT/Sig/T(Signature1)/Rect[0 0 0 0]/P 3 0 R/V 8 0 R>>");
    pdf.Object(8,
               PdfBuilder::SignatureDict("/Reason<FEFF004F0064006F0062>/Location(K\\366ln)/ContactInfo(jane@"
                                         "example.org)/M(D:20240115143000+01'00')"));
    pdf.EndRevision();
    pdf.CoverUpTo(8, pdf.Bytes().size());
    return pdf.Bytes();
}

std::shared_ptr<PDF::Signature> FirstSignature(PDF::Env& env) {
    PDF::Fields fields(&env);
    fields.Load();
    std::shared_ptr<PDF::Signature> signature = fields.At(0)->GetSignature();
    if (signature) signature->MatchVersion();
    return signature;
}

TEST(SignatureBase, SelectionMovesOnlyToAnExistingRecord) {
    TestSignatureList list;
    EXPECT_EQ(list.Count(), 0u);
    EXPECT_EQ(list.Current(), nullptr);
    list.LoadSignature(0);
    EXPECT_EQ(list.Current(), nullptr);

    list.AddSignature("First", nullptr, 3, "1X1X", nullptr);
    list.AddSignature("Second", nullptr, -5, "0XXX", nullptr);
    const struct {
        std::int64_t select;
        std::string current;
    } steps[] = {{5, "First"}, {1, "Second"},        {-1, "Second"},      {2, "Second"},
                 {0, "First"}, {INT64_MIN, "First"}, {INT64_MAX, "First"}};
    for (const auto& s : steps) {
        SCOPED_TRACE(s.select);
        list.LoadSignature(s.select);
        ASSERT_NE(list.Current(), nullptr);
        EXPECT_EQ(list.Current()->sigId, s.current);
    }
    EXPECT_EQ(list.At(1).error, -5);
    EXPECT_EQ(list.At(1).status, "0XXX");
    EXPECT_EQ(list.At(1).docRevision, 0) << "no signature: the record keeps its initial values";
    EXPECT_EQ(list.At(1).reason, L"");
}

TEST(SignatureBase, RecordsCopyTheSignatureAndKeepTheCertificateInformation) {
    const TempDir dir;
    ::mkdir(dir.File("work").c_str(), 0700);
    PDF::FileManager files(dir.File("work"));
    TestSupport::WriteFile(dir.File("signed.pdf"), SignedDocument());
    TestSignatureList list;
    {
        TestProp request(&files);
        request.SetFile(dir.File("signed.pdf"));
        request.LoadFileFromURL();
        ASSERT_EQ(request.Error(), 0);
        const auto signature = FirstSignature(request.Env());
        ASSERT_NE(signature, nullptr);
        ASSERT_EQ(signature->GetRevision(), 0);
        FactoryPtr<CertInfoBase> info = Deleting(new CertInfoBase());
        FactoryPtr<CertInfoBase> other = Deleting(new CertInfoBase());
        const CertInfoBase* const without = other.get();
        list.AddSignature("Signature1", signature.get(), 1, "XX1X", std::move(info));
        list.AddSignature("Without", nullptr, 0, "XXXX", std::move(other));
        EXPECT_EQ(list.At(1).certificate.get(), without) << "kept without a signature too";
    }  // the signature, its document and the request are gone
    const SignatureBase::SigInfo& record = list.At(0);
    EXPECT_EQ(record.sigId, "Signature1");
    EXPECT_EQ(record.status, "XX1X");
    EXPECT_EQ(record.error, 1);
    EXPECT_EQ(record.reason, L"Odob");
    EXPECT_EQ(record.location, L"K\u00F6ln");
    EXPECT_EQ(record.contact, L"jane@example.org");
    EXPECT_EQ(record.signingTime, 1705325400);  // 2024-01-15 13:30:00 UTC
    EXPECT_EQ(record.docRevision, 0);
    EXPECT_NE(record.certificate, nullptr);
}

// Each record holds its certificate information until the list goes.
TEST(SignatureBase, RecordsReleaseTheirCertificateInformationWithTheList) {
    int released = 0;
    {
        TestSignatureList list;
        list.AddSignature("First", nullptr, 0, "XXXX", CountedInfo(released));
        list.AddSignature("Second", nullptr, 0, "XXXX", CountedInfo(released));
        list.AddSignature("None", nullptr, 0, "XXXX", nullptr);
        list.LoadSignature(1);
        EXPECT_EQ(released, 0);
    }
    EXPECT_EQ(released, 2);
}

TEST(SignatureBase, LogsConstructionAndDestruction) {
    const TestSupport::LogCapture log;
    char made[64], gone[64];
    {
        TestSignatureList list;
        std::snprintf(made, sizeof made, "*** Constructor, object %p", static_cast<void*>(&list));
        std::snprintf(gone, sizeof gone, "*** Destructor, object %p", static_cast<void*>(&list));
    }
    if (log.Active()) {
        EXPECT_TRUE(log.Has("SignatureBase", made));
        EXPECT_TRUE(log.Has("~SignatureBase", gone));
    }
}

// The objects a page holds after a sign or a verify, destroyed in every
// order; whatever is left is read after each step (run under AddressSanitizer
// to see that nothing refers to freed memory).
TEST(SignatureBase, ResultsRequestsAndCertificateInformationGoInAnyOrder) {
    const TestPKI& pki = TestPKI::Shared();
    const TestSupport::ScopedEnv keychain("PENDREL_KEYCHAIN", pki.Keychain().c_str());
    const TempDir dir;
    ::mkdir(dir.File("work").c_str(), 0700);
    PDF::FileManager files(dir.File("work"));
    TestSupport::WriteFile(dir.File("signed.pdf"), SignedDocument());
    const std::string signerDN = pki.Get(TestPKI::Signer).subjectDN;

    enum Object { Request, PageInfo, Result };
    std::array<Object, 3> order{Request, PageInfo, Result};
    int orders = 0;
    do {
        SCOPED_TRACE(std::to_string(order[0]) + std::to_string(order[1]) + std::to_string(order[2]));
        ++orders;
        // the page chose the signer and gave it to the request
        std::shared_ptr<CertInfoBase> pageInfo = std::make_shared<PageCertInfo>();
        pageInfo->SetHash(pki.Get(TestPKI::Signer).sha1Hex);
        ASSERT_TRUE(pageInfo->Search());
        auto request = std::make_unique<TestProp>(&files);
        request->certInfo = pageInfo;
        request->SetFile(dir.File("signed.pdf"));
        request->LoadFileFromURL();
        ASSERT_EQ(request->Error(), 0);

        // what a sign leaves: a result listing the signer
        auto result = std::make_unique<TestResult>();
        auto list = std::make_unique<TestSignatureList>();
        {
            auto signerInfo = std::make_unique<CertInfoBase>();
            signerInfo->LoadCertificate(request->GetCertificate());
            // what a verify leaves: a signature whose signer certificate its
            // CMS object owned, both gone once the operation returns
            auto cmsSigner = std::make_unique<Crypto::CertificateOpenSSL>(
                *static_cast<Crypto::CertificateOpenSSL*>(request->GetCertificate()));
            auto verifiedInfo = std::make_unique<CertInfoBase>();
            verifiedInfo->LoadCertificate(cmsSigner.get());
            const auto signature = FirstSignature(request->Env());
            ASSERT_NE(signature, nullptr);
            list->AddSignature("Signature 1", signature.get(), 0, "1X1X", Deleting(signerInfo.release()));
            list->AddSignature("Signature1", signature.get(), 1, "XX1X", Deleting(verifiedInfo.release()));
        }
        result->SetSignatures(Deleting<SignatureBase>(list.release()));
        pageInfo.reset();  // the page's reference; the request still holds one

        const auto readAll = [&] {
            if (request) {
                ASSERT_NE(request->GetCertificate(), nullptr);
                EXPECT_EQ(request->GetCertificate()->SubjectDN(), signerDN);
                EXPECT_EQ(request->Pages(), 1);
            }
            if (result) {
                for (std::size_t i = 0; i < result->List()->Count(); ++i) {
                    const SignatureBase::SigInfo& record = result->List()->At(i);
                    ASSERT_NE(record.certificate, nullptr);
                    ASSERT_NE(record.certificate->GetCertificate(), nullptr);
                    EXPECT_EQ(record.certificate->GetCertificate()->SubjectDN(), signerDN);
                    EXPECT_TRUE(record.certificate->GetCertificate()->HasPrivateKey());
                    EXPECT_EQ(record.reason, L"Odob");
                }
            }
        };
        readAll();
        for (const Object object : order) {
            switch (object) {
                case Request:
                    request.reset();
                    break;
                case PageInfo:
                    if (request) request->certInfo.reset();
                    break;
                case Result:
                    result.reset();
                    break;
            }
            if (request && !request->certInfo) {
                EXPECT_EQ(request->GetCertificate(), nullptr);
                EXPECT_EQ(request->Pages(), 1);
                continue;
            }
            readAll();
        }
    } while (std::next_permutation(order.begin(), order.end()));
    EXPECT_EQ(orders, 6);
}

}  // namespace
