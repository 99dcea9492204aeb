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

TEST(SignedDocumentTest, RenderedAppearanceFillsItsRectangle) {
    // Rectangle x 72, top 360, 144 x 72 points on a 612 x 792 page, red; a
    // blue picture in its top-left quarter. Rendering at 72 dpi makes one
    // pixel per point.
    struct Case {
        const char* name;
        std::string firstPageExtra;
        int imageWidth, imageHeight;
        // Pixel coordinates in the rendered image.
        std::vector<std::pair<int, int>> red, blue, white;
    };
    const std::vector<Case> cases = {
        {"upright", "", 612, 792, {{200, 470}, {80, 500}}, {{80, 436}}, {{50, 50}, {300, 450}, {144, 520}}},
        // Turned clockwise: user point (u, v) lands on pixel (v, u); the
        // rectangle becomes u 252..324, v 72..216 in user space, and the
        // picture is still shown upright in its top-left corner.
        {"rotated 90",
         "/Rotate 90",
         792,
         612,
         {{180, 300}, {150, 320}},
         {{80, 256}},
         {{50, 50}, {400, 300}, {150, 340}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TestSupport::TempDir dir;
        TestSupport::SignOptions options;
        options.visible = true;
        options.x = 254;
        options.y = 1270;
        options.width = 508;
        options.height = 254;
        options.r = 255;
        options.g = 0;
        options.b = 0;
        options.draw = [](VisualRepBase& rep) {
            PDF::Surface* const surface = rep.GetSurface();
            ASSERT_TRUE(surface->LoadImage(SolidJpeg(64, 32, 0, 0, 255).c_str()));
            surface->SetPos(0, 0);
            // 128 x 64 pixels of a 576 x 288 raster: 32 x 16 points.
            surface->WriteImage(200, 200);
        };
        TestSupport::SignDocument(MakeSource(dir, 1, c.firstPageExtra, false), dir.File("out.pdf"), options);
        ASSERT_EQ(
            RunProgram({"pdftoppm", "-r", "72", "-f", "1", "-l", "1", dir.File("out.pdf"), dir.File("page")}),
            0);
        Ppm image;
        ASSERT_TRUE(image.Load(TestSupport::ReadFile(dir.File("page-1.ppm"))));
        ASSERT_EQ(image.width, c.imageWidth);
        ASSERT_EQ(image.height, c.imageHeight);
        for (const auto& [x, y] : c.red) EXPECT_TRUE(image.Is(x, y, 255, 0, 0)) << x << "," << y;
        for (const auto& [x, y] : c.blue) EXPECT_TRUE(image.Is(x, y, 0, 0, 255)) << x << "," << y;
        for (const auto& [x, y] : c.white) EXPECT_TRUE(image.Is(x, y, 255, 255, 255)) << x << "," << y;
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
