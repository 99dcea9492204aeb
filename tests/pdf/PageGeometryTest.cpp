#include <gtest/gtest.h>
#include <mupdf/pdf.h>

#include <string>
#include <vector>

#include "pdf/Exception.h"
#include "pdf/PageGeometry.h"
#include "support/OpenedDocument.h"
#include "support/PdfBuilder.h"
#include "support/TempDir.h"

namespace {

using TestSupport::PdfBuilder;

TEST(PageGeometry, RotationIsBroughtIntoOneTurn) {
    const std::pair<int, int> cases[] = {{0, 0},   {90, 90},  {180, 180},  {270, 270}, {-90, 270}, {-270, 90},
                                         {360, 0}, {450, 90}, {-450, 270}, {45, 0},    {100, 0}};
    for (const auto& [stored, shown] : cases)
        EXPECT_EQ(PDF::PageGeometry::NormalizeRotation(stored), shown) << stored;
}

TEST(PageGeometry, BoxesAndTurnAsThePageTreeHandsThemDown) {
    struct Case {
        const char* name;
        PdfBuilder::Page page;
        std::string treeExtra;
        int code;  // 1: read
        std::vector<double> box;
        bool hasCropBox;
        int rotation;
    };
    const std::vector<Case> cases = {
        {"own MediaBox", {"[0 0 612 792]", ""}, "", 1, {0, 0, 612, 792}, false, 0},
        {"offset MediaBox", {"[100 200 712 992]", "/Rotate 90"}, "", 1, {100, 200, 712, 992}, false, 90},
        {"corners given the other way", {"[612 792 0 0]", ""}, "", 1, {0, 0, 612, 792}, false, 0},
        {"MediaBox and turn from the tree",
         {"", ""},
         "/MediaBox[0 0 500 700]/Rotate -90",
         1,
         {0, 0, 500, 700},
         false,
         270},
        {"own entries before the tree's",
         {"[0 0 200 300]", "/Rotate 180"},
         "/MediaBox[0 0 500 700]/Rotate 90",
         1,
         {0, 0, 200, 300},
         false,
         180},
        {"CropBox inside", {"[0 0 612 792]", "/CropBox[50 60 562 742]"}, "", 1, {50, 60, 562, 742}, true, 0},
        {"CropBox from the tree",
         {"[0 0 612 792]", ""},
         "/CropBox[10 10 300 400]",
         1,
         {10, 10, 300, 400},
         true,
         0},
        {"CropBox clipped to the MediaBox",
         {"[0 0 612 792]", "/CropBox[-100 -100 306 900]"},
         "",
         1,
         {0, 0, 306, 792},
         true,
         0},
        {"CropBox outside the MediaBox",
         {"[0 0 612 792]", "/CropBox[700 800 900 900]"},
         "",
         1,
         {0, 0, 612, 792},
         false,
         0},
        {"CropBox that is no box", {"[0 0 612 792]", "/CropBox 5"}, "", 1, {0, 0, 612, 792}, false, 0},
        {"no MediaBox anywhere", {"", ""}, "", PDF::Code::kBadPageObject, {}, false, 0},
        {"MediaBox too short", {"[0 0 612]", ""}, "", PDF::Code::kBadPageObject, {}, false, 0},
        {"MediaBox of names", {"[/a 0 612 792]", ""}, "", PDF::Code::kBadPageObject, {}, false, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TestSupport::TempDir dir;
        PdfBuilder builder;
        builder.Document({c.page}, "", c.treeExtra);
        builder.EndRevision();
        builder.Save(dir.File("in.pdf"));
        TestSupport::OpenedDocument document(dir.File("in.pdf"));
        fz_context* const ctx = document.File().Context();
        pdf_obj* const page = pdf_resolve_indirect(ctx, document.File().PageRef(1));
        try {
            const PDF::PageGeometry geometry = PDF::PageGeometry::Read(ctx, page);
            EXPECT_EQ(c.code, 1);
            EXPECT_EQ(std::vector<double>(geometry.box, geometry.box + 4), c.box);
            EXPECT_EQ(geometry.hasCropBox, c.hasCropBox);
            EXPECT_EQ(geometry.rotation, c.rotation);
        } catch (const PDF::Exception& e) {
            EXPECT_EQ(e.Code(), c.code) << e.what();
        }
        EXPECT_EQ(PDF::PageGeometry::Rotation(ctx, page), c.rotation);
    }
}

}  // namespace
