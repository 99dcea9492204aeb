#pragma once

#include <memory>

namespace Crypto {
class Certificate;
}

namespace PDF {
class Surface;
}

// A visible signature as the page script describes it: the page that carries
// it, the drawing cursor, and the raster it draws into. The scriptable visual
// object derives from it.
class VisualRepBase {
public:
    VisualRepBase();
    virtual ~VisualRepBase();
    VisualRepBase(const VisualRepBase&) = delete;
    VisualRepBase& operator=(const VisualRepBase&) = delete;

    // Makes the raster for the rectangle (tenths of a millimetre, see
    // PDF::Surface) with the background colour, and keeps `page` (1-based).
    // The certificate's texts serve the "$Subject"-style substitutions; it may
    // be null. Called once; a second call replaces the raster.
    void Initialize(int page, int x, int y, int width, int height, unsigned char r, unsigned char g,
                    unsigned char b, Crypto::Certificate* certificate);

    PDF::Surface* GetSurface() const { return _surface.get(); }
    int GetPage() const { return _page; }
    int GetPosX() const { return _posX; }
    int GetPosY() const { return _posY; }
    void SetPosX(int x) { _posX = x; }
    void SetPosY(int y) { _posY = y; }

protected:
    std::unique_ptr<PDF::Surface> _surface;
    int _posX = 0;  // tenths of a millimetre from the left edge
    int _posY = 0;  // tenths of a millimetre down from the top edge
    int _page = 0;
};
