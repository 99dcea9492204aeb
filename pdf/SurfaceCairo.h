#pragma once

#include <cstddef>
#include <memory>
#include <string>

#include "pdf/Surface.h"

struct _cairo;
struct _cairo_surface;

namespace PDF {

// The raster on a Cairo ARGB32 image surface (premultiplied, origin top-left,
// y downward), filled with the background colour. Text is laid out with Pango
// in black; JPEG pictures are decoded with libjpeg.
//
// Font style bits: kStyleBold (0x01) selects the bold weight, kStyleItalic
// (0x02) the italic style; other bits are ignored.
class SurfaceCairo final : public Surface {
public:
    SurfaceCairo(float x, float y, float width, float height, unsigned char r, unsigned char g,
                 unsigned char b);
    ~SurfaceCairo() override;

    bool LoadImage(const char* base64Jpeg) override;
    bool SetFont(const char* faceName, int size, int style) override;
    bool WriteString(const wchar_t* text) override;
    bool WriteImage(int widthPercent, int heightPercent) override;
    bool GetBuffer(unsigned char* out, unsigned int outSize) override;

    const std::string& FontFace() const { return _fontFace; }
    int FontSize() const { return _fontSize; }
    int FontStyle() const { return _fontStyle; }
    bool HasImage() const { return _image != nullptr; }

    // Pictures larger than this on either side are refused.
    static constexpr int kMaxImageSide = 32767;
    // Pictures of more pixels than this are refused (a small file can claim a huge picture).
    static constexpr size_t kMaxImagePixels = size_t{64} * 1024 * 1024;

private:
    struct SurfaceDestroyer {
        void operator()(_cairo_surface* surface) const noexcept;
    };
    struct ContextDestroyer {
        void operator()(_cairo* cr) const noexcept;
    };
    using SurfacePtr = std::unique_ptr<_cairo_surface, SurfaceDestroyer>;
    using ContextPtr = std::unique_ptr<_cairo, ContextDestroyer>;

    // Whether the current face, size and style give a font.
    bool CreateFont() const;

    SurfacePtr _surface;
    ContextPtr _cr;
    std::string _fontFace = "Arial";
    int _fontSize = kDefaultFontSize;
    int _fontStyle = 0;
    SurfacePtr _image;  // the decoded picture, RGB24
};

}  // namespace PDF
