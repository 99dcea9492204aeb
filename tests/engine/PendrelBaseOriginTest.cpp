// What a web page may do through the engine: load only documents of its own
// origin, never save a file, and sign only what the user allows; a local
// page keeps doing all of it as before.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <memory>
#include <string>

#include "common/Base64Stream.h"
#include "common/PageOrigin.h"
#include "engine/PendrelBase.h"
#include "engine/PropBase.h"
#include "engine/ResultBase.h"
#include "pdf/FileManager.h"
#include "support/HttpServer.h"
#include "support/PdfBuilder.h"
#include "support/ScopedEnv.h"
#include "support/TempDir.h"
#include "support/TestPKI.h"
#include "tests/engine/PendrelBaseHarness.h"

using PendrelTest::LoadIdentity;
using PendrelTest::ScriptedCertificate;
using PendrelTest::TestEngine;
using PendrelTest::TestRequest;
using TestSupport::HttpServer;
using TestSupport::ScopedEnv;
using TestSupport::TestPKI;

namespace {

class PendrelBaseOriginTest : public ::testing::Test {
protected:
    PendrelBaseOriginTest()
        : _keychain("PENDREL_KEYCHAIN", TestPKI::Shared().Keychain().c_str()),
          _allowed("PENDREL_ALLOWED_ORIGINS", ""),
          _allowedFile("PENDREL_ALLOWED_ORIGINS_FILE", _dir.File("config/allowed-origins").c_str()) {
        ::mkdir(_dir.File("work").c_str(), 0700);
        _files = std::make_unique<PDF::FileManager>(_dir.File("work"));
        TestSupport::PdfBuilder pdf;
        pdf.BasicDocument(2);
        pdf.EndRevision();
        _pdf = pdf.Bytes();
        TestSupport::WriteFile(Local(), _pdf);
        _server.Serve("/docs/contract%20v2.pdf", 200, _pdf);
        _server.Serve("/docs/contract%20v2.pdf?session=7", 200, _pdf);
    }

    std::string Local() const { return _dir.File("plain.pdf"); }
    // The page's own origin, as its browser reports the location.
    PageOrigin Page() const { return PageOrigin::FromLocation(_server.Url("/app/sign.html?x=1")); }

    std::unique_ptr<TestRequest> Request(const PageOrigin& origin) {
        auto request = std::make_unique<TestRequest>(_files.get());
        request->SetOrigin(origin);
        request->certificate = LoadIdentity(TestPKI::Signer);
        return request;
    }
    // A request of `origin` with the document fed as Base64, as a web page gives it.
    std::unique_ptr<TestRequest> Fed(const PageOrigin& origin) {
        auto request = Request(origin);
        Util::Base64Encoder encoder;
        std::string text;
        encoder.Encode(reinterpret_cast<const unsigned char*>(_pdf.data()), _pdf.size(), text);
        encoder.Finish(text);
        request->Feed(text.data(), text.size());
        request->Feed("", 0);
        return request;
    }
    int WorkingFiles() const { return static_cast<int>(_files->Files().size()); }

    TestSupport::TempDir _dir;
    ScopedEnv _keychain;
    ScopedEnv _allowed;
    ScopedEnv _allowedFile;
    HttpServer _server;
    std::unique_ptr<PDF::FileManager> _files;
    std::string _pdf;
};

TEST_F(PendrelBaseOriginTest, WebPageLoadsOnlyDocumentsOfItsOwnOrigin) {
    HttpServer other;
    other.Serve("/docs/contract%20v2.pdf", 200, _pdf);
    const std::string port = std::to_string(_server.Port());
    const struct {
        const char* what;
        PageOrigin origin;
        std::string file;
        int pages;  // or the load code
    } cases[] = {
        {"its own origin", Page(), _server.Url("/docs/contract%20v2.pdf"), 2},
        {"its own origin in capitals", Page(), "HTTP://127.0.0.1:" + port + "/docs/contract%20v2.pdf", 2},
        {"a local path", Page(), Local(), PropBase::kRefusedForOrigin},
        {"a file URL", Page(), "file://" + Local(), PropBase::kRefusedForOrigin},
        {"a bare name (home folder)", Page(), "plain.pdf", PropBase::kRefusedForOrigin},
        {"another port", Page(), other.Url("/docs/contract%20v2.pdf"), PropBase::kRefusedForOrigin},
        {"another host name", Page(), "http://localhost:" + port + "/docs/contract%20v2.pdf",
         PropBase::kRefusedForOrigin},
        {"https instead of http", Page(), "https://127.0.0.1:" + port + "/docs/contract%20v2.pdf",
         PropBase::kRefusedForOrigin},
        {"ftp on the same host", Page(), "ftp://127.0.0.1:" + port + "/docs/contract%20v2.pdf",
         PropBase::kRefusedForOrigin},
        {"an opaque page, even the server's URL", PageOrigin::MakeOpaque(),
         _server.Url("/docs/contract%20v2.pdf"), PropBase::kRefusedForOrigin},
        {"a local page, a local path", PageOrigin(), Local(), 2},
        {"a local page, a file URL", PageOrigin(), "file://" + Local(), 2},
        {"a local page, any server", PageOrigin(), other.Url("/docs/contract%20v2.pdf"), 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        auto request = Request(c.origin);
        request->Load(c.file);
        EXPECT_EQ(request->Pages(), c.pages);
        EXPECT_EQ(request->Document() != nullptr, c.pages > 0);
    }
    // A refused URL is never fetched: the page cannot probe another server through the user.
    EXPECT_EQ(other.RequestCount("/docs/contract%20v2.pdf"), 1);  // the local page's load only
}

TEST_F(PendrelBaseOriginTest, WebPageCannotSaveButReadsTheSignedCopy) {
    const ScopedEnv allowed("PENDREL_ALLOWED_ORIGINS", Page().Text().c_str());
    for (const bool web : {true, false}) {
        SCOPED_TRACE(web ? "web page" : "local page");
        auto request = Fed(web ? Page() : PageOrigin());
        ASSERT_EQ(request->Pages(), 2);
        TestEngine engine;
        const auto result = engine.SignRequest(request.get());
        ASSERT_EQ(result->Error(), 1);
        const std::string destination = _dir.File(web ? "web-out.pdf" : "local-out.pdf");
        EXPECT_EQ(result->SaveFile(destination), !web);
        EXPECT_EQ(result->Error(), web ? ResultBase::kSaveRefusedForOrigin : 1);
        EXPECT_EQ(TestSupport::FileExists(destination), !web);
        result->SetError(1);
        std::string copy;
        for (std::string piece = result->ReadStreamData(); !piece.empty(); piece = result->ReadStreamData())
            copy += piece;
        EXPECT_EQ(result->Error(), 1);
        EXPECT_GT(copy.size(), _pdf.size());  // the signed copy, as Base64
    }
}

TEST_F(PendrelBaseOriginTest, WebPageSignsOnlyWhatTheUserAllows) {
    using Answer = SignConsentDlg::Answer;
    const std::string page = Page().Text();
    const std::string file = _dir.File("config/allowed-origins");
    const std::string writtenOtherwise =
        "https://other.example\nHTTP://127.0.0.1:" + std::to_string(_server.Port()) + "/";
    const struct {
        const char* what;
        PageOrigin origin;
        const char* listed;  // PENDREL_ALLOWED_ORIGINS, or null for the file
        std::string fileText;
        bool window;
        Answer answer;
        int code;
        int asked;
        bool rememberedAfter;
    } cases[] = {
        {"no window, nothing allowed", Page(), "", "", false, Answer::Deny, PendrelBase::kSignDenied, 0, false},
        {"no window, allowed in the variable", Page(), page.c_str(), "", false, Answer::Deny, 1, 0, false},
        {"no window, allowed as written otherwise", Page(), writtenOtherwise.c_str(), "", false, Answer::Deny,
         1, 0, false},
        {"no window, other origins allowed", Page(), "https://other.example http://127.0.0.1", "", false,
         Answer::Deny, PendrelBase::kSignDenied, 0, false},
        {"no window, allowed in the file", Page(), nullptr, "# mine\n" + page + "\n", false, Answer::Deny, 1, 0,
         true},
        {"the user denies", Page(), "", "", true, Answer::Deny, PendrelBase::kSignDenied, 1, false},
        {"the user allows once", Page(), nullptr, "", true, Answer::Allow, 1, 1, false},
        {"the user allows for good", Page(), nullptr, "", true, Answer::AllowAlways, 1, 1, true},
        {"an opaque page allowed for good is not remembered", PageOrigin::MakeOpaque(), nullptr, "", true,
         Answer::AllowAlways, 1, 1, false},
        {"an opaque page is not allowed by a listed 'null'", PageOrigin::MakeOpaque(), "null", "", false,
         Answer::Deny, PendrelBase::kSignDenied, 0, false},
        {"a local page is never asked", PageOrigin(), "", "", true, Answer::Deny, 1, 0, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::remove(file.c_str());
        if (!c.fileText.empty()) {
            ::mkdir(_dir.File("config").c_str(), 0700);
            TestSupport::WriteFile(file, c.fileText);
        }
        const ScopedEnv listed("PENDREL_ALLOWED_ORIGINS", c.listed);
        auto request = Fed(c.origin);
        ASSERT_EQ(request->Pages(), 2);
        request->SetLang(1);
        auto certificate = std::make_unique<ScriptedCertificate>(*LoadIdentity(TestPKI::Signer), 0, 0, 2, 1);
        ScriptedCertificate* const signer = certificate.get();
        request->certificate = std::move(certificate);
        const int filesBefore = WorkingFiles();

        TestEngine engine;
        int asked = 0;
        std::string origin, name, subject;
        std::uint64_t size = 0;
        bool rememberable = false;
        int language = -1;
        if (c.window) {
            engine.consent = [&](const SignConsentDlg& dialog) {
                ++asked;
                origin = dialog.Origin();
                name = dialog.DocumentName();
                size = dialog.DocumentSize();
                subject = dialog.Certificate();
                rememberable = dialog.Rememberable();
                language = dialog.Language();
                return c.answer;
            };
        }
        const auto result = engine.SignRequest(request.get());
        EXPECT_EQ(result->Error(), c.code);
        EXPECT_EQ(asked, c.asked);
        if (c.code == PendrelBase::kSignDenied) {
            // Denied before anything else: no validation, no window, no working file.
            EXPECT_EQ(signer->validations, 0);
            EXPECT_EQ(WorkingFiles(), filesBefore);
            EXPECT_TRUE(result->File().empty());
        }
        if (asked > 0) {
            EXPECT_EQ(origin, c.origin.Text());
            EXPECT_EQ(name, "");  // fed as data
            EXPECT_EQ(size, _pdf.size());
            EXPECT_EQ(subject, signer->Subject());
            EXPECT_EQ(rememberable, c.origin.GetKind() == PageOrigin::Web);
            EXPECT_EQ(language, 1);
        }
        // What is remembered lets the next sign through without a window.
        const ScopedEnv fromFile("PENDREL_ALLOWED_ORIGINS", nullptr);
        const bool remembered = TestSupport::FileExists(file) &&
                                TestSupport::ReadFile(file).find(c.origin.Text() + "\n") != std::string::npos;
        EXPECT_EQ(remembered, c.rememberedAfter);
        if (c.rememberedAfter && c.origin.IsWeb()) {
            TestEngine windowless;
            auto again = Fed(c.origin);
            EXPECT_EQ(windowless.SignRequest(again.get())->Error(), 1);
        }
    }
}

TEST_F(PendrelBaseOriginTest, ConsentNamesTheDocumentAPageLoadedFromItsOrigin) {
    auto request = Request(Page());
    request->Load(_server.Url("/docs/contract%20v2.pdf?session=7"));
    ASSERT_EQ(request->Pages(), 2);
    TestEngine engine;
    std::string name;
    engine.consent = [&](const SignConsentDlg& dialog) {
        name = dialog.DocumentName();
        return SignConsentDlg::Deny;
    };
    EXPECT_EQ(engine.SignRequest(request.get())->Error(), PendrelBase::kSignDenied);
    EXPECT_EQ(name, "contract v2.pdf");
}

TEST_F(PendrelBaseOriginTest, WindowsOfAWebPageNameItsOrigin) {
    const ScopedEnv allowed("PENDREL_ALLOWED_ORIGINS", Page().Text().c_str());
    auto request = Fed(Page());
    request->SetOptions(PropBase::kShowStatus);
    auto certificate = std::make_unique<ScriptedCertificate>(*LoadIdentity(TestPKI::Signer), 0, 0, 2, 1);
    ScriptedCertificate* const signer = certificate.get();
    request->certificate = std::move(certificate);
    TestEngine engine;
    const auto signedResult = engine.SignRequest(request.get());
    ASSERT_EQ(signedResult->Error(), 1);
    EXPECT_EQ(signer->lastPromptOrigin, Page().Text());    // a passphrase or PIN window would name it
    EXPECT_EQ(signer->lastValidateOrigin, Page().Text());  // and so would a revocation download
    EXPECT_EQ(engine.dialogs.sigShows, 1);
    EXPECT_EQ(engine.dialogs.sigOriginAtShow, Page().Text());
    // The signed copy, verified by the same page.
    std::string text;
    for (std::string piece = signedResult->ReadStreamData(); !piece.empty(); piece = signedResult->ReadStreamData())
        text += piece;
    auto verify = std::make_unique<TestRequest>(_files.get());
    verify->SetOrigin(Page());
    verify->SetOptions(PropBase::kShowStatus);
    verify->Feed(text.data(), text.size());
    verify->Feed("", 0);
    const auto verified = engine.VerifyRequest(verify.get());
    EXPECT_EQ(verified->Error(), 1);
    EXPECT_EQ(engine.dialogs.statusShows, 1);
    EXPECT_EQ(engine.dialogs.statusOriginAtShow, Page().Text());
    EXPECT_FALSE(verified->SaveFile(_dir.File("verified.pdf")));
    EXPECT_EQ(verified->Error(), ResultBase::kSaveRefusedForOrigin);
}

}  // namespace
