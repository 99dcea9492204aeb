#include <gtest/gtest.h>

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
};

std::string SaveForm(const TempDir& dir, const std::string& form) {
    PdfBuilder pdf;
    pdf.BasicDocument(3, form.empty() ? "" : "/AcroForm 6 0 R");
    if (!form.empty()) pdf.Object(6, form);
    for (const auto& [num, body] : kObjects) pdf.Object(num, body);
    pdf.EndRevision();
    pdf.Save(dir.File("fields.pdf"));
    return dir.File("fields.pdf");
}

struct FieldsCase {
    std::string name;
    std::string form;  // the AcroForm; none when empty
    int code;          // 1: loads
    std::vector<std::string> names;
    std::string text;  // start of the exception text
};

const FieldsCase kFieldsCases[] = {
    {"text field beside a signed one", "<</Fields[7 0 R 8 0 R]>>", 1, {"Signature1"}, ""},
    {"unsigned signature field", "<</Fields[8 0 R 10 0 R]>>", -54, {}, "Failed to load signature field."},
    {"signature field without page", "<</Fields[12 0 R]>>", -54, {}, "Failed to load signature field."},
    {"field only under /Kids", "<</Fields[13 0 R]>>", 1, {}, ""},
    {"indirect /Fields", "<</Fields 14 0 R/SigFlags 3>>", 1, {"Signature1"}, ""},
    {"null elements skipped",
     "<</Fields[null 8 0 R 11 0 R 15 0 R]>>",
     1,
     {"Signature1", "NoRect", "ShortRect"},
     ""},
    {"no AcroForm", "", 1, {}, ""},
    {"/Fields not an array",
     "<</Fields 5>>",
     -53,
     {},
     "Fields::LoadFields - Failed to load fields from form."},
    {"indirect /Fields not an array", "<</Fields 7 0 R>>", -53, {}, "Fields::LoadFields - "},
    {"no /Fields", "<</SigFlags 1>>", 0, {}, "PDF Error null object in LoadFields, "},
    {"field dictionary not indirect", "<</Fields[<</FT/Sig/T(Direct)>>]>>", 0, {}, "PDF Error "},
};

TEST(Fields, ListsSignedSignatureFieldsOfTheTopLevelInOrder) {
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
        for (std::size_t i = 0; i < fields.Count(); ++i) names.push_back(fields.At(i)->GetName());
        EXPECT_EQ(names, c.names);
    }
}

TEST(Fields, ReadsFlagsAndRectangleOfEachField) {
    const TempDir dir;
    OpenedDocument doc(SaveForm(dir, "<</Fields[8 0 R 11 0 R 15 0 R]>>"));
    PDF::Fields fields(&doc.Env());
    fields.Load();
    ASSERT_EQ(fields.Count(), 3u);

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
    EXPECT_EQ(fields.Count(), 3u);
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
