#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "pdf/AppearanceObjects.h"
#include "pdf/Surface.h"
#include "pdf/SurfaceCairo.h"
#include "support/TempDir.h"

namespace {

using PDF::AppearanceObjects;

std::string Inflate(const std::vector<unsigned char>& packed, size_t size) {
    std::string out(size + 1, '\0');
    uLongf length = static_cast<uLongf>(out.size());
    EXPECT_EQ(uncompress(reinterpret_cast<Bytef*>(&out[0]), &length, packed.data(),
                         static_cast<uLong>(packed.size())),
              Z_OK);
    out.resize(length);
    return out;
}

// A surface whose pixels come from the test.
class FakeSurface final : public PDF::Surface {
public:
    enum class Fill { Noise, Fail };
    FakeSurface(float width, float height, Fill fill) : Surface(0, 0, width, height, 0, 0, 0), _fill(fill) {}
    bool LoadImage(const char*) override { return false; }
    bool SetFont(const char*, int, int) override { return false; }
    bool WriteString(const wchar_t*) override { return false; }
    bool WriteImage(int, int) override { return false; }
    bool GetBuffer(unsigned char* out, unsigned int size) override {
        if (_fill == Fill::Fail) return false;
        std::mt19937 random(7);
        for (unsigned int i = 0; i < size; ++i) out[i] = static_cast<unsigned char>(random());
        return true;
    }

private:
    Fill _fill;
};

// The turn of the page the appearance is shown on; callers bring it into
// one turn first, the table keeps its answer for other values.
TEST(AppearanceObjects, MatrixFollowsThePagesRotation) {
    const struct {
        int degrees;
        const char* matrix;
    } cases[] = {
        {0, "1 0 0 1 0 0"},   {180, "-1 0 0 -1 0 0"}, {270, "0 -1 1 0 0 0"},
        {90, "0 1 -1 0 1 0"}, {-90, "0 1 -1 0 1 0"},  {45, "0 1 -1 0 1 0"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(AppearanceObjects::MatrixForRotation(c.degrees), c.matrix) << c.degrees;
}

TEST(AppearanceObjects, WritesTheObjectsByteForByte) {
    const std::vector<unsigned char> data = {0x78, 0x9C, 0x00, 0x0A};
    const std::string stream("\x78\x9C\x00\x0A", 4);
    EXPECT_EQ(
        AppearanceObjects::ImageObject(12, 680, 226, data),
        "12 0 obj\n<</Type/XObject/ColorSpace/DeviceRGB/Subtype/Image/BitsPerComponent 8/Width 680/Height 226"
        "/Filter/FlateDecode/Length 4>>\nstream\n" +
            stream + "\nendstream\nendobj\n");
    EXPECT_EQ(AppearanceObjects::FormObject(13, 12, 680, 226, "0 1 -1 0 1 0", data),
              "13 0 obj\n<</Type/XObject/Resources<</XObject<</imgWatermark 12 0 "
              "R>>/ProcSet[/PDF/Text/ImageB/ImageC"
              "/ImageI]>>/Subtype/Form/BBox[0 0 680 226]/Matrix[0 1 -1 0 1 0]/Length 4/FormType "
              "1/Filter/FlateDecode"
              ">>stream\n" +
                  stream + "\nendstream\nendobj\n");
    EXPECT_EQ(AppearanceObjects::EmptyFormObject(7, "1 0 0 1 0 0", data),
              "7 0 obj\n<</Type/XObject/Resources<</ProcSet[/PDF/Text/ImageB/ImageC/ImageI]>>/Subtype/Form"
              "/BBox[0 0 0 0]/Matrix[1 0 0 1 0 0]/Length 4/FormType 1/Filter/FlateDecode>>stream\n" +
                  stream + "\nendstream\nendobj\n");
    EXPECT_EQ(AppearanceObjects::ImageContent(680, 226), "680 0 0 226 0 0 cm /imgWatermark Do ");
    EXPECT_EQ(AppearanceObjects::EmptyContent().size(), 13u);
}

TEST(AppearanceObjects, CompressesContentAndRaster) {
    for (const std::string& content :
         {AppearanceObjects::EmptyContent(), AppearanceObjects::ImageContent(682, 226)}) {
        const auto stream = AppearanceObjects::CompressContent(content);
        ASSERT_EQ(stream.status, AppearanceObjects::Status::Ok);
        EXPECT_EQ(Inflate(stream.flate, content.size()), content);
    }
    PDF::SurfaceCairo surface(0, 0, 600, 200, 9, 99, 199);
    const auto raster = AppearanceObjects::CompressRaster(surface);
    ASSERT_EQ(raster.status, AppearanceObjects::Status::Ok);
    EXPECT_EQ(raster.width, 680);
    EXPECT_EQ(raster.height, 226);
    std::string expected;
    for (int i = 0; i < 680 * 226; ++i) expected += "\x09\x63\xC7";
    EXPECT_EQ(Inflate(raster.flate, expected.size()), expected);
}

TEST(AppearanceObjects, RefusesRastersWithoutPixelsOrThatDoNotCompress) {
    FakeSurface noise(600, 200, FakeSurface::Fill::Noise);
    EXPECT_EQ(AppearanceObjects::CompressRaster(noise).status, AppearanceObjects::Status::EncodingFailed);
    EXPECT_EQ(AppearanceObjects::CompressRaster(noise).message, "Encoding failed");
    FakeSurface failing(600, 200, FakeSurface::Fill::Fail);
    EXPECT_EQ(AppearanceObjects::CompressRaster(failing).status, AppearanceObjects::Status::NoPixels);
    EXPECT_EQ(AppearanceObjects::CompressRaster(failing).message, "Could not retrieve watermark image");
    PDF::SurfaceCairo empty(0, 0, 0, 200, 0, 0, 0);
    EXPECT_EQ(AppearanceObjects::CompressRaster(empty).status, AppearanceObjects::Status::NoPixels);
}

// A one-page document that paints the form at four raster pixels per point.
std::string DocumentShowing(const AppearanceObjects::Stream& raster) {
    const auto content =
        AppearanceObjects::CompressContent(AppearanceObjects::ImageContent(raster.width, raster.height));
    char page[256];
    std::snprintf(page, sizeof page,
                  "<</Type/Page/Parent 2 0 R/MediaBox[0 0 %d.%02d %d.%02d]/Resources<</XObject<</Fm 5 0 R>>>>"
                  "/Contents 6 0 R>>",
                  raster.width / 4, raster.width % 4 * 25, raster.height / 4, raster.height % 4 * 25);
    const std::string paint = "q 0.25 0 0 0.25 0 0 cm /Fm Do Q";
    const std::vector<std::string> objects = {
        "1 0 obj\n<</Type/Catalog/Pages 2 0 R>>\nendobj\n",
        "2 0 obj\n<</Type/Pages/Kids[3 0 R]/Count 1>>\nendobj\n",
        std::string("3 0 obj\n") + page + "\nendobj\n",
        AppearanceObjects::ImageObject(4, raster.width, raster.height, raster.flate),
        AppearanceObjects::FormObject(5, 4, raster.width, raster.height,
                                      AppearanceObjects::MatrixForRotation(0), content.flate),
        "6 0 obj\n<</Length " + std::to_string(paint.size()) + ">>\nstream\n" + paint +
            "\nendstream\nendobj\n",
    };
    std::string pdf = "%PDF-1.4\n";
    std::vector<size_t> offsets;
    for (const std::string& object : objects) {
        offsets.push_back(pdf.size());
        pdf += object;
    }
    const size_t xref = pdf.size();
    pdf += "xref\n0 7\n0000000000 65535 f \n";
    for (const size_t offset : offsets) {
        char line[32];
        std::snprintf(line, sizeof line, "%010zu 00000 n \n", offset);
        pdf += line;
    }
    pdf += "trailer\n<</Size 7/Root 1 0 R>>\nstartxref\n" + std::to_string(xref) + "\n%%EOF\n";
    return pdf;
}

// Reads a binary PPM (P6, maxval 255).
bool ReadPpm(const std::string& bytes, int& width, int& height, std::string& pixels) {
    int maxval = 0, consumed = 0;
    if (std::sscanf(bytes.c_str(), "P6 %d %d %d%n", &width, &height, &maxval, &consumed) != 3 ||
        maxval != 255)
        return false;
    pixels = bytes.substr(static_cast<size_t>(consumed) + 1);
    return pixels.size() == static_cast<size_t>(width) * height * 3;
}

// The raster written as objects, rendered by an independent reader, shows the
// drawn pixels where the surface has them: rows top to bottom, R, G, B order.
TEST(AppearanceObjects, RenderedFormShowsTheRaster) {
    if (std::system("command -v pdftoppm >/dev/null 2>&1 && command -v qpdf >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "pdftoppm and qpdf are needed";
    PDF::SurfaceCairo surface(0, 0, 600, 200, 250, 200, 120);
    ASSERT_TRUE(surface.SetFont("DejaVu Sans", 60, PDF::Surface::kStyleBold));
    surface.SetPos(300, 50);
    surface.WriteString(L"Signed");
    const auto raster = AppearanceObjects::CompressRaster(surface);
    ASSERT_EQ(raster.status, AppearanceObjects::Status::Ok);
    std::string expected(680 * 226 * 3, '\0');
    ASSERT_TRUE(surface.GetBuffer(reinterpret_cast<unsigned char*>(&expected[0]), expected.size()));
    const TestSupport::TempDir dir;
    TestSupport::WriteFile(dir.File("a.pdf"), DocumentShowing(raster));
    ASSERT_EQ(std::system(("qpdf --check '" + dir.File("a.pdf") + "' >/dev/null 2>&1").c_str()), 0);
    ASSERT_EQ(
        std::system(
            ("pdftoppm -r 288 -singlefile '" + dir.File("a.pdf") + "' '" + dir.File("page") + "'").c_str()),
        0);
    int width = 0, height = 0;
    std::string rendered;
    ASSERT_TRUE(ReadPpm(TestSupport::ReadFile(dir.File("page.ppm")), width, height, rendered));
    ASSERT_EQ(width, 680);
    ASSERT_EQ(height, 226);
    // Each rendered sample lies within the range of its 3 x 3 neighbourhood in
    // the raster (the reader may shift edges by a pixel), give or take 16.
    auto at = [](const std::string& px, int x, int y, int c) {
        return static_cast<int>(static_cast<unsigned char>(px[(static_cast<size_t>(y) * 680 + x) * 3 + c]));
    };
    int differing = 0, inked = 0;
    for (int y = 0; y < 226; ++y)
        for (int x = 0; x < 680; ++x)
            for (int c = 0; c < 3; ++c) {
                int low = 255, high = 0;
                for (int dy = -1; dy <= 1; ++dy)
                    for (int dx = -1; dx <= 1; ++dx) {
                        const int nx = std::clamp(x + dx, 0, 679), ny = std::clamp(y + dy, 0, 225);
                        low = std::min(low, at(expected, nx, ny, c));
                        high = std::max(high, at(expected, nx, ny, c));
                    }
                const int v = at(rendered, x, y, c);
                if (v < low - 16 || v > high + 16) ++differing;
                if (c == 0 && v < 64) ++inked;
            }
    EXPECT_GT(inked, 300);
    EXPECT_EQ(differing, 0);
    EXPECT_EQ(at(rendered, 5, 5, 0), 250);  // the background, channels in order
    EXPECT_EQ(at(rendered, 5, 5, 1), 200);
    EXPECT_EQ(at(rendered, 5, 5, 2), 120);
}

}  // namespace
