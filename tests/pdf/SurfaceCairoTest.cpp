#include <gtest/gtest.h>
#include <jpeglib.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "pdf/SurfaceCairo.h"

extern "C" {  // the libb64 C header has no C++ guard
#include <b64/cencode.h>
}

namespace {

using PDF::SurfaceCairo;

struct Rgb {
    int r, g, b;
};

// The raster as GetBuffer hands it out.
class Pixels {
public:
    explicit Pixels(SurfaceCairo& surface)
        : _width(surface.PixelWidth()),
          _height(surface.PixelHeight()),
          _data(static_cast<size_t>(_width) * _height * 3) {
        _ok = surface.GetBuffer(_data.data(), static_cast<unsigned int>(_data.size()));
    }
    bool Ok() const { return _ok; }
    Rgb At(int x, int y) const {
        const unsigned char* p = &_data[(static_cast<size_t>(y) * _width + x) * 3];
        return {p[0], p[1], p[2]};
    }
    // Pixels for which `differs` holds, and their bounding box.
    int Count(const std::function<bool(Rgb)>& differs, int* left = nullptr, int* top = nullptr,
              int* right = nullptr, int* bottom = nullptr) const {
        int count = 0;
        int l = _width, t = _height, r = -1, b = -1;
        for (int y = 0; y < _height; ++y)
            for (int x = 0; x < _width; ++x)
                if (differs(At(x, y))) {
                    ++count;
                    l = std::min(l, x), t = std::min(t, y), r = std::max(r, x), b = std::max(b, y);
                }
        if (left) *left = l, *top = t, *right = r, *bottom = b;
        return count;
    }

private:
    int _width, _height;
    std::vector<unsigned char> _data;
    bool _ok = false;
};

bool Near(Rgb a, Rgb b, int tolerance) {
    return std::abs(a.r - b.r) <= tolerance && std::abs(a.g - b.g) <= tolerance &&
           std::abs(a.b - b.b) <= tolerance;
}

// A JPEG made by libjpeg from a colour function, as Base64 text: RGB, grey
// (the red part) or CMYK (red, green, blue as C, M, Y; no K).
std::string MakeJpeg(int width, int height, const std::function<Rgb(int, int)>& colour,
                     J_COLOR_SPACE space = JCS_RGB) {
    const int components = space == JCS_GRAYSCALE ? 1 : space == JCS_CMYK ? 4 : 3;
    jpeg_compress_struct cinfo;
    jpeg_error_mgr err;
    cinfo.err = jpeg_std_error(&err);
    jpeg_create_compress(&cinfo);
    unsigned char* out = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &out, &size);
    cinfo.image_width = width;
    cinfo.image_height = height;
    cinfo.input_components = components;
    cinfo.in_color_space = space;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, 95, TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    std::vector<unsigned char> row(static_cast<size_t>(width) * components);
    while (cinfo.next_scanline < cinfo.image_height) {
        for (int x = 0; x < width; ++x) {
            const Rgb c = colour(x, static_cast<int>(cinfo.next_scanline));
            const int parts[4] = {c.r, c.g, c.b, 0};
            for (int i = 0; i < components; ++i)
                row[static_cast<size_t>(x * components + i)] = static_cast<unsigned char>(parts[i]);
        }
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&cinfo, rows, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    const std::string bytes(reinterpret_cast<char*>(out), size);
    std::free(out);

    std::vector<char> text(bytes.size() * 2 + 16);
    base64_encodestate state;
    base64_init_encodestate(&state);
    int n = base64_encode_block(bytes.data(), static_cast<int>(bytes.size()), text.data(), &state);
    n += base64_encode_blockend(text.data() + n, &state);
    return std::string(text.data(), n);
}

const Rgb kWhite{255, 255, 255};
const Rgb kRed{255, 0, 0}, kGreen{0, 255, 0}, kBlue{0, 0, 255}, kYellow{255, 255, 0};

Rgb Quadrants(int x, int y, int size) {
    const bool right = x >= size / 2, bottom = y >= size / 2;
    return bottom ? (right ? kYellow : kBlue) : (right ? kGreen : kRed);
}

TEST(SurfaceCairo, NothingDrawnGivesThePlainBackground) {
    const struct {
        float width, height;
        Rgb colour;
        int pixelWidth, pixelHeight;
    } cases[] = {
        {600, 200, {10, 200, 30}, 680, 226},
        {601, 200, {255, 255, 255}, 682, 226},
        {10, 10, {0, 0, 0}, 12, 11},
        {50, 30, {1, 128, 254}, 56, 34},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.width) + " x " + std::to_string(c.height));
        SurfaceCairo surface(100, 100, c.width, c.height, c.colour.r, c.colour.g, c.colour.b);
        ASSERT_EQ(surface.PixelWidth(), c.pixelWidth);
        ASSERT_EQ(surface.PixelHeight(), c.pixelHeight);
        const Pixels pixels(surface);
        ASSERT_TRUE(pixels.Ok());
        EXPECT_EQ(pixels.Count([&](Rgb p) { return !Near(p, c.colour, 0); }), 0);
    }
}

TEST(SurfaceCairo, GetBufferNeedsThreeBytesPerPixel) {
    SurfaceCairo surface(0, 0, 600, 200, 1, 2, 3);
    const unsigned int exact = 680 * 226 * 3;
    std::vector<unsigned char> buffer(exact + 7, 0xAA);
    EXPECT_TRUE(surface.GetBuffer(buffer.data(), exact));
    EXPECT_EQ(buffer[0], 1);
    EXPECT_EQ(buffer[exact - 1], 3);
    EXPECT_EQ(buffer[exact], 0xAA);  // nothing written beyond the raster
    EXPECT_TRUE(surface.GetBuffer(buffer.data(), exact + 7));
    EXPECT_FALSE(surface.GetBuffer(buffer.data(), exact - 1));
    EXPECT_FALSE(surface.GetBuffer(buffer.data(), 0));
    EXPECT_FALSE(surface.GetBuffer(nullptr, exact));
}

// Without a raster nothing can be drawn, and every drawing call says so.
TEST(SurfaceCairo, ARasterWithoutPixelsGivesNoBufferAndDrawsNothing) {
    const std::string jpeg = MakeJpeg(16, 16, [](int, int) { return kRed; });
    for (const float size : {0.0f, -100.0f}) {
        SurfaceCairo surface(0, 0, size, 100, 0, 0, 0);
        unsigned char buffer[16];
        EXPECT_FALSE(surface.GetBuffer(buffer, sizeof buffer));
        EXPECT_FALSE(surface.SetFont("DejaVu Sans", 40, 0));
        EXPECT_EQ(surface.FontSize(), 40);  // kept for later text all the same
        EXPECT_FALSE(surface.WriteString(L"text"));
        EXPECT_TRUE(surface.LoadImage(jpeg.c_str()));
        EXPECT_FALSE(surface.WriteImage(100, 100));
    }
    SurfaceCairo surface(0, 0, 600, 200, 255, 255, 255);
    EXPECT_FALSE(surface.WriteImage(100, 100)) << "no picture loaded";
    EXPECT_TRUE(surface.WriteString(L"text"));
    ASSERT_TRUE(surface.LoadImage(jpeg.c_str()));
    EXPECT_TRUE(surface.WriteImage(100, 100));
    EXPECT_FALSE(surface.WriteImage(0, 100)) << "scaled to nothing";
}

// A rectangle too large for a full raster gets a capped one, and what is
// drawn shrinks with it: the appearance still fills the rectangle.
TEST(SurfaceCairo, ACappedRasterShowsTheDrawingScaledDown) {
    SurfaceCairo surface(0, 0, 10000, 2000, 255, 255, 255);  // 11338 x 2267 pixels uncapped
    ASSERT_EQ(surface.PixelWidth(), 4000);
    ASSERT_EQ(surface.PixelHeight(), 799);
    const int fullWidth = PDF::Surface::PixelWidthFor(surface.Width());
    const int fullHeight = PDF::Surface::PixelHeightFor(surface.Height());

    // A picture stretched over the whole uncapped raster covers the whole capped one.
    const std::string jpeg = MakeJpeg(64, 64, [](int x, int y) { return Quadrants(x, y, 64); });
    ASSERT_TRUE(surface.LoadImage(jpeg.c_str()));
    surface.SetPos(0, 0);
    ASSERT_TRUE(surface.WriteImage(fullWidth * 100 / 64 + 1, fullHeight * 100 / 64 + 1));
    {
        const Pixels pixels(surface);
        ASSERT_TRUE(pixels.Ok());
        EXPECT_TRUE(Near(pixels.At(5, 5), kRed, 40));
        EXPECT_TRUE(Near(pixels.At(3994, 5), kGreen, 40));
        EXPECT_TRUE(Near(pixels.At(5, 793), kBlue, 40));
        EXPECT_TRUE(Near(pixels.At(3994, 793), kYellow, 40));
        EXPECT_TRUE(Near(pixels.At(1800, 300), kRed, 40));  // the quadrants meet in the middle
        EXPECT_TRUE(Near(pixels.At(2200, 500), kYellow, 40));
    }

    // Text at a cursor in the lower right half lands there, at the reduced size.
    SurfaceCairo text(0, 0, 10000, 2000, 255, 255, 255);
    ASSERT_TRUE(text.SetFont("DejaVu Sans", 400, 0));  // 453 pixels uncapped
    text.SetPos(5000, 1000);
    ASSERT_TRUE(text.WriteString(L"HH"));
    const Pixels pixels(text);
    int left, top, right, bottom;
    ASSERT_GT(pixels.Count([](Rgb p) { return p.r < 128; }, &left, &top, &right, &bottom), 0);
    const float scale = 4000.0f / static_cast<float>(fullWidth);
    EXPECT_GE(left, static_cast<int>(text.CursorX() * scale));
    EXPECT_LE(left, static_cast<int>(text.CursorX() * scale) + 40);
    EXPECT_GE(top, static_cast<int>(text.CursorY() * scale));
    EXPECT_LE(top, static_cast<int>(text.CursorY() * scale) + 80);
    const int fontPixels = static_cast<int>(PDF::Surface::FontPixelSize(400) * scale);
    EXPECT_GE(bottom - top + 1, fontPixels / 2);
    EXPECT_LE(bottom - top + 1, fontPixels);
}

TEST(SurfaceCairo, TextIsBlackWithItsTopLeftAtTheCursor) {
    const struct {
        const char* face;
        int size;  // tenths of a millimetre
        int posX, posY;
    } cases[] = {
        {"DejaVu Sans", 20, 100, 50},
        {"Arial", 50, 0, 0},
        {"DejaVu Sans", 80, 300, 20},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.face) + " " + std::to_string(c.size));
        SurfaceCairo surface(0, 0, 600, 200, 255, 255, 255);
        ASSERT_TRUE(surface.SetFont(c.face, c.size, 0));
        surface.SetPos(c.posX, c.posY);
        surface.WriteString(L"HHHH");
        const Pixels pixels(surface);
        ASSERT_TRUE(pixels.Ok());
        int left, top, right, bottom;
        const int inked =
            pixels.Count([](Rgb p) { return !Near(p, kWhite, 0); }, &left, &top, &right, &bottom);
        ASSERT_GT(inked, 0);
        const int cursorX = surface.CursorX(), cursorY = surface.CursorY();
        const int fontPixels = PDF::Surface::FontPixelSize(c.size);
        EXPECT_GE(left, cursorX);
        EXPECT_GE(top, cursorY);
        EXPECT_LE(left, cursorX + fontPixels / 2);  // the ink starts near the cursor
        EXPECT_LE(top, cursorY + fontPixels / 2);
        EXPECT_GE(bottom - top + 1, fontPixels / 2);  // capital H of about the pixel size
        EXPECT_LE(bottom - top + 1, fontPixels);
        EXPECT_GE(right - left + 1, 2 * fontPixels);  // four letters wide
        // Antialiased black: every inked pixel is a grey, and the stems are black.
        EXPECT_EQ(pixels.Count([](Rgb p) { return p.r != p.g || p.g != p.b; }), 0);
        EXPECT_GT(pixels.Count([](Rgb p) { return Near(p, {0, 0, 0}, 0); }), 0);
    }
}

TEST(SurfaceCairo, StyleBitsSelectBoldAndItalic) {
    auto draw = [](int style) {
        SurfaceCairo surface(0, 0, 600, 200, 255, 255, 255);
        EXPECT_TRUE(surface.SetFont("DejaVu Sans", 60, style));
        surface.SetPos(20, 20);
        surface.WriteString(L"IIIIIIII");
        const Pixels pixels(surface);
        int left, top, right, bottom;
        const int black = pixels.Count([](Rgb p) { return p.r < 128; }, &left, &top, &right, &bottom);
        return std::make_pair(black, right - left);
    };
    const auto regular = draw(0);
    const auto bold = draw(PDF::Surface::kStyleBold);
    const auto italic = draw(PDF::Surface::kStyleItalic);
    const auto ignored = draw(0x10);
    EXPECT_GT(bold.first, regular.first * 5 / 4);  // heavier stems
    EXPECT_NE(italic, regular);                    // slanted stems
    EXPECT_EQ(ignored, regular);
}

TEST(SurfaceCairo, SetFontKeepsValuesAndReportsWhetherAFontResults) {
    SurfaceCairo surface(0, 0, 600, 200, 255, 255, 255);
    EXPECT_EQ(surface.FontFace(), "Arial");
    EXPECT_EQ(surface.FontSize(), 20);
    EXPECT_FALSE(surface.SetFont(nullptr, 30, 1));
    EXPECT_EQ(surface.FontSize(), 20);  // unchanged
    EXPECT_FALSE(surface.SetFont("DejaVu Sans", 0, 0));
    EXPECT_EQ(surface.FontSize(), 0);  // kept although no font results
    surface.WriteString(L"nothing");   // no font: nothing drawn
    const Pixels pixels(surface);
    EXPECT_EQ(pixels.Count([](Rgb p) { return !Near(p, kWhite, 0); }), 0);
    EXPECT_TRUE(surface.SetFont("No Such Face At All", 20, 0));  // falls back to a default face
}

TEST(SurfaceCairo, JpegIsPaintedScaledAndUprightAtTheCursor) {
    const std::string jpeg = MakeJpeg(64, 64, [](int x, int y) { return Quadrants(x, y, 64); });
    ASSERT_EQ(jpeg.compare(0, 3, "/9j"), 0);
    const struct {
        int widthPercent, heightPercent;
        int posX, posY;
        int drawnWidth, drawnHeight;
    } cases[] = {
        {100, 100, 0, 0, 64, 64},
        {100, 100, 100, 50, 64, 64},
        {200, 50, 200, 30, 128, 32},
        {150, 150, 10, 10, 96, 96},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.widthPercent) + "% x " + std::to_string(c.heightPercent) + "%");
        SurfaceCairo surface(0, 0, 600, 200, 255, 255, 255);
        ASSERT_TRUE(surface.LoadImage(jpeg.c_str()));
        surface.SetPos(c.posX, c.posY);
        surface.WriteImage(c.widthPercent, c.heightPercent);
        const Pixels pixels(surface);
        const int x0 = surface.CursorX(), y0 = surface.CursorY();
        int left, top, right, bottom;
        pixels.Count([](Rgb p) { return !Near(p, kWhite, 0); }, &left, &top, &right, &bottom);
        EXPECT_EQ(left, x0);
        EXPECT_EQ(top, y0);
        EXPECT_EQ(right, x0 + c.drawnWidth - 1);
        EXPECT_EQ(bottom, y0 + c.drawnHeight - 1);
        const int qx = c.drawnWidth / 4, qy = c.drawnHeight / 4;
        EXPECT_TRUE(Near(pixels.At(x0 + qx, y0 + qy), kRed, 24));  // top-left stays top-left
        EXPECT_TRUE(Near(pixels.At(x0 + 3 * qx, y0 + qy), kGreen, 24));
        EXPECT_TRUE(Near(pixels.At(x0 + qx, y0 + 3 * qy), kBlue, 24));
        EXPECT_TRUE(Near(pixels.At(x0 + 3 * qx, y0 + 3 * qy), kYellow, 24));
    }
}

TEST(SurfaceCairo, APictureCanBeDrawnSeveralTimesAndGreyJpegsLoad) {
    SurfaceCairo surface(0, 0, 600, 200, 255, 255, 255);
    ASSERT_TRUE(surface.LoadImage(MakeJpeg(
                                      16, 16,
                                      [](int, int) {
                                          return Rgb{40, 40, 40};
                                      },
                                      JCS_GRAYSCALE)
                                      .c_str()));
    surface.SetPos(0, 0);
    surface.WriteImage(100, 100);
    surface.SetPos(200, 0);
    surface.WriteImage(100, 100);
    const Pixels pixels(surface);
    EXPECT_TRUE(Near(pixels.At(8, 8), {40, 40, 40}, 8));
    EXPECT_TRUE(Near(pixels.At(surface.CursorX() + 8, 8), {40, 40, 40}, 8));
    EXPECT_EQ(pixels.Count([](Rgb p) { return !Near(p, kWhite, 0); }), 2 * 16 * 16);
}

TEST(SurfaceCairo, LoadImageRefusesWhatIsNoJpeg) {
    const std::string jpeg = MakeJpeg(8, 8, [](int, int) { return kRed; });
    const std::string png =
        "iVBORw0KGgoAAAANSUhEUgAAAAEAAAABCAYAAAAfFcSJAAAADUlEQVR42mP8z8BQDwAEhQGAhKmMIQAAAABJRU5ErkJggg==";
    const char* refused[] = {
        nullptr,
        "",
        "/9j/4AAQSk",                                // ten characters
        png.c_str(),                                 // a PNG
        "Hello, this is plain text, not a picture",  // does not start "/9j"
        "/9j/AAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAA",    // starts like a JPEG, is none
        "/9j/////////////",
    };
    for (const char* text : refused) {
        SCOPED_TRACE(text ? text : "(null)");
        SurfaceCairo surface(0, 0, 100, 100, 255, 255, 255);
        EXPECT_FALSE(surface.LoadImage(text));
        EXPECT_FALSE(surface.HasImage());
        surface.WriteImage(100, 100);  // no picture: nothing drawn
        const Pixels pixels(surface);
        EXPECT_EQ(pixels.Count([](Rgb p) { return !Near(p, kWhite, 0); }), 0);
    }
    // A refused text leaves the picture loaded before.
    SurfaceCairo surface(0, 0, 100, 100, 255, 255, 255);
    ASSERT_TRUE(surface.LoadImage(jpeg.c_str()));
    EXPECT_FALSE(surface.LoadImage(png.c_str()));
    EXPECT_TRUE(surface.HasImage());
}

// Each way a decode stops early gives the decoder back (the valgrind run of
// these tests sees a leak) and leaves no picture.
TEST(SurfaceCairo, LoadImageRefusesJpegsTheDecoderStopsOn) {
    // Cut inside its first segment: no picture follows the start marker.
    const std::string cut = MakeJpeg(16, 16, [](int, int) { return kRed; }).substr(0, 16);
    const struct {
        const char* what;
        std::string text;
    } cases[] = {
        {"no colour conversion to RGB (fails starting)", MakeJpeg(
                                                             8, 8, [](int, int) { return kRed; }, JCS_CMYK)},
        {"wider than the largest side (refused after the header)",
         MakeJpeg(
             SurfaceCairo::kMaxImageSide + 1, 8, [](int, int) { return kRed; }, JCS_GRAYSCALE)},
        {"cut short (fails reading the header)", cut},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        SurfaceCairo surface(0, 0, 100, 100, 255, 255, 255);
        EXPECT_FALSE(surface.LoadImage(c.text.c_str()));
        EXPECT_FALSE(surface.HasImage());
    }
}

TEST(SurfaceCairo, APictureScaledToNothingDrawsNothingAndLeavesTheRasterUsable) {
    SurfaceCairo surface(0, 0, 300, 100, 255, 255, 255);
    ASSERT_TRUE(surface.LoadImage(MakeJpeg(8, 8, [](int, int) { return kBlue; }).c_str()));
    surface.WriteImage(0, 100);
    surface.WriteImage(100, -50);
    {
        const Pixels pixels(surface);
        EXPECT_EQ(pixels.Count([](Rgb p) { return !Near(p, kWhite, 0); }), 0);
    }
    surface.WriteImage(100, 100);
    const Pixels pixels(surface);
    EXPECT_EQ(pixels.Count([](Rgb p) { return !Near(p, kWhite, 0); }), 64);
}

}  // namespace
