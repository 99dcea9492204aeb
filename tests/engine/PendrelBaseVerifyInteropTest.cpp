// Verify judges what other programs sign as pdfsig judges it, signature by
// signature; where pdfsig cannot read a signature (a signer named by key
// identifier, document time stamps), openssl is the judge.
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "engine/CertInfoBase.h"
#include "engine/PendrelBase.h"
#include "pdf/FileManager.h"
#include "support/LogCapture.h"
#include "support/NssDb.h"
#include "support/OpenSSLTool.h"
#include "support/PdfBuilder.h"
#include "support/PdfsigReport.h"
#include "support/Process.h"
#include "support/ScopedEnv.h"
#include "support/SignedBuilderDocument.h"
#include "support/TempDir.h"
#include "support/TestPKI.h"
#include "tests/engine/PendrelBaseHarness.h"

using PendrelTest::TestEngine;
using PendrelTest::TestRequest;
using TestSupport::PdfBuilder;
using TestSupport::Pdfsig;
using TestSupport::PdfsigReport;
using TestSupport::PKICert;
using TestSupport::RunProgram;
using TestSupport::SignedBuilderDocument;
using TestSupport::TestPKI;

namespace {

// What we expect of one signature of a document.
struct Expected {
    std::string name;
    char signature;  // status position 2
    Pdfsig pdfsig;
    short revision;
    std::string signer;
    // Where pdfsig cannot read the signature: openssl's verdict on it.
    std::function<bool()> openssl;
};

class PendrelBaseVerifyInteropTest : public ::testing::Test {
protected:
    PendrelBaseVerifyInteropTest() : _keychain("PENDREL_KEYCHAIN", TestPKI::Shared().Keychain().c_str()) {
        _files = std::make_unique<PDF::FileManager>(_dir.Path());
    }

    // Verifies `path` with our engine and with pdfsig and compares them.
    void Judge(const std::string& path, const std::vector<Expected>& expected) {
        TestEngine engine;
        TestRequest request(_files.get());
        request.Load(path);
        ASSERT_EQ(request.Error(), 0);
        const auto result = engine.VerifyRequest(&request);
        ASSERT_EQ(result->Error(), 1);
        ASSERT_NE(result->List(), nullptr);
        std::string report;
        const std::map<std::string, PdfsigReport> pdfsig = TestSupport::ReadPdfsig(_db, path, report);
        SCOPED_TRACE(report);
        ASSERT_EQ(result->List()->Count(), expected.size());
        for (std::size_t i = 0; i < expected.size(); ++i) {
            const Expected& e = expected[i];
            const SignatureBase::SigInfo& ours = result->List()->At(i);
            SCOPED_TRACE(e.name + ", ours " + ours.status);
            EXPECT_EQ(ours.sigId, e.name);
            ASSERT_EQ(ours.status.size(), 4u);
            EXPECT_EQ(ours.status[2], e.signature);
            EXPECT_EQ(ours.status[1], '1');  // every signer here chains to the test root
            EXPECT_EQ(ours.docRevision, e.revision);
            ASSERT_NE(ours.certificate, nullptr);
            EXPECT_EQ(ours.certificate->GetCertificate()->Subject(), e.signer);

            ASSERT_EQ(pdfsig.count(e.name), 1u);
            const PdfsigReport& theirs = pdfsig.at(e.name);
            EXPECT_EQ(theirs.verdict, e.pdfsig);
            if (theirs.verdict == Pdfsig::NotRead) {
                ASSERT_TRUE(e.openssl) << "nobody judges this one";
                EXPECT_EQ(e.openssl(), e.signature == '1');
            } else {
                EXPECT_EQ(theirs.verdict == Pdfsig::Valid, ours.status[2] == '1');
                if (theirs.chain != 'X') {
                    EXPECT_EQ(theirs.chain, ours.status[1]);
                }
            }
        }
    }

    // A builder document with one signature made by openssl cms.
    std::string OpenSSLSigned(const std::string& name, const PKICert& signer,
                              const std::vector<std::string>& options, const std::string& subFilter,
                              std::string* cms = nullptr, std::string* covered = nullptr) {
        SignedBuilderDocument doc;
        SignedBuilderDocument::Field field;
        field.name = name;
        field.subFilter = subFilter;
        doc.AddSignature(field, [&](const std::string& bytes) {
            const std::string der = TestSupport::CmsSign(_work, bytes, signer, options);
            if (cms != nullptr) *cms = der;
            if (covered != nullptr) *covered = bytes;
            return der;
        });
        const std::string path = _dir.File(name + ".pdf");
        doc.Save(path);
        return path;
    }

    // A document with one unsigned signature field "Empty", for pdfsig to sign.
    std::string WithEmptyField() {
        PdfBuilder pdf;
        pdf.BasicDocument(1, "/AcroForm<</Fields[4 0 R]/SigFlags 3>>", "/Annots[4 0 R]");
        pdf.Object(4, "<</FT/Sig/T(Empty)/Type/Annot/Subtype/Widget/Rect[100 100 300 150]/P 3 0 R/F 132>>");
        pdf.TrailerExtra("/ID[<00112233445566778899AABBCCDDEEFF><00112233445566778899AABBCCDDEEFF>]");
        pdf.EndRevision();
        const std::string path = _dir.File("empty-field.pdf");
        pdf.Save(path);
        return path;
    }

    TestSupport::TempDir _dir;
    TestSupport::TempDir _work;
    TestSupport::TempDir _nss;
    TestSupport::ScopedEnv _keychain;
    std::unique_ptr<PDF::FileManager> _files;
    std::string _db = TestSupport::MakeNssDb(_nss);
};

// Flips one byte of the first page's MediaBox: a change inside every range.
void Alter(const std::string& path) {
    std::string bytes = TestSupport::ReadFile(path);
    const std::size_t at = bytes.find("612 792");
    ASSERT_NE(at, std::string::npos);
    bytes[at + 2] = '3';
    TestSupport::WriteFile(path, bytes);
}

TEST_F(PendrelBaseVerifyInteropTest, OpenSSLSignaturesAgreeWithPdfsig) {
    const PKICert& rsa = TestPKI::Shared().Get(TestPKI::Signer);
    const PKICert p384 = TestSupport::MakeECSigner(_work, "P-384");
    const std::string detached = "adbe.pkcs7.detached";
    const std::string pades = "ETSI.CAdES.detached";
    const struct {
        const char* name;
        PKICert signer;
        std::vector<std::string> options;
        std::string subFilter;
        char signature;
        Pdfsig pdfsig;
        bool altered;
    } cases[] = {
        {"SHA-256", rsa, {}, detached, '1', Pdfsig::Valid, false},
        {"SHA-384", rsa, {"-md", "sha384"}, detached, '1', Pdfsig::Valid, false},
        {"SHA-512", rsa, {"-md", "sha512"}, detached, '1', Pdfsig::Valid, false},
        {"SHA-1", rsa, {"-md", "sha1"}, detached, '1', Pdfsig::Valid, false},
        {"MD5", rsa, {"-md", "md5"}, detached, '0', Pdfsig::Invalid, false},
        {"RSA-PSS", rsa, {"-keyopt", "rsa_padding_mode:pss"}, detached, '1', Pdfsig::Valid, false},
        {"ECDSA P-256", TestPKI::Shared().Get(TestPKI::ECSigner), {}, detached, '1', Pdfsig::Valid, false},
        {"ECDSA P-384", p384, {"-md", "sha384"}, detached, '1', Pdfsig::Valid, false},
        {"PAdES", rsa, {"-cades"}, pades, '1', Pdfsig::Valid, false},
        {"changed after signing", rsa, {}, detached, '0', Pdfsig::Invalid, true},
        {"PAdES, changed after signing", rsa, {"-cades"}, pades, '0', Pdfsig::Invalid, true},
        // pdfsig finds no signer named by key identifier: openssl judges.
        {"subject key identifier", rsa, {"-keyid"}, detached, '1', Pdfsig::NotRead, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::string cms;
        std::string covered;
        const std::string path = OpenSSLSigned(c.name, c.signer, c.options, c.subFilter, &cms, &covered);
        if (c.altered) Alter(path);
        const std::string subject = c.signer.name == "P-384"       ? "Pendrel P-384 Signer"
                                    : c.signer.name == "ec-signer" ? "Pendrel EC Signer"
                                                                   : "Pendrel Test Signer";
        Judge(path, {{c.name, c.signature, c.pdfsig, 1, subject,
                      [&] { return TestSupport::CmsVerifies(_work, covered, cms); }}});
    }
}

// pdfsig's -etsi writes a CAdES message (signingCertificateV2) under the
// adbe.pkcs7.detached sub-filter, into an existing field.
TEST_F(PendrelBaseVerifyInteropTest, PdfsigCAdESSignaturesAgreeWithPdfsig) {
    TestSupport::TempDir signing;
    const std::string signingDb =
        TestSupport::MakeSigningNssDb(signing, TestPKI::Shared().Get(TestPKI::Signer).p12);
    const std::string etsi = _dir.File("pdfsig-etsi.pdf");
    std::string output;
    ASSERT_EQ(RunProgram({"pdfsig", "-nssdir", signingDb, "-nick", "signer", "-sign", "Empty", "-etsi",
                          WithEmptyField(), etsi},
                         &output),
              0)
        << output;
    Judge(etsi, {{"Empty", '1', Pdfsig::Valid, 1, "Pendrel Test Signer", nullptr}});
}

// A certification that permits no changes, then a second signature: both are
// listed with their own verdict and revision; the later change is logged.
TEST_F(PendrelBaseVerifyInteropTest, CertificationSignaturesAreListed) {
    const PKICert& rsa = TestPKI::Shared().Get(TestPKI::Signer);
    SignedBuilderDocument doc;
    SignedBuilderDocument::Field certification;
    certification.name = "Certification";
    const int certificationNum = doc.Pdf().NextNumber() + 1;
    certification.dictExtra =
        "/Reference[<</Type/SigRef/TransformMethod/DocMDP/TransformParams<</Type/TransformParams/P "
        "1/V/1.2>>>>]";
    certification.catalogExtra = "/Perms<</DocMDP " + std::to_string(certificationNum) + " 0 R>>";
    ASSERT_EQ(
        doc.AddSignature(certification,
                         [&](const std::string& bytes) { return TestSupport::CmsSign(_work, bytes, rsa); }),
        certificationNum);
    const std::string once = _dir.File("certified.pdf");
    doc.Save(once);
    SignedBuilderDocument::Field approval;
    approval.name = "Approval";
    approval.catalogExtra = certification.catalogExtra;
    doc.AddSignature(approval,
                     [&](const std::string& bytes) { return TestSupport::CmsSign(_work, bytes, rsa); });
    const std::string twice = _dir.File("certified-then-signed.pdf");
    doc.Save(twice);

    Judge(once, {{"Certification", '1', Pdfsig::Valid, 1, "Pendrel Test Signer", nullptr}});
    const TestSupport::LogCapture log;
    Judge(twice, {{"Certification", '1', Pdfsig::Valid, 1, "Pendrel Test Signer", nullptr},
                  {"Approval", '1', Pdfsig::Valid, 2, "Pendrel Test Signer", nullptr}});
    if (log.Enabled()) {
        EXPECT_TRUE(log.Has("MatchVersion",
                            "The document was changed after a certification that permits no changes"));
    }
}

// A signature and a document time stamp over it (made by openssl ts with a
// test authority): the stamp is listed with the authority as its signer and
// the token's time as its signing time.
TEST_F(PendrelBaseVerifyInteropTest, DocumentTimeStampsAreListed) {
    const PKICert& rsa = TestPKI::Shared().Get(TestPKI::Signer);
    const PKICert tsa = TestSupport::MakeTimeStampAuthority(_work);
    for (const bool altered : {false, true}) {
        SCOPED_TRACE(altered ? "changed after stamping" : "as stamped");
        SignedBuilderDocument doc;
        SignedBuilderDocument::Field signature;
        signature.name = "Signature";
        doc.AddSignature(signature,
                         [&](const std::string& bytes) { return TestSupport::CmsSign(_work, bytes, rsa); });
        SignedBuilderDocument::Field stamp;
        stamp.name = "Stamp";
        stamp.type = "DocTimeStamp";
        stamp.subFilter = "ETSI.RFC3161";
        std::string token;
        const int stampNum = doc.AddSignature(stamp, [&](const std::string& bytes) {
            token = TestSupport::TimeStampToken(_work, bytes, tsa);
            return token;
        });
        std::string covered = doc.Covered(stampNum);
        const std::string path = _dir.File("stamped.pdf");
        doc.Save(path);
        if (altered) {
            Alter(path);
            covered[covered.find("612 792") + 2] = '3';  // the same change, in the first range
        }
        const char verdict = altered ? '0' : '1';
        Judge(path, {{"Signature", verdict, altered ? Pdfsig::Invalid : Pdfsig::Valid, 1,
                      "Pendrel Test Signer", nullptr},
                     {"Stamp", verdict, Pdfsig::NotRead, 2, "Pendrel Test Time Stamps",
                      [&] { return TestSupport::TimeStampVerifies(_work, covered, token); }}});

        TestEngine engine;
        TestRequest request(_files.get());
        request.Load(path);
        const auto result = engine.VerifyRequest(&request);
        ASSERT_EQ(result->List()->Count(), 2u);
        EXPECT_EQ(result->List()->At(1).signingTime, TestSupport::TimeStampTime(_work, token));
    }
}

// A signed field the form's /Fields leaves out, reachable through the page's
// /Annots: pdfsig reads it, and so does verify (after the listed ones).
TEST_F(PendrelBaseVerifyInteropTest, SignedFieldsOnlyAPageListsAgreeWithPdfsig) {
    const PKICert& rsa = TestPKI::Shared().Get(TestPKI::Signer);
    SignedBuilderDocument doc;
    SignedBuilderDocument::Field unlisted;
    unlisted.name = "Unlisted";
    unlisted.listed = false;
    doc.AddSignature(unlisted,
                     [&](const std::string& bytes) { return TestSupport::CmsSign(_work, bytes, rsa); });
    SignedBuilderDocument::Field listed;
    listed.name = "Listed";
    doc.AddSignature(listed,
                     [&](const std::string& bytes) { return TestSupport::CmsSign(_work, bytes, rsa); });
    const std::string path = _dir.File("unlisted.pdf");
    doc.Save(path);
    Judge(path, {{"Listed", '1', Pdfsig::Valid, 2, "Pendrel Test Signer", nullptr},
                 {"Unlisted", '1', Pdfsig::Valid, 1, "Pendrel Test Signer", nullptr}});
}

}  // namespace
