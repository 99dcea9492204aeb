// "Sign here" forms: empty signature fields signed where they are, judged by
// independent programs, and fields that other programs signed, verified.
#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/PendrelBase.h"
#include "engine/VisualRepBase.h"
#include "pdf/FileManager.h"
#include "pdf/Surface.h"
#include "support/NssDb.h"
#include "support/PdfBuilder.h"
#include "support/Process.h"
#include "support/ScopedEnv.h"
#include "support/TempDir.h"
#include "support/TestPKI.h"
#include "tests/engine/PendrelBaseHarness.h"

using PendrelTest::LoadIdentity;
using PendrelTest::TestEngine;
using PendrelTest::TestRequest;
using TestSupport::PdfBuilder;
using TestSupport::RunProgram;
using TestSupport::TestPKI;

namespace {

std::size_t Count(const std::string& text, const std::string& what) {
    std::size_t count = 0;
    for (std::size_t at = 0; (at = text.find(what, at)) != std::string::npos; at += what.size()) ++count;
    return count;
}

const char kId[] = "/ID[<00112233445566778899AABBCCDDEEFF><00112233445566778899AABBCCDDEEFF>]";

// Empty signature fields of every shape a form brings, each on a two-page
// document beside a text field.
struct Form {
    const char* name;
    std::function<void(PdfBuilder&, std::vector<int>& fields)> build;
    std::string sigId;
    std::string kept;  // an entry of the field that its rewritten object still has
    std::string rect;  // the widget's /Rect as written after signing
    // The page object rewritten to list the widget, invisible and visible; 0: none.
    int pageInvisible, pageVisible;
};

const std::vector<Form> kForms = {
    {"its own widget on page 2",
     [](PdfBuilder& b, std::vector<int>& fields) {
         fields.push_back(
             b.EmptySignatureField("Here", 2, "[100 100 300 150]", "/TU(Sign here)/MK<</BG[1 1 0]>>"));
     },
     "Here", "/TU(Sign here)/MK<</BG[1 1 0]>>", "/Rect[100 100 300 150]", 0, 0},
    {"no widget at all",
     [](PdfBuilder& b, std::vector<int>& fields) { fields.push_back(b.Add("<</FT/Sig/T(Bare)/TU(Sign)>>")); },
     "Bare", "/TU(Sign)", "", 3, 4},
    {"widget as a kid",
     [](PdfBuilder& b, std::vector<int>& fields) {
         const int field = b.NextNumber();
         b.Object(field, "<</FT/Sig/T(Kid)/Kids[" + std::to_string(field + 1) + " 0 R]/TU(Kid field)>>");
         b.Object(field + 1, "<</Type/Annot/Subtype/Widget/Parent " + std::to_string(field) +
                                 " 0 R/Rect[300 500 500 560]/P 4 0 R/F 4>>");
         b.Annotate(2, field + 1);
         fields.push_back(field);
     },
     "Kid", "/TU(Kid field)", "/Rect[300 500 500 560]", 0, 0},
    {"partial name under a parent",
     [](PdfBuilder& b, std::vector<int>& fields) {
         const int parent = b.NextNumber();
         b.Object(parent, "<</T(Group)/Kids[" + std::to_string(parent + 1) + " 0 R]>>");
         b.Object(parent + 1, "<</FT/Sig/T(Child)/Parent " + std::to_string(parent) +
                                  " 0 R/Type/Annot/Subtype/Widget/Rect[50 50 250 100]/P 3 0 R/TU(Child)>>");
         b.Annotate(1, parent + 1);
         fields.push_back(parent);
     },
     "Group.Child", "/TU(Child)", "/Rect[50 50 250 100]", 0, 0},
    {"widget its page does not list",
     [](PdfBuilder& b, std::vector<int>& fields) {
         fields.push_back(
             b.Add("<</FT/Sig/T(Unlisted)/Type/Annot/Subtype/Widget/Rect[10 10 110 60]/P 4 0 R/TU(U)>>"));
     },
     "Unlisted", "/TU(U)", "/Rect[10 10 110 60]", 4, 4},
};

class PendrelBaseFormTest : public ::testing::Test {
protected:
    PendrelBaseFormTest() : _keychain("PENDREL_KEYCHAIN", TestPKI::Shared().Keychain().c_str()) {
        _files = std::make_unique<PDF::FileManager>(_dir.Path());
    }

    std::string Build(const Form& form, const std::string& file) {
        PdfBuilder builder;
        builder.BasicDocument(2);
        std::vector<int> fields = {builder.Add("<</FT/Tx/T(Name)/V(Jane)>>")};
        form.build(builder, fields);
        builder.AcroForm(fields, "/DA(/Helv 0 Tf)");
        builder.TrailerExtra(kId);
        builder.EndRevision();
        builder.Save(_dir.File(file));
        return _dir.File(file);
    }

    // pdfsig: `signatures` valid ones, the newest over the whole file, and no
    // other signature field; qpdf finds nothing wrong; mutool sees no change.
    void ExpectAccepted(const std::string& path, std::size_t signatures) {
        std::string report;
        EXPECT_EQ(RunProgram({"pdfsig", "-nssdir", _db, path}, &report), 0) << report;
        EXPECT_EQ(Count(report, "Signature Field Name:"), signatures) << report;
        EXPECT_EQ(Count(report, "Signature Validation: Signature is Valid."), signatures) << report;
        EXPECT_GE(Count(report, "Certificate Validation: Certificate is Trusted."), 1u) << report;
        EXPECT_EQ(Count(report, "Total document signed"), 1u) << report;
        report.clear();
        EXPECT_EQ(RunProgram({"qpdf", "--check", path}, &report), 0) << report;
        EXPECT_NE(report.find("No syntax or stream encoding errors found"), std::string::npos) << report;
        report.clear();
        EXPECT_EQ(RunProgram({"mutool", "sign", "-v", path}, &report), 0) << report;
        EXPECT_EQ(Count(report, "The document is unchanged since signing."), 1u) << report;
    }

    // Our verification: the names of the fields reported, each intact.
    std::vector<std::string> OurVerify(const std::string& path) {
        TestEngine engine;
        TestRequest request(_files.get());
        request.Load(path);
        EXPECT_EQ(request.Error(), 0) << path;
        const auto result = engine.VerifyRequest(&request);
        std::vector<std::string> names;
        if (result->Error() != 1 || result->List() == nullptr) return names;
        for (std::size_t i = 0; i < result->List()->Count(); ++i) {
            const SignatureBase::SigInfo& record = result->List()->At(i);
            EXPECT_EQ(record.status.substr(0, 3), "111") << record.sigId;
            names.push_back(record.sigId);
        }
        return names;
    }

    // Signs `path` through the engine; the result's copy, or empty.
    // Signing `path` is refused as damaged (-52) and leaves no copy.
    void ExpectRefused(const std::string& path) {
        int error = 0;
        EXPECT_EQ(Sign(path, "", false, &error), "");
        EXPECT_EQ(error, -52);
        for (const std::string& name : _files->Files()) EXPECT_FALSE(std::ifstream(name).good()) << name;
    }

    std::string Sign(const std::string& path, const std::string& sigId, bool visible, int* error = nullptr) {
        TestEngine engine;
        TestRequest request(_files.get());
        request.Load(path);
        request.certificate = LoadIdentity(TestPKI::Signer);
        request.SetSigId(sigId);
        VisualRepBase visual;
        if (visible) {
            visual.Initialize(2, 200, 300, 600, 200, 240, 240, 255, request.certificate.get());
            visual.GetSurface()->SetFont("DejaVu Sans", 40, 0);
            visual.GetSurface()->SetPos(20, 20);
            visual.GetSurface()->WriteString(L"Signed by $Subject");
            request.visual = &visual;
        }
        const auto result = engine.SignRequest(&request);
        if (error != nullptr) *error = result->Error();
        if (result->Error() != 1) return "";
        if (!sigId.empty()) {
            EXPECT_EQ(result->List()->At(0).sigId, sigId);
        }
        // The copy outlives the result, which deletes its own.
        const std::string kept = result->File() + ".kept.pdf";
        TestSupport::WriteFile(kept, TestSupport::ReadFile(result->File()));
        return kept;
    }

    TestSupport::TempDir _dir;
    TestSupport::TempDir _nss;
    TestSupport::ScopedEnv _keychain;
    std::unique_ptr<PDF::FileManager> _files;
    std::string _db = TestSupport::MakeNssDb(_nss);
};

TEST_F(PendrelBaseFormTest, EmptyFieldsAreSignedWhereTheyAre) {
    for (const Form& form : kForms) {
        for (const bool visible : {false, true}) {
            SCOPED_TRACE(std::string(form.name) + (visible ? ", visible" : ", invisible"));
            const std::string source = Build(form, std::string(form.name) + (visible ? "-v" : "") + ".pdf");
            std::string report;
            RunProgram({"pdfsig", "-nssdir", _db, source}, &report);
            ASSERT_NE(report.find("The signature form field is not signed."), std::string::npos) << report;
            EXPECT_TRUE(OurVerify(source).empty());  // an empty field is no signature

            const std::string signedCopy = Sign(source, form.sigId, visible);
            ASSERT_FALSE(signedCopy.empty());
            ExpectAccepted(signedCopy, 1);
            EXPECT_EQ(OurVerify(signedCopy), std::vector<std::string>{form.sigId});
            // The field is rewritten in place with its entries; the form is not.
            const std::string update =
                TestSupport::ReadFile(signedCopy).substr(TestSupport::ReadFile(source).size());
            EXPECT_NE(update.find(form.kept), std::string::npos) << update.substr(0, 2000);
            EXPECT_EQ(update.find("/Fields"), std::string::npos);
            EXPECT_EQ(update.find("/T (Signature"), std::string::npos);
            if (!form.rect.empty()) {
                EXPECT_NE(update.find(form.rect), std::string::npos);
            }
            for (int page : {3, 4}) {
                const bool rewritten = page == (visible ? form.pageVisible : form.pageInvisible);
                EXPECT_EQ(
                    update.find("\n" + std::to_string(page) + " 0 obj\n<</Type/Page") != std::string::npos,
                    rewritten)
                    << page;
            }

            // Signed already: refused, nothing written.
            int error = 0;
            EXPECT_TRUE(Sign(signedCopy, form.sigId, false, &error).empty());
            EXPECT_EQ(error, -66);
            // A second signature on top, in a new field: both stay valid.
            const std::string twice = Sign(signedCopy, "Second", false);
            ASSERT_FALSE(twice.empty());
            ExpectAccepted(twice, 2);
            EXPECT_EQ(OurVerify(twice), (std::vector<std::string>{form.sigId, "Second"}));
        }
    }
}

// Without sigId a new field is made, numbered after the signature fields
// the form has and past the names its fields have taken.
TEST_F(PendrelBaseFormTest, NewFieldNamesPassOverNamesTheFormHas) {
    PdfBuilder builder;
    builder.BasicDocument(1);
    builder.AcroForm(
        {builder.EmptySignatureField("Signature 2", 1), builder.Add("<</FT/Tx/T(Signature 3)>>")});
    builder.EndRevision();
    builder.Save(_dir.File("taken.pdf"));
    const std::string signedCopy = Sign(_dir.File("taken.pdf"), "", false);
    ASSERT_FALSE(signedCopy.empty());
    EXPECT_EQ(OurVerify(signedCopy), std::vector<std::string>{"Signature 4"});
}

// A form Ghostscript made: a page of text and an empty signature field.
TEST_F(PendrelBaseFormTest, FormMadeByGhostscript) {
    if (RunProgram({"gs", "--version"}) != 0) GTEST_SKIP() << "ghostscript not installed";
    TestSupport::WriteFile(
        _dir.File("form.ps"),
        "%!PS\n<< /PageSize [612 792] >> setpagedevice\n"
        "/Helvetica findfont 12 scalefont setfont 72 700 moveto (Please sign below) show\n"
        "[ /_objdef {here} /Subtype /Widget /Rect [100 100 300 150] /FT /Sig /T (SignHere) "
        "/F 4 /ANN pdfmark\n"
        "[ /_objdef {form} /type /dict /OBJ pdfmark\n"
        "[ {form} << /Fields [ {here} ] >> /PUT pdfmark\n"
        "[ {Catalog} << /AcroForm {form} >> /PUT pdfmark\nshowpage\n");
    const std::string form = _dir.File("gs-form.pdf");
    ASSERT_EQ(RunProgram({"gs", "-q", "-dSAFER", "-dNOPAUSE", "-dBATCH", "-sDEVICE=pdfwrite",
                          "-dCompatibilityLevel=1.4", "-sOutputFile=" + form, _dir.File("form.ps")}),
              0);
    EXPECT_TRUE(OurVerify(form).empty());
    for (const bool visible : {false, true}) {
        SCOPED_TRACE(visible ? "visible" : "invisible");
        const std::string signedCopy = Sign(form, "SignHere", visible);
        ASSERT_FALSE(signedCopy.empty());
        ExpectAccepted(signedCopy, 1);
        EXPECT_EQ(OurVerify(signedCopy), std::vector<std::string>{"SignHere"});
        const std::string twice = Sign(signedCopy, "", false);
        ASSERT_FALSE(twice.empty());
        ExpectAccepted(twice, 2);
        // The new field's number follows the one field the form had.
        EXPECT_EQ(OurVerify(twice), (std::vector<std::string>{"SignHere", "Signature 2"}));
    }
}

// The nickname pk12util gave the imported identity.
std::string OnlyNick(const std::string& db) {
    std::string list;
    RunProgram({"pdfsig", "-nssdir", db, "-list-nicks"}, &list);
    const std::size_t start = list.find(":\n");
    if (start == std::string::npos) return "";
    return list.substr(start + 2, list.find('\n', start + 2) - start - 2);
}

// Our empty fields signed by pdfsig (by fully qualified name) and mutool
// (by widget number): verified under their names, and signed again on top.
TEST_F(PendrelBaseFormTest, OurFormsSignedByOthers) {
    const std::string p12 = TestPKI::Shared().Get(TestPKI::Signer).p12;
    TestSupport::TempDir signing;
    const std::string signingDb = TestSupport::MakeSigningNssDb(signing, p12);
    const std::string nick = OnlyNick(signingDb);
    ASSERT_FALSE(nick.empty());
    const struct {
        const char* name;
        const Form& form;
        std::string widget;  // mutool's object number; pdfsig when empty
    } cases[] = {
        {"pdfsig, own widget", kForms[0], ""},
        {"pdfsig, partial name", kForms[3], ""},
        // Pages 3 and 4, the text field 5, the field 6 and its widget 7.
        {"mutool, widget as a kid", kForms[2], "7"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string source = Build(c.form, std::string("others-") + c.name + ".pdf");
        const std::string byOther = source + ".signed.pdf";
        std::string output;
        if (c.widget.empty()) {
            ASSERT_EQ(RunProgram({"pdfsig", "-nssdir", signingDb, "-nick", nick, "-sign", c.form.sigId,
                                  source, byOther},
                                 &output),
                      0)
                << output;
        } else {
            ASSERT_EQ(
                RunProgram({"mutool", "sign", "-s", p12, "-P", "", "-o", byOther, source, c.widget}, &output),
                0)
                << output;
        }
        EXPECT_EQ(OurVerify(byOther), std::vector<std::string>{c.form.sigId});
        const std::string ours = Sign(byOther, "Ours", false);
        ASSERT_FALSE(ours.empty());
        EXPECT_EQ(OurVerify(ours), (std::vector<std::string>{c.form.sigId, "Ours"}));
        std::string report;
        RunProgram({"pdfsig", "-nssdir", _db, ours}, &report);
        EXPECT_EQ(Count(report, "Signature Validation: Signature is Valid."), 2u) << report;
    }
}

}  // namespace

// A page tree whose page is the form dictionary itself (found by fuzzing):
// the update would write that object twice, once as the page listing the new
// widget and once as the form listing the new field, and keep only the first,
// so the copy would not show the signature it was reported to hold. The sign
// is refused and no copy is left.
TEST_F(PendrelBaseFormTest, APageThatIsTheFormIsRefused) {
    PdfBuilder pdf;
    pdf.Object(1, "<</Type/Catalog/Pages 2 0 R/AcroForm 3 0 R>>");
    pdf.Object(2, "<</Type/Pages/Kids[3 0 R]/Count 1>>");
    pdf.Object(3, "<</Type/Page/Parent 2 0 R/MediaBox[0 0 612 792]/Fields[]/SigFlags 3>>");
    pdf.TrailerExtra(kId);
    pdf.EndRevision();
    const std::string path = _dir.File("page-is-form.pdf");
    pdf.Save(path);
    ExpectRefused(path);
}

// A page tree whose page is another field's signature dictionary (found by
// fuzzing, with and without its /Type): the update rewrote that dictionary to
// list the new widget, which changed the other signature's bytes and made the
// copy unreadable (-56). A signature dictionary is never rewritten, and an
// object named as a page that says it is something else is refused; no copy
// is left.
TEST_F(PendrelBaseFormTest, APageThatIsNoPageIsRefused) {
    struct Case {
        const char* name;
        std::string page;
    };
    const std::vector<Case> cases = {
        {"a signature dictionary", PdfBuilder::SignatureDict()},
        {"one without /Type", "<</Filter/Adobe.PPKLite/ByteRange[0 1 2 3]/Contents<00>>>"},
        {"an annotation", "<</Type/Annot/Subtype/Text/Rect[0 0 1 1]/MediaBox[0 0 612 792]>>"},
        // Neither /Type nor /ByteRange: what makes it a signature is the field naming it.
        {"a field's value of no kind",
         "<</Filter/Adobe.PPKLite/SubFilter/adbe.pkcs7.detached/MediaBox[0 0 612 792]/Contents<00>>>"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PdfBuilder pdf;
        pdf.Object(1, "<</Type/Catalog/Pages 2 0 R/AcroForm 4 0 R>>");
        pdf.Object(2, "<</Type/Pages/Kids[6 0 R]/Count 1>>");
        pdf.Object(4, "<</Fields[5 0 R]/SigFlags 3>>");
        pdf.Object(5, "<</FT/Sig/T(Other)/Type/Annot/Subtype/Widget/Rect[0 0 0 0]/V 6 0 R>>");
        pdf.Object(6, c.page);
        pdf.TrailerExtra(kId);
        pdf.EndRevision();
        const std::string path = _dir.File("page-is-no-page.pdf");
        pdf.Save(path);
        ExpectRefused(path);
    }
}

// A signed field whose /V names an object the document does not have (found
// by fuzzing): the update's first new object took that number, so the field
// named our widget and the copy's verification failed (-55). The update's
// objects start above such a number; the field still names nothing, and the
// copy verifies with our signature alone.
TEST_F(PendrelBaseFormTest, AValueNamingNoObjectNamesNoneOfTheUpdate) {
    PdfBuilder pdf;
    pdf.Object(1, "<</Type/Catalog/Pages 2 0 R/AcroForm 4 0 R>>");
    pdf.Object(2, "<</Type/Pages/Kids[3 0 R]/Count 1>>");
    pdf.Object(3, "<</Type/Page/Parent 2 0 R/MediaBox[0 0 612 792]/Annots[5 0 R]>>");
    pdf.Object(4, "<</Fields[5 0 R]/SigFlags 3>>");
    pdf.Object(5, "<</FT/Sig/T(Dangling)/Type/Annot/Subtype/Widget/Rect[0 0 0 0]/P 3 0 R/V 8 0 R>>");
    pdf.TrailerExtra(kId);
    pdf.EndRevision();
    const std::string path = _dir.File("dangling-value.pdf");
    pdf.Save(path);
    const std::string signedCopy = Sign(path, "", false);
    ASSERT_NE(signedCopy, "");
    EXPECT_EQ(OurVerify(signedCopy), std::vector<std::string>{"Signature 2"});
    const std::string text = TestSupport::ReadFile(signedCopy);
    EXPECT_EQ(text.find("\n8 0 obj"), std::string::npos);
}

// A table whose offsets of the signature field and its value are wrong (the
// input fuzzing found, kept among the seeds): the document opens, the objects
// are found only by rebuilding the table while signing, and an update on the
// wrong table made a copy that does not open. The sign is refused and no copy
// is left.
//
// A document without a form whose page lists a widget that cannot be parsed
// (found by fuzzing): reading it makes MuPDF rebuild the table, and the
// rebuild loses every object. Signing never read the widget, so it made a
// copy whose form its verifier walks into the same loss (-54). Signing reads
// what the copy's verifier reads and refuses it.
TEST_F(PendrelBaseFormTest, ADamagedTableFoundWhileSigningIsRefused) {
    for (const char* const seed : {"damaged-table.pdf", "damaged-annotation.pdf"}) {
        SCOPED_TRACE(seed);
        const std::string path = std::string(PENDREL_SOURCE_DIR) + "/fuzz/seeds/verify/" + seed;
        ExpectRefused(path);
    }
    // Verification does not answer from what the failed rebuild left either.
    TestEngine engine;
    TestRequest request(_files.get());
    request.Load(std::string(PENDREL_SOURCE_DIR) + "/fuzz/seeds/verify/damaged-annotation.pdf");
    ASSERT_EQ(request.Error(), 0);
    EXPECT_EQ(engine.VerifyRequest(&request)->Error(), -52);
}
