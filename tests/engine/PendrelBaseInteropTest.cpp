// Independent programs judge the copies Sign writes, and Verify reports the
// signatures they write.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <ctime>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "crypto/CertStore.h"
#include "engine/PendrelBase.h"
#include "engine/VisualRepBase.h"
#include "pdf/FileManager.h"
#include "pdf/Surface.h"
#include "support/NssDb.h"
#include "support/PdfBuilder.h"
#include "support/Process.h"
#include "support/ScopedEnv.h"
#include "support/SignDocument.h"
#include "support/TempDir.h"
#include "support/TestPKI.h"
#include "support/ThirdPartyTools.h"
#include "tests/engine/PendrelBaseHarness.h"

using PendrelTest::LoadIdentity;
using PendrelTest::TestEngine;
using PendrelTest::TestRequest;
using TestSupport::PdfBuilder;
using TestSupport::RunProgram;
using TestSupport::TestPKI;

namespace {

const char kId[] = "/ID[<00112233445566778899AABBCCDDEEFF><00112233445566778899AABBCCDDEEFF>]";

class PendrelBaseInteropTest : public ::testing::Test {
protected:
    PendrelBaseInteropTest() : _keychain("PENDREL_KEYCHAIN", TestPKI::Shared().Keychain().c_str()) {
        _files = std::make_unique<PDF::FileManager>(_dir.Path());
    }

    // A builder document, rewritten by qpdf when asked.
    std::string Source(const std::string& name, const std::string& catalogExtra, const std::string& pageExtra,
                       bool viaQpdf) {
        PdfBuilder builder;
        builder.BasicDocument(2, catalogExtra, pageExtra);
        builder.TrailerExtra(kId);
        builder.EndRevision();
        const std::string built = _dir.File(name + "-built.pdf");
        builder.Save(built);
        if (!viaQpdf) return built;
        const std::string rewritten = _dir.File(name + "-qpdf.pdf");
        EXPECT_EQ(RunProgram({"qpdf", "--object-streams=disable", "--force-version=1.4", built, rewritten}),
                  0);
        return rewritten;
    }

    void ExpectAccepted(const std::string& path, std::size_t signatures) {
        TestSupport::ExpectAcceptedByOthers(path, _db, signatures);
    }

    // A one-page document whose signature field "Mu" (object 4) is empty.
    std::string WithEmptyField() {
        PdfBuilder withField;
        withField.BasicDocument(1, "/AcroForm<</Fields[4 0 R]>>", "/Annots[4 0 R]");
        withField.Object(4,
                         "<</FT/Sig/T(Mu)/Type/Annot/Subtype/Widget/Rect[100 100 300 150]/P 3 0 R/F 132>>");
        withField.TrailerExtra(kId);
        withField.EndRevision();
        withField.Save(_dir.File("with-field.pdf"));
        return _dir.File("with-field.pdf");
    }

    std::unique_ptr<TestRequest> Request(const std::string& path) {
        auto request = std::make_unique<TestRequest>(_files.get());
        request->Load(path);
        EXPECT_EQ(request->Error(), 0) << path;
        request->certificate = LoadIdentity(TestPKI::Signer);
        return request;
    }

    TestSupport::TempDir _dir;
    TestSupport::TempDir _nss;
    TestSupport::ScopedEnv _keychain;
    std::unique_ptr<PDF::FileManager> _files;
    std::string _db = TestSupport::MakeNssDb(_nss);
};

TEST_F(PendrelBaseInteropTest, SignedCopiesAcceptedByOthers) {
    struct Case {
        const char* name;
        std::string catalogExtra;
        std::string pageExtra;
        bool viaQpdf;
        bool visible;
        int signedBefore;
    };
    const std::vector<Case> cases = {
        {"invisible", "", "", false, false, 0},
        {"visible", "", "", false, true, 0},
        {"invisible, qpdf", "", "", true, false, 0},
        {"visible, qpdf, rotated", "", "/Rotate 90", true, true, 0},
        {"empty AcroForm", "/AcroForm<</Fields[]>>", "", false, false, 0},
        {"empty AcroForm, qpdf, visible", "/AcroForm<</Fields[]>>", "", true, true, 0},
        {"signed before", "", "", false, true, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string path = Source(std::to_string(&c - cases.data()), c.catalogExtra, c.pageExtra, c.viaQpdf);
        if (c.signedBefore > 0) {
            TestSupport::SignOptions options;
            options.fieldName = "Earlier";
            TestSupport::SignDocument(path, path + ".signed.pdf", options);
            path += ".signed.pdf";
        }
        TestEngine engine;
        const auto request = Request(path);
        VisualRepBase visual;
        if (c.visible) {
            visual.Initialize(2, 200, 300, 600, 200, 240, 240, 255, request->certificate.get());
            visual.GetSurface()->SetFont("DejaVu Sans", 40, 0);
            visual.GetSurface()->SetPos(20, 20);
            visual.GetSurface()->WriteString(L"Signed by $Subject");
            request->visual = &visual;
        }
        request->SetReason(L"Approved");
        const auto result = engine.SignRequest(request.get());
        ASSERT_EQ(result->Error(), 1);
        ExpectAccepted(result->File(), static_cast<std::size_t>(c.signedBefore + 1));
    }
}

TEST_F(PendrelBaseInteropTest, TwoSignsInARowGiveTwoValidCopies) {
    TestEngine engine;
    const auto request = Request(Source("twice", "", "", true));
    const auto first = engine.SignRequest(request.get());
    const auto second = engine.SignRequest(request.get());
    ASSERT_EQ(first->Error(), 1);
    ASSERT_EQ(second->Error(), 1);
    ExpectAccepted(first->File(), 1);
    ExpectAccepted(second->File(), 1);
}

// The signed copy is made of the file that was opened and checked, even
// when another file has since taken its name; a file changed in place since
// it was opened is not signed at all (an update computed on the old bytes
// would not fit the new ones).
TEST_F(PendrelBaseInteropTest, ASourceReplacedOnDiskIsCopiedAsOpenedOrRefused) {
    PdfBuilder other;
    other.BasicDocument(3);
    other.EndRevision();
    const std::string otherBytes = other.Bytes();
    const struct {
        const char* name;
        std::function<void(const std::string& path)> change;
        bool signs;
    } cases[] = {
        {"another file renamed over it",
         [&](const std::string& path) {
             TestSupport::WriteFile(path + ".new", otherBytes);
             ASSERT_EQ(std::rename((path + ".new").c_str(), path.c_str()), 0);
         },
         true},
        {"removed", [](const std::string& path) { ASSERT_EQ(std::remove(path.c_str()), 0); }, true},
        {"rewritten in place", [&](const std::string& path) { TestSupport::WriteFile(path, otherBytes); },
         false},
        {"grown in place",
         [](const std::string& path) {
             std::FILE* f = std::fopen(path.c_str(), "ab");
             ASSERT_NE(f, nullptr);
             std::fputs("% appended\n", f);
             std::fclose(f);
         },
         false},
        {"one byte changed in place, same size",
         [](const std::string& path) {
             std::string bytes = TestSupport::ReadFile(path);
             bytes[bytes.find("612 792") + 2] = '3';
             // a later modification time, as any write gives it
             TestSupport::WriteFile(path, bytes);
             const timespec times[2] = {{0, UTIME_OMIT}, {std::time(nullptr) + 5, 0}};
             ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
         },
         false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = Source(std::string("replaced-") + std::to_string(&c - cases), "", "", false);
        const std::string original = TestSupport::ReadFile(path);
        TestEngine engine;
        const auto request = Request(path);
        c.change(path);
        const auto result = engine.SignRequest(request.get());
        if (!c.signs) {
            EXPECT_EQ(result->Error(), -64);
            EXPECT_TRUE(result->File().empty());
            for (const std::string& name : _files->Files())
                EXPECT_FALSE(TestSupport::FileExists(name)) << "left behind: " << name;
            continue;
        }
        ASSERT_EQ(result->Error(), 1);
        const std::string copy = TestSupport::ReadFile(result->File());
        EXPECT_EQ(copy.compare(0, original.size(), original), 0) << "the copy starts with the opened bytes";
        ExpectAccepted(result->File(), 1);
    }
}

// Other readers show a field name beyond ASCII as it was given: it is
// written as a PDF text string, not as raw UTF-8.
TEST_F(PendrelBaseInteropTest, NonAsciiFieldNamesReadTheSameElsewhere) {
    const struct {
        const char* name;
        std::string sigId;
        std::string written;
    } cases[] = {
        {"PDFDocEncoding", "Zo\xC3\xAB M\xC3\xBCller", "/T (Zo\\353 M\\374ller)"},
        {"UTF-16", "\xD0\x9F\xD0\xBE\xD0\xB4\xD0\xBF\xD0\xB8\xD1\x81\xD1\x8C", "/T (\\376\\377\\4\\37\\4>"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TestEngine engine;
        const auto request = Request(Source(std::string("name-") + c.name, "", "", false));
        request->SetSigId(c.sigId);
        const auto result = engine.SignRequest(request.get());
        ASSERT_EQ(result->Error(), 1);
        EXPECT_NE(TestSupport::ReadFile(result->File()).find(c.written), std::string::npos) << c.written;
        ExpectAccepted(result->File(), 1);
        std::string report;
        RunProgram({"pdfsig", "-nssdir", _db, result->File()}, &report);
        EXPECT_NE(report.find("Signature Field Name: " + c.sigId + "\n"), std::string::npos) << report;
    }
}

// The nickname pk12util gave the imported identity.
std::string OnlyNick(const std::string& db) {
    std::string list;
    RunProgram({"pdfsig", "-nssdir", db, "-list-nicks"}, &list);
    // "Certificate nicknames available:" and then one name a line.
    const std::size_t start = list.find(":\n");
    if (start == std::string::npos) return "";
    return list.substr(start + 2, list.find('\n', start + 2) - start - 2);
}

TEST_F(PendrelBaseInteropTest, VerifiesWhatOthersSigned) {
    const std::string p12 = TestPKI::Shared().Get(TestPKI::Signer).p12;
    TestSupport::TempDir signing;
    const std::string signingDb = TestSupport::MakeSigningNssDb(signing, p12);
    const std::string nick = OnlyNick(signingDb);
    ASSERT_FALSE(nick.empty());

    // By pdfsig, on a PDF 1.4 of the builder.
    const std::string plain = Source("plain", "", "", false);
    const std::string byPdfsig = _dir.File("by-pdfsig.pdf");
    std::string output;
    ASSERT_EQ(RunProgram({"pdfsig", "-nssdir", signingDb, "-nick", nick, "-add-signature",
                          "-new-signature-field-name", "Poppler", plain, byPdfsig},
                         &output),
              0)
        << output;

    // By mutool, filling the unsigned field of a document.
    const std::string byMutool = _dir.File("by-mutool.pdf");
    ASSERT_EQ(
        RunProgram({"mutool", "sign", "-s", p12, "-P", "", "-o", byMutool, WithEmptyField(), "4"}, &output),
        0)
        << output;

    // Ours first, then pdfsig.
    TestSupport::SignOptions options;
    options.fieldName = "Ours";
    TestSupport::SignDocument(plain, _dir.File("ours.pdf"), options);
    const std::string oursThenPdfsig = _dir.File("ours-then-pdfsig.pdf");
    ASSERT_EQ(RunProgram({"pdfsig", "-nssdir", signingDb, "-nick", nick, "-add-signature",
                          "-new-signature-field-name", "Poppler", _dir.File("ours.pdf"), oursThenPdfsig},
                         &output),
              0)
        << output;

    struct Case {
        const char* name;
        std::string path;
        std::vector<std::string> names;
        std::vector<short> revisions;
    };
    const std::vector<Case> cases = {
        {"pdfsig", byPdfsig, {"Poppler"}, {1}},
        {"mutool", byMutool, {"Mu"}, {1}},
        {"ours, then pdfsig", oursThenPdfsig, {"Ours", "Poppler"}, {1, 2}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TestEngine engine;
        auto request = std::make_unique<TestRequest>(_files.get());
        request->Load(c.path);
        ASSERT_EQ(request->Error(), 0);
        const auto result = engine.VerifyRequest(request.get());
        ASSERT_EQ(result->Error(), 1);
        ASSERT_NE(result->List(), nullptr);
        ASSERT_EQ(result->List()->Count(), c.names.size());
        for (std::size_t i = 0; i < c.names.size(); ++i) {
            const SignatureBase::SigInfo& record = result->List()->At(i);
            EXPECT_EQ(record.sigId, c.names[i]);
            ASSERT_EQ(record.status.size(), 4u);
            EXPECT_EQ(record.status[2], '1') << record.status;
            EXPECT_EQ(record.docRevision, c.revisions[i]);
        }
    }
}

// Encrypted documents (opened with the empty user password) are verified;
// mutool signs them, since it writes its update encrypted.
TEST_F(PendrelBaseInteropTest, VerifiesEncryptedDocuments) {
    const std::string p12 = TestPKI::Shared().Get(TestPKI::Signer).p12;
    const std::string withField = WithEmptyField();
    const std::string plain = Source("plain", "", "", false);
    for (const TestSupport::Encryption& how : TestSupport::Encryptions()) {
        SCOPED_TRACE(how.name);
        ASSERT_EQ(TestSupport::Encrypt(withField, _dir.File("encrypted-field.pdf"), how), 0);
        ASSERT_EQ(TestSupport::Encrypt(plain, _dir.File("encrypted-plain.pdf"), how), 0);
        // qpdf renumbers: the field is the catalog's first /Fields entry.
        std::string fieldNumber;
        RunProgram({"qpdf", "--show-object=1", _dir.File("encrypted-field.pdf")}, &fieldNumber);
        const std::size_t at = fieldNumber.find("/Fields [ ");
        ASSERT_NE(at, std::string::npos) << fieldNumber;
        fieldNumber = fieldNumber.substr(at + 10, fieldNumber.find(' ', at + 10) - at - 10);
        std::string output;
        ASSERT_EQ(RunProgram({"mutool", "sign", "-s", p12, "-P", "", "-o", _dir.File("encrypted-signed.pdf"),
                              _dir.File("encrypted-field.pdf"), fieldNumber},
                             &output),
                  0)
            << output;
        output.clear();
        RunProgram({"pdfsig", "-nssdir", _db, _dir.File("encrypted-signed.pdf")}, &output);
        ASSERT_EQ(TestSupport::CountOf(output, "Signature Validation: Signature is Valid."), 1u) << output;

        TestEngine engine;
        const auto request = Request(_dir.File("encrypted-signed.pdf"));
        const auto result = engine.VerifyRequest(request.get());
        ASSERT_EQ(result->Error(), 1);
        ASSERT_NE(result->List(), nullptr);
        ASSERT_EQ(result->List()->Count(), 1u);
        const SignatureBase::SigInfo& record = result->List()->At(0);
        EXPECT_EQ(record.sigId, "Mu");
        EXPECT_EQ(record.status.substr(0, 3), "111");
        EXPECT_EQ(record.docRevision, 1);

        // Without a signature there is nothing to report, and nothing to sign.
        const auto unsignedRequest = Request(_dir.File("encrypted-plain.pdf"));
        EXPECT_EQ(engine.VerifyRequest(unsignedRequest.get())->Error(), -63);
        const auto refused = engine.SignRequest(unsignedRequest.get());
        EXPECT_EQ(refused->Error(), -65);
        EXPECT_TRUE(refused->File().empty());
    }
}

// A document of cross-reference and object streams through the engine:
// signed twice, both accepted by others and by our verify with their revisions.
TEST_F(PendrelBaseInteropTest, SignsAndVerifiesCrossReferenceStreamDocuments) {
    const std::string built = Source("streams", "/AcroForm<</Fields[]>>", "", false);
    std::string path = _dir.File("streams.pdf");
    ASSERT_EQ(RunProgram({"qpdf", "--object-streams=generate", "--force-version=1.7", built, path}), 0);
    for (int i = 1; i <= 2; ++i) {
        TestEngine engine;
        const auto request = Request(path);
        const auto result = engine.SignRequest(request.get());
        ASSERT_EQ(result->Error(), 1) << i;
        const std::string copy = _dir.File("streams-signed" + std::to_string(i) + ".pdf");
        ASSERT_EQ(RunProgram({"cp", result->File(), copy}), 0);
        path = copy;
    }
    ExpectAccepted(path, 2);
    const std::string bytes = TestSupport::ReadFile(path);
    EXPECT_EQ(TestSupport::CountOf(bytes, "/Type/XRef"), 2u) << "one cross-reference stream per update";

    TestEngine engine;
    const auto request = Request(path);
    const auto result = engine.VerifyRequest(request.get());
    ASSERT_EQ(result->Error(), 1);
    ASSERT_EQ(result->List()->Count(), 2u);
    for (std::size_t i = 0; i < 2; ++i) {
        const SignatureBase::SigInfo& record = result->List()->At(i);
        EXPECT_EQ(record.sigId, "Signature " + std::to_string(i + 1));
        EXPECT_EQ(record.status.substr(0, 3), "111") << record.status;
        EXPECT_EQ(record.docRevision, static_cast<short>(i + 1));
    }
}

}  // namespace
