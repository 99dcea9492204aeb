#include <gtest/gtest.h>

#include <cstdio>
#include <ctime>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "common/Util.h"
#include "crypto/openssl/CertificateOpenSSL.h"
#include "gtk/StatusDlgGtk.h"
#include "pdf/Field.h"
#include "pdf/Fields.h"
#include "pdf/Signature.h"
#include "pdf/Versions.h"
#include "support/FakeXdgOpen.h"
#include "support/GuiDriver.h"
#include "support/OpenedDocument.h"
#include "support/PdfBuilder.h"
#include "support/ScopedEnv.h"
#include "support/TempDir.h"
#include "support/TestPKI.h"

namespace {

using GtkTest::GuiDriver;
using TestSupport::PdfBuilder;
using TestSupport::TestPKI;

std::string Icon(const char* name) {
    return std::string(PENDREL_RESOURCE_DIR) + "/" + name;
}
const std::string kOk = Icon("Pendrel_OK.png");
const std::string kBad = Icon("Pendrel_Bad.png");
const std::string kUnknown = Icon("Pendrel_Unknown.png");

// 2024-01-15 14:30:00 UTC, as /M of the first signature writes it.
constexpr std::time_t kSigningTime = 1705329000;

// Three revisions: the first signed by "Approval" (object 8), the second by
// "Review" (object 10, its /M not a date), the third an unsigned update.
PdfBuilder Document() {
    PdfBuilder pdf;
    pdf.BasicDocument(1, "/AcroForm 6 0 R");
    pdf.Object(6, "<</Fields[7 0 R]>>");
    pdf.Object(7, "<</FT/Sig/T(Approval)/P 3 0 R/V 8 0 R>>");
    pdf.Object(8, PdfBuilder::SignatureDict("/Name(Jane Doe)/Reason(Approved for release)/Location(Berlin)"
                                            "/ContactInfo(jane@example.test)/M(D:20240115143000Z)"));
    pdf.EndRevision();
    pdf.CoverUpTo(8, pdf.RevisionEnds()[0]);
    pdf.Object(6, "<</Fields[7 0 R 9 0 R]>>");
    pdf.Object(9, "<</FT/Sig/T(Review)/P 3 0 R/V 10 0 R>>");
    // Reason in UTF-16BE: "Geprüft".
    pdf.Object(10, PdfBuilder::SignatureDict("/Name(Max Muster)/Reason<FEFF004700650070007200FC00660074>"
                                             "/Location(K\\366ln)/M(yesterday)"));
    pdf.EndRevision();
    pdf.CoverUpTo(10, pdf.RevisionEnds()[1]);
    pdf.Add("(an unsigned update)");
    pdf.EndRevision();
    return pdf;
}

Crypto::CertificateOpenSSL Load(TestPKI::Id id) {
    const std::string der = TestSupport::ReadFile(TestPKI::Shared().Get(id).certDer);
    Crypto::CertificateOpenSSL cert(reinterpret_cast<const unsigned char*>(der.data()), der.size());
    // against the test keychain: the chain of a current signer is trusted
    const TestSupport::ScopedEnv keychain("PENDREL_KEYCHAIN", TestPKI::Shared().Keychain().c_str());
    cert.Validate(false);
    return cert;
}

// ctime's text of a time, without its newline.
std::string CtimeText(std::time_t when) {
    std::tm t{};
    localtime_r(&when, &t);
    char text[64];
    std::strftime(text, sizeof text, "%a %b %e %H:%M:%S %Y", &t);
    return text;
}

void SelectNext(GuiDriver& g, const std::string& title, int index) {
    g.PressKey(title, "comboSelect", "Down");
    g.WaitUntil(
        [&] {
            return gtk_combo_box_get_active(GTK_COMBO_BOX(GuiDriver::FindWidget(title, "comboSelect"))) ==
                   index;
        },
        "signature " + std::to_string(index));
}

class StatusDlgGtkTest : public testing::Test {
protected:
    void SetUp() override {
        GtkTest::UseBuildResources();
        title = GtkTest::Text(165);
        pdf.Save(dir.File("signed.pdf"));
        doc = std::make_unique<TestSupport::OpenedDocument>(dir.File("signed.pdf"));
        fields = std::make_unique<PDF::Fields>(&doc->Env());
        fields->Load();
        ASSERT_EQ(fields->Count(), 2u);
        for (size_t i = 0; i < 2; ++i) {
            signatures.push_back(fields->At(i)->GetSignature());
            ASSERT_NE(signatures.back(), nullptr);
            signatures.back()->MatchVersion();
        }
        ASSERT_EQ(signatures[0]->GetRevision(), 0);
        ASSERT_EQ(signatures[1]->GetRevision(), 1);
        signers[signatures[0].get()] = &approvalSigner;
        signers[signatures[1].get()] = &reviewSigner;
    }

    StatusDlgGtk::SignerLookup Lookup() {
        return [this](const PDF::Signature& signature) -> const Crypto::Certificate* {
            const auto found = signers.find(&signature);
            return found != signers.end() ? found->second : nullptr;
        };
    }

    // Both signatures: the first verifies, the second does not.
    void Fill(StatusDlgGtk& dialog) {
        dialog.AddSignature("Approval", signatures[0].get(), PDF::Signature::kVerified);
        dialog.AddSignature("Review", signatures[1].get(), PDF::Signature::kNotVerified);
        dialog.SetVersions(doc->Env().GetVersions());
    }

    GuiDriver gui;
    const TestSupport::TempDir dir;
    const PdfBuilder pdf = Document();
    std::unique_ptr<TestSupport::OpenedDocument> doc;
    std::unique_ptr<PDF::Fields> fields;
    std::vector<std::unique_ptr<PDF::Signature>> signatures;
    Crypto::CertificateOpenSSL approvalSigner = Load(TestPKI::Signer);
    Crypto::CertificateOpenSSL reviewSigner = Load(TestPKI::Expired);
    std::map<const PDF::Signature*, const Crypto::Certificate*> signers;
    std::string title;
};

struct Expected {
    std::string signer, reason, location, contact, time, serial, subject;
    std::string timeIcon, sigIcon, chainIcon;
    int timeMessage, sigMessage, chainMessage;
};

void ExpectShown(GuiDriver& g, const std::string& title, const Expected& e) {
    EXPECT_EQ(g.LabelText(title, "textSigner"), e.signer);
    EXPECT_EQ(g.LabelText(title, "textReason"), e.reason);
    EXPECT_EQ(g.LabelText(title, "textLocation"), e.location);
    EXPECT_EQ(g.LabelText(title, "textContact"), e.contact);
    EXPECT_EQ(g.LabelText(title, "textSigningTime"), e.time);
    EXPECT_EQ(g.LabelText(title, "textSerial"), e.serial);
    EXPECT_EQ(g.LabelText(title, "textSubject"), e.subject);
    EXPECT_EQ(g.LabelText(title, "textIssuer"), "Pendrel Test CA Unit");
    EXPECT_TRUE(g.ImageShows(title, "imageTime", e.timeIcon));
    EXPECT_EQ(g.LabelText(title, "textTime"), GtkTest::Text(e.timeMessage));
    EXPECT_TRUE(g.ImageShows(title, "imageSig", e.sigIcon));
    EXPECT_EQ(g.LabelText(title, "textSig"), GtkTest::Text(e.sigMessage));
    EXPECT_TRUE(g.ImageShows(title, "imageChain", e.chainIcon));
    EXPECT_EQ(g.LabelText(title, "textChain"), GtkTest::Text(e.chainMessage));
    EXPECT_TRUE(g.ImageShows(title, "imageCrl", kUnknown));
    EXPECT_EQ(g.LabelText(title, "textCrl"), GtkTest::Text(136));
}

}  // namespace

TEST_F(StatusDlgGtkTest, ShowsEachSignatureOfTheDocumentWithItsChecks) {
    StatusDlgGtk dialog(Lookup());
    Fill(dialog);
    const std::string error = gui.Drive(
        [&](GuiDriver& g) {
            g.WaitForWindow(title);
            {
                SCOPED_TRACE("Approval");
                ExpectShown(
                    g, title,
                    {"Jane Doe", "Approved for release", "Berlin", "jane@example.test",
                     CtimeText(kSigningTime), "4097", "Pendrel Test Signer", kOk, kOk, kOk, 128, 137, 131});
            }
            SelectNext(g, title, 1);
            {
                SCOPED_TRACE("Review");
                ExpectShown(g, title,
                            {"Max Muster", "Geprüft", "Köln", "", "Unknown", "4103", "Pendrel Expired", kBad,
                             kBad, kBad, 129, 138, 132});
            }
            g.ClickWidget(title, "buttonOk");
        },
        [&] { dialog.Show(); });
    ASSERT_EQ(error, "");
}

TEST_F(StatusDlgGtkTest, ASignatureWithoutKnownSignerKeepsThePreviousDetails) {
    StatusDlgGtk dialog(Lookup());
    dialog.AddSignature("Approval", signatures[0].get(), PDF::Signature::kVerified);
    signers.erase(signatures[1].get());
    dialog.AddSignature("Review", signatures[1].get(), PDF::Signature::kNoContents);
    dialog.AddSignature("Missing", nullptr, PDF::Signature::kNoRange);
    std::vector<std::string> shown;
    const std::string error = gui.Drive(
        [&](GuiDriver& g) {
            g.WaitForWindow(title);
            for (int index = 1; index < 3; ++index) {
                SelectNext(g, title, index);
                shown.push_back(g.LabelText(title, "textSigner") + "|" + g.LabelText(title, "textSerial") +
                                "|" + g.LabelText(title, "textSig"));
            }
            g.ClickWidget(title, "buttonOk");
        },
        [&] { dialog.Show(); });
    ASSERT_EQ(error, "");
    const std::string first = "Jane Doe|4097|" + GtkTest::Text(137);
    EXPECT_EQ(shown, (std::vector<std::string>{first, first}));
}

TEST_F(StatusDlgGtkTest, ViewVersionHandsTheCoveredRevisionToXdgOpen) {
    const GtkTest::FakeXdgOpen opener;
    StatusDlgGtk dialog(Lookup());
    Fill(dialog);
    std::vector<std::string> records;
    const std::string error = gui.Drive(
        [&](GuiDriver& g) {
            g.WaitForWindow(title);
            for (int index = 0; index < 2; ++index) {
                if (index > 0) SelectNext(g, title, index);
                opener.Reset();
                g.ClickWidget(title, "btnViewVersion");
                if (!opener.WaitOpened()) throw std::runtime_error("xdg-open did not run");
                records.push_back(TestSupport::ReadFile(opener.Record()));
            }
            g.ClickWidget(title, "buttonOk");
        },
        [&] { dialog.Show(); });
    ASSERT_EQ(error, "");
    ASSERT_EQ(records.size(), 2u);
    for (size_t i = 0; i < records.size(); ++i) {
        SCOPED_TRACE(i);
        ASSERT_EQ(records[i].rfind("1\n", 0), 0u) << records[i];  // one argument
        const std::string path = records[i].substr(2);
        EXPECT_EQ(TestSupport::ReadFile(path), pdf.Bytes().substr(0, pdf.RevisionEnds()[i]));
        std::remove(path.c_str());
    }
}

TEST_F(StatusDlgGtkTest, VersionFileIsEmptyWhereThereIsNothingToOpen) {
    StatusDlgGtk dialog(Lookup());
    dialog.AddSignature("Approval", signatures[0].get(), PDF::Signature::kVerified);
    dialog.AddSignature("Missing", nullptr, PDF::Signature::kNoRange);
    EXPECT_EQ(dialog.VersionFile(0), "");  // no versions yet
    dialog.SetVersions(doc->Env().GetVersions());
    const std::string path = dialog.VersionFile(0);
    EXPECT_EQ(TestSupport::ReadFile(path), pdf.Bytes().substr(0, pdf.RevisionEnds()[0]));
    std::remove(path.c_str());
    EXPECT_EQ(dialog.VersionFile(1), "");  // no signature
    EXPECT_EQ(dialog.VersionFile(2), "");  // outside the list
}

TEST_F(StatusDlgGtkTest, ShowCertificateListsTheSignersDetails) {
    StatusDlgGtk dialog(Lookup());
    Fill(dialog);
    const std::string viewer = GtkTest::Text(164);
    std::string subjectDN, usage, key;
    const std::string error = gui.Drive(
        [&](GuiDriver& g) {
            g.ClickWidget(title, "buttonShowCertificate");
            subjectDN = g.LabelText(viewer, "textSubjectDN");
            usage = g.LabelText(viewer, "textKeyUsage");
            key = g.LabelText(viewer, "textKey");
            g.Screenshot(viewer, GuiDriver::ScreenshotPath("CertViewerOfSigner-en.png"));
            g.ClickWidget(viewer, "buttonOk");
            g.ClickWidget(title, "buttonOk");
        },
        [&] { dialog.Show(); });
    ASSERT_EQ(error, "");
    EXPECT_EQ(subjectDN, TestPKI::Shared().Get(TestPKI::Signer).subjectDN);
    EXPECT_EQ(usage, "digitalSignature, nonRepudiation");
    EXPECT_EQ(key.rfind("RSA, ", 0), 0u) << key;
}

TEST_F(StatusDlgGtkTest, WithoutWindowsReturnsAtOnce) {
    const TestSupport::ScopedEnv none("PENDREL_DIALOGS", "none");
    StatusDlgGtk dialog(Lookup());
    Fill(dialog);
    dialog.Show();  // a window would block here until the deadline of the test
    SUCCEED();
}

TEST_F(StatusDlgGtkTest, ScreenshotsInBothLanguages) {
    StatusDlgGtk dialog(Lookup());
    Fill(dialog);
    for (const int language : {0, 1}) {
        SCOPED_TRACE(language);
        const std::string shownTitle = GtkTest::Text(165, language);
        const std::string error = gui.Drive(
            [&](GuiDriver& g) {
                g.Screenshot(shownTitle, GuiDriver::ScreenshotPath(std::string("StatusDlgGtk-") +
                                                                   (language == 0 ? "en" : "de") + ".png"));
                g.ClickWidget(shownTitle, "buttonOk");
            },
            [&] {
                dialog.SetLanguage(language);
                dialog.Show();
            });
        EXPECT_EQ(error, "");
    }
}
