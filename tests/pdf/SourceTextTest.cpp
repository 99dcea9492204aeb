// A page the update rewrites keeps its reals as the document wrote them:
// MuPDF holds them as floats, and printing the float anew moves a box of
// 841.91998 to 841.92, which readers that keep more digits draw elsewhere.
#include <gtest/gtest.h>

#include <string>

#include "support/PdfBuilder.h"
#include "support/SignDocument.h"
#include "support/TempDir.h"

using TestSupport::PdfBuilder;

namespace {

// The last "3 0 obj" of `bytes` up to its "endobj".
std::string LastPageObject(const std::string& bytes) {
    const std::size_t start = bytes.rfind("\n3 0 obj");
    if (start == std::string::npos) return "";
    return bytes.substr(start, bytes.find("endobj", start) - start);
}

TEST(SourceText, RewrittenPagesKeepTheirRealsAsWritten) {
    const std::string box = "[0 0 841.91998 594.95996]";
    const struct {
        const char* name;
        PdfBuilder::Section section;
        bool compressed;
    } cases[] = {
        {"plain object, table", PdfBuilder::Section::Table, false},
        {"plain object, stream", PdfBuilder::Section::Stream, false},
        {"in an object stream", PdfBuilder::Section::Stream, true},
    };
    const TestSupport::TempDir dir;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        PdfBuilder pdf("1.5");
        pdf.SectionForm(c.section);
        pdf.Object(1, "<</Type/Catalog/Pages 2 0 R>>");
        pdf.Object(2, "<</Type/Pages/Kids[3 0 R]/Count 1>>");
        // Reals inside a nested array and dictionary too; -.5 is written so
        // by some producers and reads back as -0.5.
        const std::string page = "<</Type/Page/Parent 2 0 R/MediaBox" + box +
                                 "/UserUnit 1.00001/VP[<</BBox[10.12345 -.5 20 30.7]>>]>>";
        if (c.compressed)
            pdf.Compressed(3, page);
        else
            pdf.Object(3, page);
        pdf.EndRevision();
        const std::string input = dir.File("in.pdf");
        const std::string output = dir.File("out.pdf");
        pdf.Save(input);
        std::remove(output.c_str());
        TestSupport::SignDocument(input, output);

        const std::string rewritten = LastPageObject(TestSupport::ReadFile(output));
        ASSERT_NE(rewritten.find("/Annots"), std::string::npos) << rewritten;
        EXPECT_NE(rewritten.find("/MediaBox" + box), std::string::npos) << rewritten;
        EXPECT_NE(rewritten.find("/UserUnit 1.00001"), std::string::npos) << rewritten;
        EXPECT_NE(rewritten.find("[10.12345 -.5 20 30.7]"), std::string::npos) << rewritten;
    }
}

}  // namespace
