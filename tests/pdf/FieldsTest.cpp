#include <gtest/gtest.h>
#include <mupdf/pdf.h>

#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "pdf/Exception.h"
#include "pdf/Field.h"
#include "pdf/Fields.h"
#include "support/LogCapture.h"
#include "support/OpenedDocument.h"
#include "support/PdfBuilder.h"
#include "support/TempDir.h"

using TestSupport::OpenedDocument;
using TestSupport::PdfBuilder;
using TestSupport::TempDir;

namespace {

// Three pages (3, 4, 5), the AcroForm 6 and a choice of fields.
const std::map<int, std::string> kObjects = {
    {7, "<</FT/Tx/T(Name)/V(Jane)/Rect[0 0 10 10]/P 3 0 R>>"},
    {8, "<</FT/Sig/T(Signature1)/Ff 0/F 132/Rect[10 20 110.5 70]/P 3 0 R/V 9 0 R>>"},
    {9, PdfBuilder::SignatureDict()},
    {10, "<</FT/Sig/T(Unsigned)/Rect[0 0 0 0]/P 3 0 R>>"},
    {11, "<</FT/Sig/T(NoRect)/P 4 0 R/V 9 0 R>>"},
    {12, "<</FT/Sig/T(NoPage)/V 9 0 R>>"},
    {13, "<</T(Parent)/Kids[8 0 R]>>"},
    {14, "[8 0 R]"},
    {15, "<</FT/Sig/T(ShortRect)/Rect[1 2 3]/P 5 0 R/V 9 0 R>>"},
    // A signed field whose widget is its kid.
    {16, "<</FT/Sig/T(KidWidget)/V 9 0 R/Kids[17 0 R]>>"},
    {17, "<</Type/Annot/Subtype/Widget/Parent 16 0 R/Rect[1 2 3 4]/P 4 0 R/F 4>>"},
    // Partial names under a parent that gives the type: a signed one, and
    // an empty one with a widget kid on page 3.
    {18, "<</FT/Sig/T(Group)/Kids[19 0 R 20 0 R]>>"},
    {19, "<</T(a)/Parent 18 0 R/V 9 0 R/Type/Annot/Subtype/Widget/Rect[0 0 0 0]>>"},
    {20, "<</T(b)/Parent 18 0 R/Kids[21 0 R]>>"},
    {21, "<</Type/Annot/Subtype/Widget/Parent 20 0 R/Rect[5 6 7 8]/P 5 0 R>>"},
    // Kids that lead back to their parent.
    {22, "<</T(Loop)/Kids[23 0 R]>>"},
    {23, "<</T(Back)/Parent 22 0 R/Kids[22 0 R]>>"},
    // An empty field without /P, listed by page 2; one without a widget.
    {25, "<</FT/Sig/T(Listed)/Type/Annot/Subtype/Widget/Rect[0 0 10 10]>>"},
    {26, "<</FT/Sig/T(Bare)>>"},
    // Signed on its one widget kid, as some writers do.
    {27, "<</FT/Sig/T(OnKid)/Kids[28 0 R]>>"},
    {28, "<</Type/Annot/Subtype/Widget/Parent 27 0 R/Rect[0 0 0 0]/V 9 0 R>>"},
    // A value that does not load: no signature, yet not to be signed over.
    {29, "<</FT/Sig/T(BrokenValue)/V 99 0 R/Rect[0 0 0 0]>>"},
};

std::string SaveForm(const TempDir& dir, const std::string& form) {
    PdfBuilder pdf;
    pdf.BasicDocument(3, form.empty() ? "" : "/AcroForm 6 0 R");
    if (!form.empty()) pdf.Object(6, form);
    for (const auto& [num, body] : kObjects) pdf.Object(num, body);
    pdf.Annotate(2, 25);
    pdf.EndRevision();
    pdf.Save(dir.File("fields.pdf"));
    return dir.File("fields.pdf");
}

struct FieldsCase {
    std::string name;
    std::string form;  // the AcroForm; none when empty
    int code;          // 1: loads
    std::vector<std::string> names;
    std::vector<bool> signedFields;
    std::string text;  // start of the exception text
};

const FieldsCase kFieldsCases[] = {
    {"text field beside a signed one", "<</Fields[7 0 R 8 0 R]>>", 1, {"Signature1"}, {true}, ""},
    {"signed and empty signature fields",
     "<</Fields[8 0 R 10 0 R]>>",
     1,
     {"Signature1", "Unsigned"},
     {true, false},
     ""},
    {"only empty fields", "<</Fields[10 0 R 26 0 R]>>", 1, {"Unsigned", "Bare"}, {false, false}, ""},
    {"signature field without page", "<</Fields[12 0 R]>>", 1, {"NoPage"}, {true}, ""},
    {"field under a parent", "<</Fields[13 0 R]>>", 1, {"Parent.Signature1"}, {true}, ""},
    {"widget as a kid", "<</Fields[16 0 R]>>", 1, {"KidWidget"}, {true}, ""},
    {"type handed down to partial names",
     "<</Fields[18 0 R]>>",
     1,
     {"Group.a", "Group.b"},
     {true, false},
     ""},
    {"value on the widget kid", "<</Fields[27 0 R]>>", 1, {"OnKid"}, {true}, ""},
    {"kids that loop", "<</Fields[22 0 R 8 0 R]>>", 1, {"Signature1"}, {true}, ""},
    {"indirect /Fields", "<</Fields 14 0 R/SigFlags 3>>", 1, {"Signature1"}, {true}, ""},
    {"null elements skipped",
     "<</Fields[null 8 0 R 11 0 R 15 0 R]>>",
     1,
     {"Signature1", "NoRect", "ShortRect"},
     {true, true, true},
     ""},
    {"no AcroForm", "", 1, {}, {}, ""},
    {"/Fields not an array",
     "<</Fields 5>>",
     PDF::Code::kBadFields,
     {},
     {},
     "Fields::LoadFields - Failed to load fields from form."},
    {"indirect /Fields not an array",
     "<</Fields 7 0 R>>",
     PDF::Code::kBadFields,
     {},
     {},
     "Fields::LoadFields - "},
    {"no /Fields", "<</SigFlags 1>>", 0, {}, {}, "PDF Error null object in LoadFields, "},
    {"field dictionary not indirect", "<</Fields[<</FT/Sig/T(Direct)>>]>>", 0, {}, {}, "PDF Error "},
};

TEST(Fields, ListsSignedAndEmptySignatureFieldsInTreeOrder) {
    const TempDir dir;
    for (const FieldsCase& c : kFieldsCases) {
        SCOPED_TRACE(c.name);
        OpenedDocument doc(SaveForm(dir, c.form));
        PDF::Fields fields(&doc.Env());
        int code = 1;
        std::string text;
        try {
            fields.Load();
        } catch (const PDF::Exception& e) {
            code = e.Code();
            text = e.what();
        }
        EXPECT_EQ(code, c.code) << text;
        EXPECT_EQ(text.compare(0, c.text.size(), c.text), 0) << text;
        if (code != 1) continue;
        std::vector<std::string> names;
        std::vector<bool> signedFields;
        for (std::size_t i = 0; i < fields.Count(); ++i) {
            names.push_back(fields.At(i)->GetName());
            signedFields.push_back(fields.At(i)->IsSigned());
            // An empty field has no signature to verify.
            EXPECT_EQ(fields.At(i)->GetSignature() != nullptr, fields.At(i)->IsSigned()) << names.back();
        }
        EXPECT_EQ(names, c.names);
        EXPECT_EQ(signedFields, c.signedFields);
    }
}

// Which field a sign operation given a name signs into: an empty signature
// field (with the page its widget is on), none (a new field is made), or a
// refusal.
TEST(Fields, FillableNamesOnlyEmptySignatureFields) {
    const TempDir dir;
    OpenedDocument doc(SaveForm(dir, "<</Fields[7 0 R 8 0 R 10 0 R 13 0 R 18 0 R 25 0 R 26 0 R 29 0 R]>>"));
    PDF::Fields fields(&doc.Env());
    fields.Load();
    fz_context* const ctx = doc.File().Context();
    const struct {
        const char* name;
        int code;        // 1: answered
        int field;       // object number of the field answered; 0: none
        int widget;      // its widget's; 0: none
        int pageObject;  // the page it is on; 0: none
    } cases[] = {
        {"Unsigned", 1, 10, 10, 3},
        {"Group.b", 1, 20, 21, 5},
        {"Listed", 1, 25, 25, 4},  // found in the /Annots of page 2
        {"Bare", 1, 26, 0, 0},     // no widget: a page is still to be chosen
        {"Nobody", 1, 0, 0, 0},
        {"Signature1", PDF::Code::kAlreadySigned, 0, 0, 0},
        {"Group.a", PDF::Code::kAlreadySigned, 0, 0, 0},
        {"BrokenValue", PDF::Code::kAlreadySigned, 0, 0, 0},
        {"Name", PDF::Code::kNotSignatureField, 0, 0, 0},
        {"Group", PDF::Code::kNotSignatureField, 0, 0, 0},
        {"Parent", PDF::Code::kNotSignatureField, 0, 0, 0},
        {"group.b", 1, 0, 0, 0},  // names are compared exactly
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(fields.HasName(c.name), c.code != 1 || c.field != 0);
        int code = 1;
        PDF::Field* field = nullptr;
        try {
            field = fields.Fillable(c.name);
        } catch (const PDF::Exception& e) {
            code = e.Code();
        }
        EXPECT_EQ(code, c.code);
        if (code != 1) continue;
        ASSERT_EQ(field != nullptr, c.field != 0);
        if (field == nullptr) continue;
        EXPECT_FALSE(field->IsSigned());
        EXPECT_EQ(pdf_to_num(ctx, field->GetRef()), c.field);
        EXPECT_EQ(pdf_to_num(ctx, field->GetWidget()), c.widget);
        EXPECT_EQ(pdf_to_num(ctx, field->GetPage()), c.pageObject);
    }
}

TEST(Fields, ReadsFlagsAndRectangleOfEachField) {
    const TempDir dir;
    OpenedDocument doc(SaveForm(dir, "<</Fields[8 0 R 11 0 R 15 0 R 16 0 R]>>"));
    PDF::Fields fields(&doc.Env());
    fields.Load();
    ASSERT_EQ(fields.Count(), 4u);
    // A widget kid gives the annotation's entries.
    EXPECT_EQ(fields.At(3)->GetF(), 4);
    EXPECT_EQ(fields.At(3)->GetRect(), (std::array<float, 4>{1, 2, 3, 4}));
    EXPECT_EQ(pdf_to_num(doc.File().Context(), fields.At(3)->GetPage()), 4);

    const PDF::Field& signed1 = *fields.At(0);
    EXPECT_EQ(signed1.GetFf(), 0);
    EXPECT_EQ(signed1.GetF(), 132);
    EXPECT_EQ(signed1.GetRect(), (std::array<float, 4>{10, 20, 110.5f, 70}));
    // Absent flags read as 0; a missing or malformed /Rect as zeros.
    for (std::size_t i : {1u, 2u}) {
        EXPECT_EQ(fields.At(i)->GetFf(), 0);
        EXPECT_EQ(fields.At(i)->GetF(), 0);
        EXPECT_EQ(fields.At(i)->GetRect(), (std::array<float, 4>{0, 0, 0, 0}));
    }

    fields.Load();  // a second load replaces the first
    EXPECT_EQ(fields.Count(), 4u);
}

TEST(Fields, ListsTheSameFieldsAfterQpdfRewroteTheDocument) {
    if (std::system("qpdf --version >/dev/null 2>&1") != 0) GTEST_SKIP() << "qpdf not installed";
    const TempDir dir;
    const std::string source = SaveForm(dir, "<</Fields[7 0 R 8 0 R 11 0 R]/SigFlags 3>>");
    const std::string rewritten = dir.File("qpdf.pdf");
    const std::string command = "qpdf --object-streams=disable --force-version=1.4 '" + source + "' '" +
                                rewritten + "' >/dev/null 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0);
    OpenedDocument doc(rewritten);
    PDF::Fields fields(&doc.Env());
    fields.Load();
    ASSERT_EQ(fields.Count(), 2u);
    EXPECT_EQ(fields.At(0)->GetName(), "Signature1");
    EXPECT_EQ(fields.At(1)->GetName(), "NoRect");
    EXPECT_NE(fields.At(0)->GetSignature(), nullptr);
}

TEST(Fields, LogsAMissingAcroForm) {
    const TempDir dir;
    OpenedDocument doc(SaveForm(dir, ""));
    const TestSupport::LogCapture log;
    PDF::Fields fields(&doc.Env());
    fields.Load();
    EXPECT_EQ(fields.Count(), 0u);
    if (log.Enabled()) {
        EXPECT_TRUE(log.Has("Load", "AcroForm is absent"));
    }
}

}  // namespace

// Writers that forget /Fields: a signed field whose widget only a page's
// /Annots lists is read (named through its parents), after the listed ones;
// an empty or a text field found so is not, and none is signed into.
TEST(Fields, ReadsSignedFieldsThatOnlyAPageLists) {
    PdfBuilder pdf;
    pdf.BasicDocument(2, "/AcroForm 5 0 R");
    pdf.Object(5, "<</Fields[6 0 R]>>");
    pdf.Object(6, "<</FT/Sig/T(Listed)/Type/Annot/Subtype/Widget/Rect[0 0 0 0]/V 7 0 R>>");
    pdf.Object(7, PdfBuilder::SignatureDict());
    pdf.Object(8, "<</FT/Sig/T(Merged)/Type/Annot/Subtype/Widget/Rect[0 0 0 0]/V 7 0 R>>");
    pdf.Object(9, "<</FT/Sig/T(Outer)/V 7 0 R>>");
    pdf.Object(10, "<</Type/Annot/Subtype/Widget/Parent 9 0 R/Rect[1 1 2 2]>>");
    pdf.Object(11, "<</T(Top)/FT/Sig>>");
    pdf.Object(12, "<</T(leaf)/Parent 11 0 R/Type/Annot/Subtype/Widget/Rect[0 0 0 0]/V 7 0 R>>");
    pdf.Object(13, "<</FT/Sig/T(Empty)/Type/Annot/Subtype/Widget/Rect[0 0 0 0]>>");
    pdf.Object(14, "<</FT/Tx/T(Text)/Type/Annot/Subtype/Widget/Rect[0 0 1 1]/V(x)>>");
    pdf.Object(15, "<</Type/Annot/Subtype/Link/Rect[0 0 1 1]>>");
    for (const int num : {6, 8, 15}) pdf.Annotate(1, num);
    for (const int num : {10, 12, 13, 14, 8}) pdf.Annotate(2, num);
    pdf.EndRevision();
    const TempDir dir;
    pdf.Save(dir.File("unlisted.pdf"));

    OpenedDocument doc(dir.File("unlisted.pdf"));
    PDF::Fields fields(&doc.Env());
    fields.Load();
    std::vector<std::string> names;
    for (std::size_t i = 0; i < fields.Count(); ++i) {
        names.push_back(fields.At(i)->GetName());
        EXPECT_NE(fields.At(i)->GetSignature(), nullptr) << names.back();
    }
    EXPECT_EQ(names, (std::vector<std::string>{"Listed", "Merged", "Outer", "Top.leaf"}));
    EXPECT_TRUE(fields.HasName("Empty"));
    EXPECT_EQ(fields.Fillable("Empty"), nullptr);
    EXPECT_EQ(fields.Fillable("Merged"), nullptr);
}

// Other readers show a signature whose widget a page lists in a document
// without a form; so does verification, and signing sees the same fields.
TEST(Fields, ReadsSignedWidgetsOfADocumentWithoutAForm) {
    PdfBuilder pdf;
    pdf.BasicDocument(1, "");
    pdf.Object(5, "<</FT/Sig/T(Alone)/Type/Annot/Subtype/Widget/Rect[0 0 0 0]/V 6 0 R>>");
    pdf.Object(6, PdfBuilder::SignatureDict());
    pdf.Object(7, "<</FT/Sig/T(Empty)/Type/Annot/Subtype/Widget/Rect[0 0 0 0]>>");
    for (const int num : {5, 7}) pdf.Annotate(1, num);
    pdf.EndRevision();
    const TempDir dir;
    pdf.Save(dir.File("formless.pdf"));

    OpenedDocument doc(dir.File("formless.pdf"));
    ASSERT_EQ(doc.Env().GetFile()->Form(), nullptr);
    PDF::Fields fields(&doc.Env());
    fields.Load();
    ASSERT_EQ(fields.Count(), 1u);
    EXPECT_EQ(fields.At(0)->GetName(), "Alone");
    EXPECT_NE(fields.At(0)->GetSignature(), nullptr);
    EXPECT_TRUE(fields.HasName("Empty"));
    EXPECT_EQ(fields.Fillable("Alone"), nullptr);
}
