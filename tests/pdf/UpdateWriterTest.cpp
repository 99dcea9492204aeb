// The bytes of the incremental update a signature adds: object layout,
// rewritten page, catalog and form, cross-reference section and trailer.
#include <gtest/gtest.h>

#include <cstdio>
#include <regex>
#include <string>
#include <vector>

#include "common/posix/FilePtr.h"
#include "pdf/Exception.h"
#include "pdf/File.h"
#include "pdf/Visual.h"
#include "pdf/XRefs.h"
#include "support/OpenedDocument.h"
#include "support/PdfBuilder.h"
#include "support/Process.h"
#include "support/SignDocument.h"
#include "support/TempDir.h"

namespace {

using TestSupport::PdfBuilder;
using TestSupport::ReadFile;

std::string N(int n) {
    return std::to_string(n);
}

// The text of object `num` in `bytes` from `from` on: "num 0 obj\n" up to
// and including "endobj\n"; empty when there is none.
std::string ObjectText(const std::string& bytes, int num, std::size_t from) {
    const std::string head = "\n" + N(num) + " 0 obj\n";
    const std::size_t at = bytes.find(head, from - 1);
    if (at == std::string::npos) return "";
    const std::size_t end = bytes.find("endobj\n", at);
    return bytes.substr(at + 1, end + 7 - at - 1);
}

struct LayoutCase {
    const char* name;
    std::string catalogExtra;
    std::string pageExtra;
    std::vector<std::string> extraObjects;  // objects 4, 5, ...
    // Expected objects of the update with W for the widget's number and A
    // for the number after it; "!n" means object n is not rewritten.
    std::vector<std::pair<int, std::string>> expected;
    std::vector<int> untouched;
    int sizeAfterWidget;  // /Size minus the widget's number
};

std::string Fill(std::string text, int widget) {
    for (std::size_t at; (at = text.find("W ")) != std::string::npos;) text.replace(at, 1, N(widget));
    for (std::size_t at; (at = text.find("A ")) != std::string::npos;) text.replace(at, 1, N(widget + 1));
    return text;
}

TEST(UpdateWriterTest, InvisibleSignatureUpdateLayout) {
    const std::string page = "<</Type/Page/Parent 2 0 R/MediaBox[0 0 612 792]";
    const std::vector<LayoutCase> cases = {
        {"indirect AcroForm, page without /Annots",
         "/AcroForm 4 0 R",
         "",
         {"<</Fields[]/DA(/Helv 0 Tf)>>"},
         {{3, page + "/Annots[W 0 R]>>"}, {4, "<</DA(/Helv 0 Tf)/Fields[W 0 R]>>"}},
         {1},
         1},
        {"no AcroForm: catalog rewritten, new form object",
         "",
         "",
         {},
         {{3, page + "/Annots[W 0 R]>>"},
          {1, "<</Type/Catalog/Pages 2 0 R/AcroForm A 0 R>>"},
          {-1, "<</Fields[W 0 R]>>"}},
         {},
         2},
        {"direct AcroForm: moved to the catalog's end, /Fields last",
         "/AcroForm<</Fields[]/SigFlags 3>>/Names<<>>",
         "",
         {},
         {{3, page + "/Annots[W 0 R]>>"},
          {1, "<</Type/Catalog/Pages 2 0 R/Names<<>>/AcroForm<</SigFlags 3/Fields[W 0 R]>>>>"}},
         {},
         1},
        {"direct /Annots array keeps its place",
         "/AcroForm 4 0 R",
         "/Annots[5 0 R]/Rotate 0",
         {"<</Fields[]>>", "<</Type/Annot/Subtype/Text/Rect[0 0 10 10]>>"},
         {{3, page + "/Annots[5 0 R W 0 R]/Rotate 0>>"}, {4, "<</Fields[W 0 R]>>"}},
         {},
         1},
        {"indirect /Annots array rewritten, page untouched",
         "/AcroForm 4 0 R",
         "/Annots 5 0 R",
         {"<</Fields[6 0 R]>>", "[6 0 R]", "<</Type/Annot/Subtype/Text/Rect[0 0 10 10]>>"},
         {{5, "[6 0 R W 0 R]"}, {4, "<</Fields[6 0 R W 0 R]>>"}},
         {3},
         1},
    };
    for (const LayoutCase& c : cases) {
        SCOPED_TRACE(c.name);
        TestSupport::TempDir dir;
        PdfBuilder builder;
        builder.BasicDocument(1, c.catalogExtra, c.pageExtra);
        for (const std::string& body : c.extraObjects) builder.Add(body);
        builder.EndRevision();
        builder.Save(dir.File("in.pdf"));
        const int n = builder.NextNumber();

        const TestSupport::SignedInfo info =
            TestSupport::SignDocument(dir.File("in.pdf"), dir.File("out.pdf"));
        const std::string out = ReadFile(dir.File("out.pdf"));
        const std::string& source = builder.Bytes();
        const std::size_t l = source.size();
        ASSERT_GT(out.size(), l);
        EXPECT_EQ(out.substr(0, l), source);
        EXPECT_EQ(out[l], '\n');

        // Signature dictionary N, empty form N + 1, widget N + 2.
        EXPECT_EQ(info.signatureOid, n);
        EXPECT_EQ(info.appearanceOid, n + 1);
        EXPECT_EQ(info.widgetOid, n + 2);
        EXPECT_EQ(out.substr(l + 1, N(n).size() + 20), N(n) + " 0 obj\n<</ByteRange[");
        EXPECT_NE(ObjectText(out, n + 1, l).find("/BBox[0 0 0 0]/Matrix[1 0 0 1 0 0]"), std::string::npos);
        const int w = n + 2;
        EXPECT_EQ(ObjectText(out, w, l),
                  N(w) +
                      " 0 obj\n<</Subtype/Widget/FT/Sig/Type/Annot/T (Signature 1)/Ff 1/F 132"
                      "/Rect[0.000000 0.000000 0.000000 0.000000]/AP<</N " +
                      N(n + 1) + " 0 R>>/V " + N(n) + " 0 R/P 3 0 R>>\nendobj\n");

        // The rewritten objects follow the widget in this order.
        std::size_t at = out.find(N(w) + " 0 obj\n", l);
        for (const auto& [num, body] : c.expected) {
            const int actual = num < 0 ? w + 1 : num;
            const std::string text = N(actual) + " 0 obj\n" + Fill(body, w) + "\nendobj\n";
            const std::size_t found = out.find(text, l);
            EXPECT_NE(found, std::string::npos) << text;
            EXPECT_GT(found, at) << text;
            at = found;
        }
        for (int num : c.untouched) EXPECT_EQ(ObjectText(out, num, l + 1), "") << num;

        const std::regex size("/Size (\\d+)>>\nstartxref\n");
        std::smatch m;
        const std::string tail = out.substr(l);
        ASSERT_TRUE(std::regex_search(tail, m, size));
        EXPECT_EQ(std::stoi(m[1]), w + c.sizeAfterWidget);

        std::string report;
        EXPECT_EQ(TestSupport::RunProgram({"qpdf", "--check", dir.File("out.pdf")}, &report), 0) << report;
    }
}

TEST(UpdateWriterTest, CrossReferenceSubsections) {
    TestSupport::TempDir dir;
    PDF::XRefs xrefs;
    xrefs.AddRef(12, 0, 4321);
    xrefs.AddRef(5, 0, 100);
    xrefs.AddRef(7, 2, 300);
    xrefs.AddRef(6, 0, 200);
    Util::FilePtr out(std::fopen(dir.File("x").c_str(), "w+b"));
    ASSERT_TRUE(out);
    std::fputs("0123456789", out.get());
    xrefs.WriteOut(out.get());
    EXPECT_EQ(xrefs.StartXRef(), 10);
    out.reset();
    EXPECT_EQ(ReadFile(dir.File("x")),
              "0123456789xref\n"
              "0 1\n0000000000 65535 f \n"
              "5 3\n0000000100 00000 n \n0000000200 00000 n \n0000000300 00002 n \n"
              "12 1\n0000004321 00000 n \n");
}

TEST(UpdateWriterTest, WriteToClosedStreamFails) {
    PDF::XRefs xrefs;
    xrefs.AddRef(5, 0, 100);
    Util::FilePtr out(std::fopen("/dev/full", "wb"));
    ASSERT_TRUE(out);
    std::setvbuf(out.get(), nullptr, _IONBF, 0);
    try {
        xrefs.WriteOut(out.get());
        FAIL() << "a failed write was taken for success";
    } catch (const PDF::Exception& e) {
        EXPECT_EQ(e.Code(), PDF::Code::kWriteFailed);
    }
}

TEST(UpdateWriterTest, TrailerKeysInOrder) {
    struct Case {
        const char* name;
        std::string trailerExtra;
        std::string expectedPattern;  // after "trailer\n"
    };
    const std::vector<Case> cases = {
        {"no /Info, no /ID", "", "<</Prev (\\d+)/Root 1 0 R/Size (\\d+)>>\n"},
        {"/Info and /ID",
         "/Info 4 0 R/ID[<00112233445566778899AABBCCDDEEFF><00112233445566778899AABBCCDDEEFF>]",
         // The new second identifier is random: hex or a literal string, whichever is shorter.
         "<</Prev (\\d+)/Root 1 0 R/Info 4 0 R/ID\\[<00112233445566778899AABBCCDDEEFF>"
         "(<[0-9A-F]{32}>|\\((?:[^\\\\)]|\\\\.)*\\))\\]/Size (\\d+)>>\n"},
        {"/ID of one string is copied", "/ID[<0A1B>]",
         "<</Prev (\\d+)/Root 1 0 R/ID\\[<0A1B>\\]/Size (\\d+)>>\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TestSupport::TempDir dir;
        PdfBuilder builder;
        builder.BasicDocument();
        builder.Add("<</Producer(test)>>");
        builder.TrailerExtra(c.trailerExtra);
        builder.EndRevision();
        builder.Save(dir.File("in.pdf"));
        TestSupport::SignDocument(dir.File("in.pdf"), dir.File("out.pdf"));
        const std::string out = ReadFile(dir.File("out.pdf"));
        const std::size_t at = out.rfind("trailer\n");
        ASSERT_NE(at, std::string::npos);
        const std::string tail = out.substr(at + 8);
        std::smatch m;
        ASSERT_TRUE(std::regex_search(tail, m, std::regex("^" + c.expectedPattern))) << tail;
        EXPECT_EQ(std::stoul(m[1]), builder.LastStartXRef());
        if (m.size() == 4) {
            // A fresh second identifier of the same length.
            EXPECT_NE(m[2].str(), "<00112233445566778899AABBCCDDEEFF>");
        }
        // startxref names the new section, and the file ends with %%EOF and a line feed.
        const std::size_t xref = out.rfind("\nxref\n") + 1;
        EXPECT_EQ(tail.substr(m[0].length()), "startxref\n" + N(static_cast<int>(xref)) + "\n%%EOF\n");
    }
}

TEST(UpdateWriterTest, VisibleRectangleAndRotation) {
    // Tenths of a millimetre chosen to give whole points: 254 -> 72, 1016 -> 288.
    // A 72 x 36 point rectangle; x and y count on the page as it is shown.
    struct Case {
        const char* name;
        PdfBuilder::Page page;
        std::string treeExtra;
        int x, y;
        const char* rect;
        const char* matrix;
    };
    const PdfBuilder::Page letter;
    const auto turned = [](const char* extra) { return PdfBuilder::Page{"[0 0 612 792]", extra}; };
    const std::vector<Case> cases = {
        {"from the top-right corner", letter, "", -508, -254,
         "/Rect[396.000000 684.000000 468.000000 720.000000]", "1 0 0 1 0 0"},
        {"from the bottom-left corner", letter, "", 254, 1016,
         "/Rect[72.000000 252.000000 144.000000 288.000000]", "1 0 0 1 0 0"},
        {"rotated 90", turned("/Rotate 90"), "", 254, 1016,
         "/Rect[324.000000 72.000000 360.000000 144.000000]", "0 1 -1 0 1 0"},
        // Shown 792 wide and 612 high: the corner is that of the turned page.
        {"rotated 90, from the top-right corner", turned("/Rotate 90"), "", -508, -254,
         "/Rect[72.000000 576.000000 108.000000 648.000000]", "0 1 -1 0 1 0"},
        {"rotated 180", turned("/Rotate 180"), "", 254, 1016,
         "/Rect[540.000000 504.000000 468.000000 540.000000]", "-1 0 0 -1 0 0"},
        {"rotated 270, the other quarter", turned("/Rotate 270"), "", 254, 1016,
         "/Rect[252.000000 648.000000 288.000000 720.000000]", "0 -1 1 0 0 0"},
        {"rotated 270, from the top-right corner", turned("/Rotate 270"), "", -508, -254,
         "/Rect[504.000000 144.000000 540.000000 216.000000]", "0 -1 1 0 0 0"},
        {"rotated -90 as 270", turned("/Rotate -90"), "", 254, 1016,
         "/Rect[252.000000 648.000000 288.000000 720.000000]", "0 -1 1 0 0 0"},
        {"rotation inherited",
         {"[0 0 612 792]", ""},
         "/Rotate 90",
         254,
         1016,
         "/Rect[324.000000 72.000000 360.000000 144.000000]",
         "0 1 -1 0 1 0"},
        // The box's origin is the page's corner.
        {"offset MediaBox",
         {"[100 200 712 992]", ""},
         "",
         254,
         1016,
         "/Rect[172.000000 452.000000 244.000000 488.000000]",
         "1 0 0 1 0 0"},
        {"offset MediaBox, from the top-right corner",
         {"[100 200 712 992]", ""},
         "",
         -508,
         -254,
         "/Rect[496.000000 884.000000 568.000000 920.000000]",
         "1 0 0 1 0 0"},
        {"MediaBox inherited from the page tree",
         {"", ""},
         "/MediaBox[0 0 500 700]",
         -508,
         -254,
         "/Rect[284.000000 592.000000 356.000000 628.000000]",
         "1 0 0 1 0 0"},
        {"CropBox inside the MediaBox", turned("/CropBox[50 50 562 742]"), "", -508, -254,
         "/Rect[346.000000 634.000000 418.000000 670.000000]", "1 0 0 1 0 0"},
        {"CropBox reaching past the MediaBox", turned("/CropBox[-100 -100 306 900]"), "", -508, -254,
         "/Rect[90.000000 684.000000 162.000000 720.000000]", "1 0 0 1 0 0"},
        {"offset MediaBox rotated 90",
         {"[100 200 712 992]", "/Rotate 90"},
         "",
         254,
         1016,
         "/Rect[424.000000 272.000000 460.000000 344.000000]",
         "0 1 -1 0 1 0"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TestSupport::TempDir dir;
        PdfBuilder builder;
        builder.Document({c.page}, "", c.treeExtra);
        builder.EndRevision();
        builder.Save(dir.File("in.pdf"));
        TestSupport::SignOptions options;
        options.visible = true;
        options.x = c.x;
        options.y = c.y;
        options.width = 254;
        options.height = 127;
        const TestSupport::SignedInfo info =
            TestSupport::SignDocument(dir.File("in.pdf"), dir.File("out.pdf"), options);
        const std::string out = ReadFile(dir.File("out.pdf"));
        const std::string widget = ObjectText(out, info.widgetOid, builder.Bytes().size());
        EXPECT_NE(widget.find(c.rect), std::string::npos) << widget;
        const std::string form = ObjectText(out, info.appearanceOid, builder.Bytes().size());
        EXPECT_NE(form.find("/Matrix[" + std::string(c.matrix) + "]"), std::string::npos) << form;
        EXPECT_NE(form.find("/XObject<</imgWatermark " + N(info.appearanceOid - 1) + " 0 R>>"),
                  std::string::npos);
        EXPECT_NE(ObjectText(out, info.appearanceOid - 1, builder.Bytes().size())
                      .find("/Subtype/Image/BitsPerComponent 8/Width 288/Height 144/Filter/FlateDecode"),
                  std::string::npos);
    }
}

// The turn of the signature's own page sets the widget and its appearance,
// whatever the first page's is.
TEST(UpdateWriterTest, RotationComesFromTheSignaturesPage) {
    const struct {
        const char* name;
        std::string firstPage, secondPage;
        const char* rect;
        const char* matrix;
    } cases[] = {
        {"first page turned", "/Rotate 90", "", "/Rect[28.346458 226.771652 198.425201 283.464569]",
         "1 0 0 1 0 0"},
        {"second page turned", "", "/Rotate 90", "/Rect[328.535431 28.346458 385.228333 198.425201]",
         "0 1 -1 0 1 0"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TestSupport::TempDir dir;
        PdfBuilder builder;
        builder.Document({{"[0 0 612 792]", c.firstPage}, {"[0 0 612 792]", c.secondPage}});
        builder.EndRevision();
        builder.Save(dir.File("in.pdf"));
        TestSupport::SignOptions options;
        options.visible = true;
        options.page = 2;
        options.x = 100;
        options.y = 1000;
        const TestSupport::SignedInfo info =
            TestSupport::SignDocument(dir.File("in.pdf"), dir.File("out.pdf"), options);
        const std::string out = ReadFile(dir.File("out.pdf"));
        EXPECT_NE(ObjectText(out, info.appearanceOid, 1).find("/Matrix[" + std::string(c.matrix) + "]"),
                  std::string::npos);
        const std::string widget = ObjectText(out, info.widgetOid, 1);
        EXPECT_NE(widget.find(c.rect), std::string::npos) << widget;
        // The widget sits on page 2 (object 4), which gets the /Annots.
        EXPECT_NE(widget.find("/P 4 0 R>>"), std::string::npos);
        EXPECT_NE(out.find("4 0 obj\n<</Type/Page/Parent 2 0 R/MediaBox[0 0 612 792]" + c.secondPage +
                           "/Annots[" + N(info.widgetOid) + " 0 R]>>"),
                  std::string::npos);
    }
}

TEST(UpdateWriterTest, TransformationMatrixTable) {
    const std::vector<std::pair<int, const char*>> cases = {{0, "1 0 0 1 0 0"},
                                                            {180, "-1 0 0 -1 0 0"},
                                                            {270, "0 -1 1 0 0 0"},
                                                            {90, "0 1 -1 0 1 0"},
                                                            {45, "0 1 -1 0 1 0"}};
    for (const auto& [degrees, text] : cases) EXPECT_EQ(PDF::Visual::GetTransformationMatrix(degrees), text);
}

}  // namespace

namespace {

TEST(UpdateWriterTest, MalformedDocumentsAreRefused) {
    struct Case {
        const char* name;
        std::string catalogExtra;
        std::string pageExtra;
        std::vector<std::string> extraObjects;  // objects 4, 5, ...
        bool visible;
        int code;
    };
    const std::vector<Case> cases = {
        {"/Annots neither array nor reference", "", "/Annots 5", {}, false, PDF::Code::kBadAnnots},
        {"/Annots naming a dictionary", "", "/Annots 4 0 R", {"<</A 1>>"}, false, PDF::Code::kBadAnnots},
        {"/Fields of another kind", "/AcroForm<</Fields 7>>", "", {}, false, PDF::Code::kBadFields},
        {"/Fields naming a dictionary",
         "/AcroForm<</Fields 4 0 R>>",
         "",
         {"<</A 1>>"},
         false,
         PDF::Code::kBadFields},
        {"visible on a page without its own MediaBox",
         "",
         "/MediaBox 4 0 R",
         {"(no box)"},
         true,
         PDF::Code::kBadPageObject},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TestSupport::TempDir dir;
        PdfBuilder builder;
        builder.BasicDocument(1, c.catalogExtra, "");
        // The page's own entries replace the builder's MediaBox where given.
        std::string page = "<</Type/Page/Parent 2 0 R";
        if (c.pageExtra.find("/MediaBox") == std::string::npos) page += "/MediaBox[0 0 612 792]";
        builder.Object(3, page + c.pageExtra + ">>");
        for (const std::string& body : c.extraObjects) builder.Add(body);
        builder.EndRevision();
        builder.Save(dir.File("in.pdf"));
        TestSupport::SignOptions options;
        options.visible = c.visible;
        try {
            TestSupport::SignDocument(dir.File("in.pdf"), dir.File("out.pdf"), options);
            ADD_FAILURE() << "signed";
        } catch (const PDF::Exception& e) {
            EXPECT_EQ(e.Code(), c.code) << e.what();
        }
    }
}

}  // namespace

namespace {

TEST(UpdateWriterTest, WritingNeedsOutputAndIndirectReference) {
    TestSupport::TempDir dir;
    PdfBuilder builder;
    builder.BasicDocument();
    builder.EndRevision();
    builder.Save(dir.File("in.pdf"));
    TestSupport::OpenedDocument document(dir.File("in.pdf"));
    PDF::File& file = document.File();
    Util::FilePtr out(std::fopen(dir.File("out").c_str(), "w+b"));
    ASSERT_TRUE(out);

    struct Case {
        const char* name;
        bool withOutput;
        bool indirect;
        int code;
    };
    const std::vector<Case> cases = {
        {"no output", false, true, PDF::Code::kNoOutput},
        {"direct object as reference", true, false, PDF::Code::kNotIndirect},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        document.Env().SetOutput(c.withOutput ? out.get() : nullptr);
        try {
            file.WriteObject(c.indirect ? file.RootIndirect() : file.Root(), file.Root());
            ADD_FAILURE() << "written";
        } catch (const PDF::Exception& e) {
            EXPECT_EQ(e.Code(), c.code);
        }
    }
    // Without an output, copying writes nothing and raises nothing.
    document.Env().SetOutput(nullptr);
    file.CopySource();

    document.Env().SetOutput(out.get());
    file.CopySource();
    file.WriteObject(file.RootIndirect(), file.Root());
    std::fflush(out.get());
    EXPECT_EQ(ReadFile(dir.File("out")),
              builder.Bytes() + "\n1 0 obj\n<</Type/Catalog/Pages 2 0 R>>\nendobj\n");
    EXPECT_EQ(document.Env().GetXRefs()->Entries().at(1).offset,
              static_cast<int>(builder.Bytes().size() + 1));
}

}  // namespace
