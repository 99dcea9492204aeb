// Documents signed by the writer, checked by independent verifiers (pdfsig,
// qpdf, mutool, pdftoppm) and by our own verification.
#include <gtest/gtest.h>
#include <jpeglib.h>
#include <sys/resource.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "common/Base64Stream.h"
#include "common/posix/FilePtr.h"
#include "crypto/openssl/PlatformOpenSSL.h"
#include "engine/VisualRepBase.h"
#include "pdf/Field.h"
#include "pdf/Fields.h"
#include "pdf/Signature.h"
#include "pdf/Surface.h"
#include "pdf/Versions.h"
#include "support/NssDb.h"
#include "support/OpenedDocument.h"
#include "support/PdfBuilder.h"
#include "support/Process.h"
#include "support/SignDocument.h"
#include "support/TempDir.h"
#include "support/TestPKI.h"
#include "support/ThirdPartyTools.h"

namespace {

using TestSupport::MakeNssDb;
using TestSupport::PdfBuilder;
using TestSupport::RunProgram;
using TestSupport::TestPKI;

// A solid-colour JPEG as Base64 text.
std::string SolidJpeg(int width, int height, unsigned char r, unsigned char g, unsigned char b) {
    jpeg_compress_struct cinfo;
    jpeg_error_mgr err;
    cinfo.err = jpeg_std_error(&err);
    jpeg_create_compress(&cinfo);
    unsigned char* out = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &out, &size);
    cinfo.image_width = width;
    cinfo.image_height = height;
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, 95, TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    std::vector<unsigned char> row(static_cast<std::size_t>(width) * 3);
    for (int x = 0; x < width; ++x) {
        row[x * 3] = r;
        row[x * 3 + 1] = g;
        row[x * 3 + 2] = b;
    }
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&cinfo, rows, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    const std::unique_ptr<unsigned char, decltype(&std::free)> owner(out, &std::free);
    std::string text;
    Util::Base64Encoder encoder;
    encoder.Encode(out, size, text);
    encoder.Finish(text);
    return text;
}

// The document to sign: made by the builder, optionally rewritten by qpdf.
std::string MakeSource(const TestSupport::TempDir& dir, int pages, const std::string& firstPageExtra,
                       bool viaQpdf) {
    PdfBuilder builder;
    builder.BasicDocument(pages, "", firstPageExtra);
    builder.TrailerExtra("/ID[<00112233445566778899AABBCCDDEEFF><00112233445566778899AABBCCDDEEFF>]");
    builder.EndRevision();
    builder.Save(dir.File("built.pdf"));
    if (!viaQpdf) return dir.File("built.pdf");
    EXPECT_EQ(RunProgram({"qpdf", "--object-streams=disable", "--force-version=1.4", dir.File("built.pdf"),
                          dir.File("rewritten.pdf")}),
              0);
    return dir.File("rewritten.pdf");
}

PDF::Signature::VerifyError OurVerify(const std::string& path, std::size_t index) {
    TestSupport::OpenedDocument document(path);
    Crypto::PlatformOpenSSL platform;
    document.Env().SetPlatform(&platform);
    PDF::Fields fields(&document.Env());
    fields.Load();
    if (index >= fields.Count()) return PDF::Signature::kNoRange;
    const std::unique_ptr<PDF::Signature> signature = fields.At(index)->GetSignature();
    return signature ? signature->Verify() : PDF::Signature::kNoRange;
}

void DrawTextAndPicture(VisualRepBase& rep) {
    PDF::Surface* const surface = rep.GetSurface();
    surface->SetFont("DejaVu Sans", 40, 0);
    surface->SetPos(20, 20);
    surface->WriteString(L"Signed by $Subject at $Time");
    ASSERT_TRUE(surface->LoadImage(SolidJpeg(64, 32, 0, 0, 255).c_str()));
    surface->SetPos(20, 120);
    surface->WriteImage(100, 100);
}

TEST(SignedDocumentTest, IndependentVerifiersAccept) {
    struct Case {
        const char* name;
        bool viaQpdf;
        std::string firstPageExtra;
        bool visible;
        int signings;
    };
    const std::vector<Case> cases = {
        {"invisible", false, "", false, 1},
        {"visible with text and picture", false, "", true, 1},
        {"invisible on a qpdf-written document", true, "", false, 1},
        {"visible on a rotated qpdf-written document", true, "/Rotate 90", true, 1},
        {"signed twice", false, "", false, 2},
    };
    TestSupport::TempDir nss;
    const std::string db = MakeNssDb(nss);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TestSupport::TempDir dir;
        std::string path = MakeSource(dir, 1, c.firstPageExtra, c.viaQpdf);
        for (int i = 1; i <= c.signings; ++i) {
            TestSupport::SignOptions options;
            options.fieldName = "Signature " + std::to_string(i);
            options.reason = L"Approved";
            options.visible = c.visible;
            options.x = 200;
            options.y = 400;
            options.draw = DrawTextAndPicture;
            const std::string signedPath = dir.File("signed" + std::to_string(i) + ".pdf");
            TestSupport::SignDocument(path, signedPath, options);
            path = signedPath;
        }

        TestSupport::ExpectAcceptedByOthers(path, db, static_cast<std::size_t>(c.signings));

        // One changed covered byte: nobody accepts the file any more.
        std::string bytes = TestSupport::ReadFile(path);
        const std::size_t at = bytes.find("612");
        ASSERT_NE(at, std::string::npos);
        bytes[at + 2] = '3';
        TestSupport::WriteFile(dir.File("changed.pdf"), bytes);
        std::string report;
        RunProgram({"pdfsig", "-nssdir", db, dir.File("changed.pdf")}, &report);
        EXPECT_LT(TestSupport::CountOf(report, "Signature Validation: Signature is Valid."),
                  static_cast<std::size_t>(c.signings))
            << report;
        report.clear();
        RunProgram({"mutool", "sign", "-v", dir.File("changed.pdf")}, &report);
        EXPECT_EQ(TestSupport::CountOf(report, "The document is unchanged since signing."), 0u) << report;
        EXPECT_EQ(OurVerify(dir.File("changed.pdf"), c.signings - 1), PDF::Signature::kNotVerified);

        for (int i = 0; i < c.signings; ++i) EXPECT_EQ(OurVerify(path, i), PDF::Signature::kVerified) << i;
    }
}

// Pixels of a P6 image.
struct Ppm {
    int width = 0;
    int height = 0;
    std::string pixels;
    bool Load(const std::string& bytes) {
        std::size_t at = 0;
        auto next = [&]() {
            while (at < bytes.size() && std::isspace(static_cast<unsigned char>(bytes[at]))) ++at;
            std::size_t end = at;
            while (end < bytes.size() && !std::isspace(static_cast<unsigned char>(bytes[end]))) ++end;
            std::string token = bytes.substr(at, end - at);
            at = end;
            return token;
        };
        if (next() != "P6") return false;
        width = std::stoi(next());
        height = std::stoi(next());
        if (next() != "255") return false;
        pixels = bytes.substr(at + 1);
        return pixels.size() == static_cast<std::size_t>(width) * height * 3;
    }
    bool Is(int x, int y, int r, int g, int b) const {
        const std::size_t i = (static_cast<std::size_t>(y) * width + x) * 3;
        return std::abs(static_cast<unsigned char>(pixels[i]) - r) < 40 &&
               std::abs(static_cast<unsigned char>(pixels[i + 1]) - g) < 40 &&
               std::abs(static_cast<unsigned char>(pixels[i + 2]) - b) < 40;
    }
};

// The rendered page as shown (its crop box), from pdftoppm or mutool, at 72
// dpi: one pixel per point.
bool Render(const std::string& renderer, const std::string& pdf, int page, const std::string& base,
            Ppm& image) {
    const std::string number = std::to_string(page);
    const std::string out = base + "-" + renderer + ".ppm";
    const int status = renderer == "pdftoppm"
                           ? RunProgram({"pdftoppm", "-cropbox", "-r", "72", "-f", number, "-l", number,
                                         "-singlefile", pdf, base + "-" + renderer})
                           : RunProgram({"mutool", "draw", "-q", "-r", "72", "-o", out, pdf, number});
    return status == 0 && image.Load(TestSupport::ReadFile(out));
}

// A red appearance with a blue picture in its top-left corner, rendered by
// two programs: found in the rectangle where the page as shown puts it,
// filling it, and upright (the picture neither mirrored nor turned).
TEST(SignedDocumentTest, RenderedAppearanceStandsUprightWhereItWasAsked) {
    using Page = PdfBuilder::Page;
    const Page letter;
    const Page r90{"[0 0 612 792]", "/Rotate 90"};
    const Page r180{"[0 0 612 792]", "/Rotate 180"};
    const Page r270{"[0 0 612 792]", "/Rotate 270"};
    const Page offset{"[100 200 712 992]", ""};
    const Page offset90{"[100 200 712 992]", "/Rotate 90"};
    const Page cropped{"[0 0 612 792]", "/CropBox[50 50 562 742]"};
    const Page inherits{"", ""};  // MediaBox from the page tree
    struct Shown {
        int width, height;  // the page as shown
        int left, top;      // the rectangle on it in pixels from its top-left corner
        int rectWidth, rectHeight;
    };
    struct Case {
        const char* name;
        std::vector<Page> pages;
        std::string treeExtra;
        int page;           // of the signature
        int x, y;           // tenths of a millimetre on the page as shown: 254 is 72 points
        std::string field;  // an empty field to sign into, with its /Rect; none when empty
        Shown expected;
    };
    const std::vector<Case> cases = {
        {"upright", {letter}, "", 1, 254, 1270, "", {612, 792, 72, 432, 144, 72}},
        {"rotated 90", {r90}, "", 1, 254, 1270, "", {792, 612, 72, 252, 144, 72}},
        {"rotated 180", {r180}, "", 1, 254, 1270, "", {612, 792, 72, 432, 144, 72}},
        {"rotated 270", {r270}, "", 1, 254, 1270, "", {792, 612, 72, 252, 144, 72}},
        {"rotated 90, top-right corner", {r90}, "", 1, -254, -254, "", {792, 612, 576, 72, 144, 72}},
        {"rotated 270, top-right corner", {r270}, "", 1, -254, -254, "", {792, 612, 576, 72, 144, 72}},
        {"offset MediaBox, top-right corner", {offset}, "", 1, -254, -254, "", {612, 792, 396, 72, 144, 72}},
        {"offset MediaBox rotated 90", {offset90}, "", 1, 254, 1270, "", {792, 612, 72, 252, 144, 72}},
        {"CropBox, top-right corner", {cropped}, "", 1, -254, -254, "", {512, 692, 296, 72, 144, 72}},
        {"MediaBox and turn from the tree",
         {inherits},
         "/MediaBox[0 0 500 700]/Rotate 90",
         1,
         254,
         1270,
         "",
         {700, 500, 72, 140, 144, 72}},
        {"second page 270, first upright",
         {letter, r270},
         "",
         2,
         254,
         1270,
         "",
         {792, 612, 72, 252, 144, 72}},
        // Signed into an empty field: its rectangle, whatever the appearance asked for.
        {"into a field on page 2",
         {letter, letter},
         "",
         2,
         254,
         1270,
         "[100 100 300 150]",
         {612, 792, 100, 642, 200, 50}},
        {"into a field on a page rotated 90",
         {r90},
         "",
         1,
         254,
         1270,
         "[100 100 150 300]",
         {792, 612, 100, 100, 200, 50}},
        {"into a field without area", {letter}, "", 1, 254, 1270, "[0 0 0 0]", {612, 792, 72, 432, 144, 72}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Shown& e = c.expected;
        TestSupport::TempDir dir;
        PdfBuilder builder;
        builder.Document(c.pages, "", c.treeExtra);
        if (!c.field.empty()) builder.AcroForm({builder.EmptySignatureField("Here", c.page, c.field)});
        builder.EndRevision();
        builder.Save(dir.File("in.pdf"));

        TestSupport::SignOptions options;
        options.intoField = !c.field.empty();
        options.fieldName = options.intoField ? "Here" : "Signature 1";
        options.visible = true;
        options.page = c.field.empty() ? c.page : 1;  // a field keeps its own page
        options.x = c.x;
        options.y = c.y;
        options.width = 508;
        options.height = 254;
        options.r = 255;
        options.g = 0;
        options.b = 0;
        options.draw = [](VisualRepBase& rep) {
            PDF::Surface* const surface = rep.GetSurface();
            ASSERT_TRUE(surface->LoadImage(SolidJpeg(64, 32, 0, 0, 255).c_str()));
            surface->SetPos(0, 0);
            // 128 x 64 pixels of a 576 x 288 raster: the top-left 2/9 of each side.
            surface->WriteImage(200, 200);
        };
        TestSupport::SignDocument(dir.File("in.pdf"), dir.File("out.pdf"), options);

        // Points at fractions of the rectangle, and just outside it.
        const auto at = [&](double fx, double fy) {
            return std::make_pair(e.left + static_cast<int>(fx * e.rectWidth),
                                  e.top + static_cast<int>(fy * e.rectHeight));
        };
        const std::vector<std::pair<int, int>> blue = {at(0.11, 0.11)};
        const std::vector<std::pair<int, int>> red = {
            at(0.5, 0.11),  at(0.11, 0.5),  // beside and below the picture: not mirrored, not turned
            at(0.95, 0.08), at(0.05, 0.92), at(0.95, 0.92), at(0.5, 0.5)};  // the corners: filled
        const std::vector<std::pair<int, int>> white = {{e.left - 4, e.top + e.rectHeight / 2},
                                                        {e.left + e.rectWidth + 4, e.top + e.rectHeight / 2},
                                                        {e.left + e.rectWidth / 2, e.top - 4},
                                                        {e.left + e.rectWidth / 2, e.top + e.rectHeight + 4}};
        for (const std::string renderer : {"pdftoppm", "mutool"}) {
            SCOPED_TRACE(renderer);
            Ppm image;
            ASSERT_TRUE(Render(renderer, dir.File("out.pdf"), c.page, dir.File("page"), image));
            ASSERT_EQ(image.width, e.width);
            ASSERT_EQ(image.height, e.height);
            for (const auto& [x, y] : blue) EXPECT_TRUE(image.Is(x, y, 0, 0, 255)) << x << "," << y;
            for (const auto& [x, y] : red) EXPECT_TRUE(image.Is(x, y, 255, 0, 0)) << x << "," << y;
            for (const auto& [x, y] : white) EXPECT_TRUE(image.Is(x, y, 255, 255, 255)) << x << "," << y;
        }
    }
}

}  // namespace

namespace {

// Peak resident memory of the process so far, in KiB.
long PeakKiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// A one-page document with a `megabytes` MiB stream, written in pieces so
// that the test itself does not hold it in memory.
void WriteLargeDocument(const std::string& path, int megabytes) {
    Util::FilePtr out(std::fopen(path.c_str(), "wb"));
    ASSERT_TRUE(out);
    std::vector<long> offsets;
    std::fputs("%PDF-1.4\n", out.get());
    const char* const bodies[] = {"<</Type/Catalog/Pages 2 0 R>>", "<</Type/Pages/Kids[3 0 R]/Count 1>>",
                                  "<</Type/Page/Parent 2 0 R/MediaBox[0 0 612 792]/Contents 4 0 R>>"};
    for (int i = 0; i < 3; ++i) {
        offsets.push_back(std::ftell(out.get()));
        std::fprintf(out.get(), "%d 0 obj\n%s\nendobj\n", i + 1, bodies[i]);
    }
    offsets.push_back(std::ftell(out.get()));
    const long length = static_cast<long>(megabytes) << 20;
    std::fprintf(out.get(), "4 0 obj\n<</Length %ld>>\nstream\n", length);
    const std::vector<char> piece(1 << 20, ' ');
    for (int i = 0; i < megabytes; ++i) std::fwrite(piece.data(), 1, piece.size(), out.get());
    std::fputs("\nendstream\nendobj\n", out.get());
    const long xref = std::ftell(out.get());
    std::fputs("xref\n0 5\n0000000000 65535 f \n", out.get());
    for (long offset : offsets) std::fprintf(out.get(), "%010ld 00000 n \n", offset);
    std::fprintf(out.get(), "trailer\n<</Size 5/Root 1 0 R>>\nstartxref\n%ld\n%%%%EOF\n", xref);
    ASSERT_TRUE(Util::FinishWrite(std::move(out)));
}

TEST(SignedDocumentTest, MemoryDoesNotGrowWithTheDocument) {
    TestSupport::TempDir dir;
    // Everything made once per process (keys, OpenSSL, fonts) is made first.
    TestSupport::SignDocument(MakeSource(dir, 1, "", false), dir.File("warm.pdf"));
    ASSERT_EQ(OurVerify(dir.File("warm.pdf"), 0), PDF::Signature::kVerified);

    WriteLargeDocument(dir.File("large.pdf"), 96);
    const long before = PeakKiB();
    TestSupport::SignDocument(dir.File("large.pdf"), dir.File("signed.pdf"));
    EXPECT_EQ(OurVerify(dir.File("signed.pdf"), 0), PDF::Signature::kVerified);
    // A copy of the document in memory would add 96 MiB.
    EXPECT_LT(PeakKiB() - before, 24 * 1024);
}

}  // namespace

namespace {

using Section = TestSupport::PdfBuilder::Section;

const char kInfoAndId[] =
    "/Info 9 0 R/ID[<00112233445566778899AABBCCDDEEFF><00112233445566778899AABBCCDDEEFF>]";

// A two-page document with /Info and /ID in the given section form; with
// Stream or Hybrid the page tree and the second page sit in an object stream.
std::string BuiltSource(const TestSupport::TempDir& dir, const std::string& version, Section form) {
    PdfBuilder pdf(version);
    pdf.SectionForm(form);
    pdf.Object(1, "<</Type/Catalog/Pages 2 0 R>>");
    const std::string tree = "<</Type/Pages/Kids[3 0 R 4 0 R]/Count 2>>";
    const std::string second = "<</Type/Page/Parent 2 0 R/MediaBox[0 0 612 792]>>";
    if (form == Section::Table) {
        pdf.Object(2, tree);
        pdf.Object(4, second);
    } else {
        pdf.Compressed(2, tree);
        pdf.Compressed(4, second);
    }
    pdf.Object(3, "<</Type/Page/Parent 2 0 R/MediaBox[0 0 612 792]>>");
    pdf.Object(9, "<</Producer(PdfBuilder)>>");
    pdf.TrailerExtra(kInfoAndId);
    pdf.EndRevision();
    const std::string path = dir.File("built.pdf");
    pdf.Save(path);
    return path;
}

// `source` rewritten by a program; "IN" and "OUT" in `command` name the files.
std::string Rewritten(const TestSupport::TempDir& dir, const std::string& source,
                      std::vector<std::string> command) {
    const std::string path = dir.File("rewritten.pdf");
    for (std::string& arg : command) {
        if (arg == "IN") arg = source;
        if (arg == "OUT") arg = path;
        if (arg == "-sOutputFile=OUT") arg = "-sOutputFile=" + path;
    }
    std::string output;
    EXPECT_EQ(RunProgram(command, &output), 0) << output;
    return path;
}

struct Verified {
    PDF::Signature::VerifyError code = PDF::Signature::kNoRange;
    int revision = -2;
};

// Our verification of every signature, in field order, with its revision.
std::vector<Verified> VerifyAll(const std::string& path) {
    TestSupport::OpenedDocument document(path);
    Crypto::PlatformOpenSSL platform;
    document.Env().SetPlatform(&platform);
    PDF::Fields fields(&document.Env());
    fields.Load();
    std::vector<Verified> all;
    for (std::size_t i = 0; i < fields.Count(); ++i) {
        const std::unique_ptr<PDF::Signature> signature = fields.At(i)->GetSignature();
        Verified v;
        if (signature) {
            v.code = signature->Verify();
            v.revision = signature->MatchVersion();
        }
        all.push_back(v);
    }
    return all;
}

bool NewestIsStream(const std::string& path) {
    TestSupport::OpenedDocument document(path);
    return document.Env().GetVersions()->NewestIsStream();
}

TEST(SignedDocumentTest, EveryDocumentFormIsSignedTwiceInItsOwnSectionForm) {
    struct Case {
        const char* name;
        std::string version;
        Section form;
        std::vector<std::string> rewrite;  // empty: the builder's document as it is
        bool stream;                       // its last section is a cross-reference stream
    };
    const std::vector<Case> cases = {
        {"1.5, cross-reference stream and object stream", "1.5", Section::Stream, {}, true},
        {"1.5, hybrid", "1.5", Section::Hybrid, {}, false},
        {"1.6 by qpdf, object streams",
         "1.4",
         Section::Table,
         {"qpdf", "--object-streams=generate", "--force-version=1.6", "IN", "OUT"},
         true},
        {"1.7 by qpdf, object streams",
         "1.4",
         Section::Table,
         {"qpdf", "--object-streams=generate", "--force-version=1.7", "IN", "OUT"},
         true},
        {"2.0 by qpdf, object streams",
         "1.4",
         Section::Table,
         {"qpdf", "--object-streams=generate", "--force-version=2.0", "IN", "OUT"},
         true},
        {"linearized by qpdf, tables", "1.4", Section::Table, {"qpdf", "--linearize", "IN", "OUT"}, false},
        {"linearized by qpdf, object streams",
         "1.4",
         Section::Table,
         {"qpdf", "--linearize", "--object-streams=generate", "IN", "OUT"},
         true},
        {"1.7 by Ghostscript",
         "1.4",
         Section::Table,
         {"gs", "-q", "-dNOPAUSE", "-dBATCH", "-dSAFER", "-sDEVICE=pdfwrite", "-dCompatibilityLevel=1.7",
          "-sOutputFile=OUT", "IN"},
         false},
        {"cleaned by mutool", "1.5", Section::Stream, {"mutool", "clean", "-z", "IN", "OUT"}, false},
    };
    TestSupport::TempDir nss;
    const std::string db = MakeNssDb(nss);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TestSupport::TempDir dir;
        std::string path = BuiltSource(dir, c.version, c.form);
        if (!c.rewrite.empty()) path = Rewritten(dir, path, c.rewrite);
        ASSERT_EQ(NewestIsStream(path), c.stream);
        const std::string source = TestSupport::ReadFile(path);

        for (int i = 1; i <= 2; ++i) {
            TestSupport::SignOptions options;
            options.fieldName = "Signature " + std::to_string(i);
            options.visible = i == 1;
            options.page = 2;
            options.x = 200;
            options.y = 400;
            options.draw = DrawTextAndPicture;
            const std::string signedPath = dir.File("signed" + std::to_string(i) + ".pdf");
            TestSupport::SignDocument(path, signedPath, options);
            // The update's cross-reference data has the form of the last section.
            const std::string bytes = TestSupport::ReadFile(signedPath);
            const std::string update = bytes.substr(TestSupport::ReadFile(path).size());
            EXPECT_EQ(update.find("/Type/XRef") != std::string::npos, c.stream) << i;
            EXPECT_EQ(update.find("\nxref\n") != std::string::npos, !c.stream) << i;
            EXPECT_EQ(update.find("/ObjStm"), std::string::npos);
            EXPECT_NE(update.find("/Info "), std::string::npos) << "the trailer keeps /Info";
            EXPECT_EQ(NewestIsStream(signedPath), c.stream);
            path = signedPath;
        }
        EXPECT_EQ(TestSupport::ReadFile(path).compare(0, source.size(), source), 0) << "source bytes kept";

        TestSupport::ExpectAcceptedByOthers(path, db, 2);

        const std::vector<Verified> ours = VerifyAll(path);
        ASSERT_EQ(ours.size(), 2u);
        for (int i = 0; i < 2; ++i) {
            EXPECT_EQ(ours[i].code, PDF::Signature::kVerified) << i;
            EXPECT_EQ(ours[i].revision, i + 1) << i;  // the source is revision 0
        }
    }
}

}  // namespace
