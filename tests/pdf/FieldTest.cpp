#include <gtest/gtest.h>
#include <mupdf/pdf.h>

#include <string>

#include "pdf/Exception.h"
#include "pdf/Field.h"
#include "pdf/Fields.h"
#include "pdf/Signature.h"
#include "support/OpenedDocument.h"
#include "support/PdfBuilder.h"
#include "support/TempDir.h"

using TestSupport::OpenedDocument;
using TestSupport::PdfBuilder;
using TestSupport::TempDir;

namespace {

// Three pages (objects 3, 4, 5); field 7 on page 1 signed by 8, field 9
// whose /V is a dictionary without /Type.
std::string SaveDocument(const TempDir& dir) {
    PdfBuilder pdf;
    pdf.BasicDocument(3, "/AcroForm 6 0 R");
    pdf.Object(6, "<</Fields[7 0 R 9 0 R]>>");
    pdf.Object(7, "<</FT/Sig/T(Signature1)/P 3 0 R/V 8 0 R>>");
    pdf.Object(8, PdfBuilder::SignatureDict());
    pdf.Object(9, "<</FT/Sig/T(Untyped)/P 3 0 R/V 10 0 R>>");
    pdf.Object(10, "<</Filter/Adobe.PPKLite/SubFilter/adbe.pkcs7.detached/ByteRange[0 1 2 3]/Contents<00>>>");
    pdf.EndRevision();
    pdf.Save(dir.File("field.pdf"));
    return dir.File("field.pdf");
}

TEST(Field, SetPageTakesOnlyPagesOfTheDocument) {
    const TempDir dir;
    OpenedDocument doc(SaveDocument(dir));
    PDF::Fields fields(&doc.Env());
    fields.Load();
    PDF::Field& field = *fields.At(0);
    fz_context* const ctx = doc.File().Context();
    ASSERT_EQ(pdf_to_num(ctx, field.GetPage()), 3);

    // Pages outside the document are refused and leave the page as it was.
    const std::pair<int, int> cases[] = {{0, 3}, {4, 3}, {-1, 3}, {2, 4}, {3, 5}, {1, 3}};
    for (const auto& [page, object] : cases) {
        int code = 1;
        try {
            field.SetPage(page);
        } catch (const PDF::Exception& e) {
            code = e.Code();
        }
        EXPECT_EQ(code, page >= 1 && page <= 3 ? 1 : PDF::Code::kPageOutOfRange) << "SetPage(" << page << ")";
        EXPECT_EQ(pdf_to_num(ctx, field.GetPage()), object) << "SetPage(" << page << ")";
    }

    PDF::Field created(&doc.Env());  // a new field, as signing makes it
    EXPECT_THROW(created.SetPage(4), PDF::Exception);
    EXPECT_EQ(created.GetPage(), nullptr);
    created.SetPage(2);
    EXPECT_EQ(pdf_to_num(ctx, created.GetPage()), 4);
}

TEST(Field, GetSignatureLoadsOnlySignatureDictionaries) {
    const TempDir dir;
    OpenedDocument doc(SaveDocument(dir));
    PDF::Fields fields(&doc.Env());
    fields.Load();
    ASSERT_EQ(fields.Count(), 2u);

    const auto signature = fields.At(0)->GetSignature();
    ASSERT_NE(signature, nullptr);
    EXPECT_EQ(signature->GetSubFilter(), "adbe.pkcs7.detached");
    EXPECT_EQ(fields.At(1)->GetSignature(), nullptr);           // no /Type
    EXPECT_EQ(PDF::Field(&doc.Env()).GetSignature(), nullptr);  // no /V
}

}  // namespace
