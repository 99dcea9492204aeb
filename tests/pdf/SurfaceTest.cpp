#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <string>

#include "pdf/Surface.h"

namespace {

using PDF::Surface;

// The raster arithmetic alone; drawing is the platform class's.
class PlainSurface final : public Surface {
public:
    PlainSurface(float x, float y, float width, float height) : Surface(x, y, width, height, 0, 0, 0) {}
    bool LoadImage(const char*) override { return false; }
    bool SetFont(const char*, int, int) override { return false; }
    bool WriteString(const wchar_t*) override { return false; }
    bool WriteImage(int, int) override { return false; }
    bool GetBuffer(unsigned char*, unsigned int) override { return false; }
};

TEST(Surface, SizesTheRasterAtFourPixelsPerPointWithAnEvenWidth) {
    const struct {
        float width, height;  // tenths of a millimetre
        float widthPoints, heightPoints;
        int pixelWidth, pixelHeight;
    } cases[] = {
        {600, 200, 170.07875f, 56.692917f, 680, 226},
        {601, 200, 170.36221f, 56.692917f, 682, 226},  // 681 widened to even
        {254, 254, 72.0f, 72.0f, 288, 288},            // one inch: 288 pixels
        {1, 1, 0.28346458f, 0.28346458f, 2, 1},
        {0, 0, 0.0f, 0.0f, 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.width) + " x " + std::to_string(c.height));
        const PlainSurface surface(0, 0, c.width, c.height);
        EXPECT_FLOAT_EQ(surface.Width(), c.widthPoints);
        EXPECT_FLOAT_EQ(surface.Height(), c.heightPoints);
        EXPECT_EQ(surface.PixelWidth(), c.pixelWidth);
        EXPECT_EQ(surface.PixelHeight(), c.pixelHeight);
    }
}

// A raster never exceeds 4000 pixels a side: a larger rectangle gets one of
// its proportions, and the drawing is scaled down by the factors given.
TEST(Surface, LargeRectanglesGetACappedRasterOfTheirProportions) {
    const struct {
        const char* name;
        float width, height;  // tenths of a millimetre
        int pixelWidth, pixelHeight;
    } cases[] = {
        {"one metre square", 10000, 10000, 4000, 4000},
        {"wide", 10000, 2000, 4000, 799},
        {"tall", 2000, 10000, 800, 4000},
        {"long and thin", 100000, 1, 4000, 1},  // a side never shrinks to nothing
        {"the largest uncapped", 3527, 3527, 4000, 3999},
        {"just over", 3600, 100, 4000, 110},
        {"small stays as it is", 600, 200, 680, 226},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const PlainSurface surface(0, 0, c.width, c.height);
        EXPECT_EQ(surface.PixelWidth(), c.pixelWidth);
        EXPECT_EQ(surface.PixelHeight(), c.pixelHeight);
        EXPECT_EQ(surface.PixelWidth() % 2, 0);
        // The factors map the uncapped raster onto the capped one exactly.
        const int fullWidth = Surface::PixelWidthFor(surface.Width());
        const int fullHeight = Surface::PixelHeightFor(surface.Height());
        EXPECT_FLOAT_EQ(surface.RasterScaleX() * static_cast<float>(fullWidth),
                        static_cast<float>(c.pixelWidth));
        EXPECT_FLOAT_EQ(surface.RasterScaleY() * static_cast<float>(fullHeight),
                        static_cast<float>(c.pixelHeight));
        if (fullWidth <= 4000 && fullHeight <= 4000) {
            EXPECT_EQ(surface.RasterScaleX(), 1.0f);
            EXPECT_EQ(surface.RasterScaleY(), 1.0f);
        }
        // The rectangle in points is the one asked for.
        EXPECT_FLOAT_EQ(surface.Width(), Surface::TenthsToPoints(c.width));
    }
}

TEST(Surface, KeepsThePositionWithItsSign) {
    const PlainSurface surface(-1000, -500, 800, 400);
    EXPECT_FLOAT_EQ(surface.X(), -283.46458f);
    EXPECT_FLOAT_EQ(surface.Y(), -141.73229f);
}

TEST(Surface, ConvertsCursorAndFontSizesByTruncation) {
    const struct {
        int tenths;
        int cursorPixels;
        int fontPixels;
    } cases[] = {
        {20, 22, 22},  // the default font size
        {100, 113, 113}, {50, 56, 56}, {1, 1, 1}, {0, 0, 0}, {-100, -113, -113},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.tenths);
        EXPECT_EQ(Surface::TenthsToPixels(c.tenths), c.cursorPixels);
        EXPECT_EQ(Surface::FontPixelSize(c.tenths), c.fontPixels);
        PlainSurface surface(0, 0, 100, 100);
        surface.SetPos(c.tenths, 2 * c.tenths);
        EXPECT_EQ(surface.CursorX(), c.cursorPixels);
        EXPECT_EQ(surface.CursorY(), Surface::TenthsToPixels(2 * c.tenths));
    }
    EXPECT_EQ(Surface::FontPixelSize(Surface::kDefaultFontSize), 22);
}

// Script numbers near the int limits give clamped sizes, not overflow.
TEST(Surface, HugeNumbersAreClamped) {
    const PlainSurface huge(0, 0, 2147483647.0f, -2147483647.0f);
    EXPECT_GT(huge.PixelWidth(), 0);
    EXPECT_EQ(huge.PixelWidth() % 2, 0);
    EXPECT_LT(huge.PixelHeight(), 0);
    EXPECT_GT(Surface::TenthsToPixels(2147483647), 2000000000);
    EXPECT_LT(Surface::TenthsToPixels(-2147483647 - 1), -2000000000);
    EXPECT_GT(Surface::FontPixelSize(2147483647), 0);
}

// Runs the test in UTC so that local times are known.
class ExpandText : public ::testing::Test {
protected:
    void SetUp() override {
        if (const char* tz = std::getenv("TZ")) _savedTz = tz;
        ::setenv("TZ", "UTC", 1);
        ::tzset();
    }
    void TearDown() override {
        if (_savedTz.empty())
            ::unsetenv("TZ");
        else
            ::setenv("TZ", _savedTz.c_str(), 1);
        ::tzset();
    }

private:
    std::string _savedTz;
};

TEST_F(ExpandText, SubstitutesTokens) {
    PDF::SignerTexts signer;
    signer.subject = "CN=Test Signer, O=Pendrel";
    signer.issuer = "CN=Test Root";
    signer.serial = "01 A2 FF";
    signer.notAfter = 1893456000;        // 2030-01-01 00:00:00 UTC
    const std::time_t now = 1796140500;  // 2026-12-01 15:55:00 UTC
    const struct {
        std::wstring in;
        bool withSigner;
        std::wstring out;
    } cases[] = {
        {L"Signed by $Subject", true, L"Signed by CN=Test Signer, O=Pendrel"},
        {L"$Issuer/$Serial", true, L"CN=Test Root/01 A2 FF"},
        {L"valid to $ExpDate", true, L"valid to 01.01.2030"},
        {L"at $Time", true, L"at 15:55, 01.12.2026"},
        {L"at $Time", false, L"at 15:55, 01.12.2026"},
        {L"cost $$5", true, L"cost $5"},
        {L"$Word stays", true, L"Word stays"},
        {L"end$", true, L"end"},
        {L"$Subject|$Issuer|$Serial|$ExpDate", false, L"|||"},
        {L"$SubjectX", true, L"CN=Test Signer, O=PendrelX"},
        {L"$subject", true, L"subject"},  // tokens are case-sensitive
        {L"", true, L""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.in.begin(), c.in.end()));
        EXPECT_EQ(Surface::ExpandText(c.in, c.withSigner ? &signer : nullptr, now), c.out);
    }
}

// Certificate texts are UTF-8 whatever the process locale; the result holds
// UTF-16 code units and is never cut.
TEST_F(ExpandText, ConvertsSignerTextsFromUtf8AtAnyLength) {
    PDF::SignerTexts signer;
    const struct {
        std::string subject;
        std::wstring expected;
    } cases[] = {
        {"\xD0\x98\xD0\xB2\xD0\xB0\xD0\xBD \xD0\x9F\xD0\xB5\xD1\x82\xD1\x80\xD0\xBE\xD0\xB2",
         L"\x0418\x0432\x0430\x043D \x041F\x0435\x0442\x0440\x043E\x0432"},  // Иван Петров
        {"G\xF0\x9D\x84\x9E", std::wstring{L'G', 0xD834, 0xDD1E}},  // beyond U+FFFF: a surrogate pair
        {"bad \xC3", L""},                                          // not UTF-8: nothing
        {std::string(2000, 'x'), std::wstring(2000, L'x')},
    };
    for (const auto& c : cases) {
        signer.subject = c.subject;
        EXPECT_EQ(Surface::ExpandText(L"[$Subject]", &signer, 0), L"[" + c.expected + L"]");
    }
}

TEST_F(ExpandText, TranslateTextUsesTheSignerSet) {
    PlainSurface surface(0, 0, 100, 100);
    std::wstring out;
    surface.TranslateText(L"$Subject$$", out);
    EXPECT_EQ(out, L"$");
    PDF::SignerTexts signer;
    signer.subject = "Alice";
    surface.SetSigner(signer);
    surface.TranslateText(L"$Subject$$", out);
    EXPECT_EQ(out, L"Alice$");
    surface.TranslateText(nullptr, out);
    EXPECT_EQ(out, L"");
}

}  // namespace
