#include <gtest/gtest.h>
#include <mupdf/pdf.h>

#include <string>
#include <vector>

#include "pdf/FieldTree.h"
#include "pdf/File.h"
#include "support/OpenedDocument.h"
#include "support/PdfBuilder.h"
#include "support/TempDir.h"

namespace {

using TestSupport::PdfBuilder;

struct Seen {
    std::string name;
    bool terminal, signature, ownType;
    int widget;  // object number; 0: none
    bool operator==(const Seen& o) const {
        return name == o.name && terminal == o.terminal && signature == o.signature && ownType == o.ownType &&
               widget == o.widget;
    }
};

std::ostream& operator<<(std::ostream& out, const Seen& s) {
    return out << s.name << (s.terminal ? " terminal" : "") << (s.signature ? " sig" : "")
               << (s.ownType ? " own" : "") << " widget " << s.widget;
}

// Walks the /Fields of the document's form (object 4).
std::vector<Seen> Walk(const std::vector<std::pair<int, std::string>>& objects, const std::string& fields) {
    TestSupport::TempDir dir;
    PdfBuilder builder;
    builder.BasicDocument(1, "/AcroForm 4 0 R");
    builder.Object(4, "<</Fields" + fields + ">>");
    for (const auto& [num, body] : objects) builder.Object(num, body);
    builder.EndRevision();
    builder.Save(dir.File("in.pdf"));
    TestSupport::OpenedDocument document(dir.File("in.pdf"));
    fz_context* const ctx = document.File().Context();
    std::vector<Seen> seen;
    for (const PDF::FieldTree::Node& node : PDF::FieldTree::Walk(
             ctx, document.File().Document(), pdf_dict_get(ctx, document.File().Form(), PDF_NAME(Fields))))
        seen.push_back(
            {node.name, node.terminal, node.signature, node.ownType, pdf_to_num(ctx, node.widget.get())});
    return seen;
}

TEST(FieldTree, NamesKindsAndWidgetsOfEveryNode) {
    const std::vector<std::pair<int, std::string>> objects = {
        {5, "<</T(Form)/FT/Sig/Kids[6 0 R 7 0 R 8 0 R 99 0 R]>>"},
        {6, "<</T(a)/Parent 5 0 R/Kids[9 0 R 10 0 R]>>"},   // two widget kids: the first counts
        {7, "<</T(b)/FT/Tx/Parent 5 0 R/Rect[0 0 1 1]>>"},  // merged, of its own type
        {8, "<</Parent 5 0 R/Kids[11 0 R]/TU(no name)>>"},  // nameless, with a field kid
        {9, "<</Type/Annot/Subtype/Widget/Parent 6 0 R>>"},
        {10, "<</Type/Annot/Subtype/Widget/Parent 6 0 R>>"},
        {11, "<</T(c)/Parent 8 0 R>>"},                                       // no widget at all
        {12, "<</T(Top)/FT/Sig/Subtype/Widget/Kids[<</Subtype/Widget>>]>>"},  // direct kid passed over
        {13, "<</T(d\\351)/FT/Btn>>"},                                        // PDFDocEncoding
    };
    const std::vector<Seen> expected = {
        {"Form", false, true, true, 0},      {"Form.a", true, true, false, 9},
        {"Form.b", true, false, true, 7},    {"Form", false, true, false, 0},
        {"Form.c", true, true, false, 0},    {"Top", true, true, true, 12},
        {"d\xC3\xA9", true, false, true, 0},
    };
    EXPECT_EQ(Walk(objects, "[5 0 R 12 0 R 13 0 R 5 0 R null]"), expected);  // 5 again: not twice
}

TEST(FieldTree, DeepTreesStopAtTheLimit) {
    // A chain of 40 nested fields, each the only kid of the one before.
    std::vector<std::pair<int, std::string>> objects;
    for (int i = 0; i < 40; ++i)
        objects.emplace_back(5 + i,
                             "<</T(n)" + (i < 39 ? "/Kids[" + std::to_string(6 + i) + " 0 R]" : "") + ">>");
    const std::vector<Seen> seen = Walk(objects, "[5 0 R]");
    ASSERT_EQ(seen.size(), static_cast<std::size_t>(PDF::FieldTree::kMaxDepth + 1));
    EXPECT_EQ(seen.back().name.size(), 2u * PDF::FieldTree::kMaxDepth + 1);  // "n.n. ... .n"
}

}  // namespace
