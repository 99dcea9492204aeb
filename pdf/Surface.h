#pragma once

#include <ctime>
#include <optional>
#include <string>

namespace PDF {

// The signer's texts that "$Subject", "$Issuer", "$Serial" and "$ExpDate"
// stand for in drawn text. Texts are UTF-8.
struct SignerTexts {
    std::string subject;
    std::string issuer;
    std::string serial;         // hex byte pairs separated by spaces
    std::time_t notAfter = -1;  // end of validity; -1 when unknown
};

// A raster of fixed size with a background colour that the page script draws
// text and JPEG pictures into; its pixels become the visible signature.
//
// Geometry comes in tenths of a millimetre. The rectangle is kept in PDF
// points with its sign (a negative x counts from the right page edge, a
// negative y from the top edge; y is the top edge of the rectangle). The
// raster has four pixels per point, its width always even, and no more than
// kMaxRasterSide pixels a side: a larger rectangle gets a raster of the same
// proportions and the drawing is scaled down onto it (RasterScaleX/Y), so
// that the appearance still fills the rectangle. Cursor and font sizes stay
// in the pixels of the uncapped raster.
class Surface {
public:
    // x, y, width, height in tenths of a millimetre; the background colour.
    Surface(float x, float y, float width, float height, unsigned char r, unsigned char g, unsigned char b);
    virtual ~Surface() = default;
    Surface(const Surface&) = delete;
    Surface& operator=(const Surface&) = delete;

    // Keeps a Base64 JPEG picture for WriteImage; false when the text is not
    // a JPEG ("/9j..." and longer than 10 characters) or cannot be decoded.
    virtual bool LoadImage(const char* base64Jpeg) = 0;
    // Face name, size in tenths of a millimetre, style bits (kStyleBold,
    // kStyleItalic). False for a null face or when no font results; the
    // values are kept for later text either way (except for a null face).
    virtual bool SetFont(const char* faceName, int size, int style) = 0;
    // Draws text (one UTF-16 code unit per element) with its top-left corner
    // at the cursor, after the "$" substitutions of TranslateText. False when
    // nothing could be drawn (no raster, no font).
    virtual bool WriteString(const wchar_t* text) = 0;
    // Draws the loaded picture, its top-left corner at the cursor, scaled to
    // the given percentages of its pixel size. False when nothing could be
    // drawn (no raster, no picture, a scale without area).
    virtual bool WriteImage(int widthPercent, int heightPercent) = 0;
    // Writes R, G, B per pixel, rows top to bottom, into out. False when
    // outSize is below PixelWidth() * PixelHeight() * 3 or there are no pixels.
    virtual bool GetBuffer(unsigned char* out, unsigned int outSize) = 0;

    // Cursor in tenths of a millimetre from the top-left corner.
    void SetPos(int x, int y);
    // Expands "$Subject", "$Issuer", "$Serial", "$ExpDate", "$Time" and "$$"
    // at the current local time.
    void TranslateText(const wchar_t* in, std::wstring& out) const;

    // The substitution itself, at a given time; signer may be null, then the
    // four certificate tokens expand to nothing.
    static std::wstring ExpandText(const std::wstring& in, const SignerTexts* signer, std::time_t now);

    void SetSigner(const SignerTexts& signer) { _signer = signer; }
    void ClearSigner() { _signer.reset(); }

    // Rectangle in PDF points.
    float X() const { return _x; }
    float Y() const { return _y; }
    float Width() const { return _width; }
    float Height() const { return _height; }
    // The raster, capped.
    int PixelWidth() const { return _pixelWidth; }
    int PixelHeight() const { return _pixelHeight; }
    // Raster pixels per pixel of the uncapped raster: 1 unless capped.
    float RasterScaleX() const { return _rasterScaleX; }
    float RasterScaleY() const { return _rasterScaleY; }
    int CursorX() const { return _cursorX; }
    int CursorY() const { return _cursorY; }

    // Conversions, all in single precision, truncating toward zero.
    static float TenthsToPoints(float tenths);
    // Raster width for a width in points: four pixels per point, made even.
    static int PixelWidthFor(float points);
    static int PixelHeightFor(float points);
    static int TenthsToPixels(int tenths);
    // Pixel size of a font given in tenths of a millimetre.
    static int FontPixelSize(int tenths);

    static constexpr int kStyleBold = 0x01;
    static constexpr int kStyleItalic = 0x02;
    static constexpr int kDefaultFontSize = 20;  // tenths of a millimetre
    // A raster of 4000 x 4000 pixels takes 64 MB while drawn.
    static constexpr int kMaxRasterSide = 4000;

protected:
    float _x;
    float _y;
    float _width;
    float _height;
    int _pixelWidth;
    int _pixelHeight;
    float _rasterScaleX = 1.0f;
    float _rasterScaleY = 1.0f;
    unsigned char _r;
    unsigned char _g;
    unsigned char _b;
    int _cursorX = 0;
    int _cursorY = 0;
    std::optional<SignerTexts> _signer;

private:
    void CapRaster();
};

}  // namespace PDF
