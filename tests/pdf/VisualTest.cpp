#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/posix/FilePtr.h"
#include "pdf/Exception.h"
#include "pdf/SurfaceCairo.h"
#include "pdf/Visual.h"
#include "pdf/XRefs.h"
#include "support/OpenedDocument.h"
#include "support/PdfBuilder.h"
#include "support/TempDir.h"

namespace {

using TestSupport::PdfBuilder;

struct Writing {
    TestSupport::TempDir dir;
    std::unique_ptr<TestSupport::OpenedDocument> document;
    Util::FilePtr out;

    explicit Writing(const std::string& firstPageExtra = "") {
        PdfBuilder builder;
        builder.BasicDocument(1, "", firstPageExtra);
        builder.EndRevision();
        builder.Save(dir.File("in.pdf"));
        document = std::make_unique<TestSupport::OpenedDocument>(dir.File("in.pdf"));
        out.reset(std::fopen(dir.File("out").c_str(), "w+b"));
        std::fputs("0123456789", out.get());
        document->Env().SetOutput(out.get());
    }
    std::string Written() {
        std::fflush(out.get());
        return TestSupport::ReadFile(dir.File("out"));
    }
};

TEST(VisualTest, EmptyAppearanceOfAnInvisibleSignature) {
    const std::vector<std::pair<std::string, std::string>> cases = {{"", "1 0 0 1 0 0"},
                                                                    {"/Rotate 180", "-1 0 0 -1 0 0"}};
    for (const auto& [extra, matrix] : cases) {
        SCOPED_TRACE(extra);
        Writing writing(extra);
        PDF::Visual visual(&writing.document->Env());
        EXPECT_EQ(visual.GetOid(), 0);
        visual.WriteOutEmpty();
        // The builder's document has objects 1 to 3: the form is object 4.
        EXPECT_EQ(visual.GetOid(), 4);
        const std::string text = writing.Written();
        const std::string head =
            "0123456789"
            "4 0 obj\n<</Type/XObject/Resources<</ProcSet[/PDF/Text/ImageB/ImageC/ImageI]>>"
            "/Subtype/Form/BBox[0 0 0 0]/Matrix[" +
            matrix + "]/Length ";
        EXPECT_EQ(text.substr(0, head.size()), head);
        EXPECT_EQ(text.substr(text.size() - 18), "\nendstream\nendobj\n");
        const auto& entries = writing.document->Env().GetXRefs()->Entries();
        ASSERT_EQ(entries.count(4), 1u);
        EXPECT_EQ(entries.at(4).offset, 10);
    }
}

TEST(VisualTest, ImageAndFormOfAVisibleSignature) {
    Writing writing;
    PDF::SurfaceCairo surface(0, 0, 600, 200, 10, 20, 30);
    PDF::Visual visual(&writing.document->Env());
    visual.SetSurface(&surface);
    visual.WriteOut();
    EXPECT_EQ(visual.GetOid(), 5);
    const std::string text = writing.Written();
    EXPECT_EQ(
        text.find("4 0 obj\n<</Type/XObject/ColorSpace/DeviceRGB/Subtype/Image/BitsPerComponent 8/Width 680"
                  "/Height 226/Filter/FlateDecode/Length "),
        10u);
    const std::size_t form =
        text.find("endobj\n5 0 obj\n<</Type/XObject/Resources<</XObject<</imgWatermark 4 0 R>>");
    ASSERT_NE(form, std::string::npos);
    EXPECT_EQ(writing.document->Env().GetXRefs()->Entries().at(5).offset, static_cast<int>(form + 7));
    EXPECT_NE(text.find("/BBox[0 0 680 226]/Matrix[1 0 0 1 0 0]/Length ", form), std::string::npos);
}

TEST(VisualTest, Refusals) {
    struct Case {
        const char* name;
        float width;
        float height;
        bool withOutput;
        int code;
    };
    const std::vector<Case> cases = {
        {"no pixels", 0, 0, true, PDF::Code::kNoWatermark},
        {"no output", 600, 200, false, PDF::Code::kNoOutput},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Writing writing;
        if (!c.withOutput) writing.document->Env().SetOutput(nullptr);
        PDF::SurfaceCairo surface(0, 0, c.width, c.height, 255, 255, 255);
        PDF::Visual visual(&writing.document->Env());
        visual.SetSurface(&surface);
        try {
            visual.WriteOut();
            ADD_FAILURE() << "written";
        } catch (const PDF::Exception& e) {
            EXPECT_EQ(e.Code(), c.code);
        }
        EXPECT_EQ(visual.GetOid(), 0);
    }
}

}  // namespace
