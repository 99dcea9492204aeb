#include "pdf/Surface.h"

#include <utf8.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "common/Util.h"

namespace PDF {

namespace {

const float kPointsPerTenth = 0.28346458f;  // 72 / 254
const float kPixelsPerPoint = 4.0f;
const float kPixelsPerTenth = 1.1338583f;  // 4 * 72 / 254

// Truncation toward zero; values beyond the int range (large script numbers)
// are clamped instead of overflowing, and stay even-safe for PixelWidthFor.
int Truncate(float value) {
    const float limit = 2147483520.0f;  // largest float below 2^31, even
    if (!(value == value)) return 0;    // NaN
    if (value >= limit) return static_cast<int>(limit) - 2;
    if (value <= -limit) return -static_cast<int>(limit) + 2;
    return static_cast<int>(value);
}

// UTF-8 certificate text as wide text; text that is not UTF-8 gives nothing.
std::wstring Widen(const std::string& text) {
    try {
        return Util::AtoW(text);
    } catch (const utf8::exception&) {
        return std::wstring();
    }
}

bool TokenAt(const std::wstring& in, size_t pos, const wchar_t* token) {
    return in.compare(pos, std::wcslen(token), token) == 0;
}

std::wstring LocalTime(std::time_t now) {
    std::tm tm{};
    if (localtime_r(&now, &tm) == nullptr) return std::wstring();
    char text[64];
    std::snprintf(text, sizeof text, "%02d:%02d, %02d.%02d.%04d", tm.tm_hour, tm.tm_min, tm.tm_mday,
                  tm.tm_mon + 1, tm.tm_year + 1900);
    return Util::AtoW(text);
}

}  // namespace

Surface::Surface(float x, float y, float width, float height, unsigned char r, unsigned char g,
                 unsigned char b)
    : _x(TenthsToPoints(x)),
      _y(TenthsToPoints(y)),
      _width(TenthsToPoints(width)),
      _height(TenthsToPoints(height)),
      _pixelWidth(PixelWidthFor(_width)),
      _pixelHeight(PixelHeightFor(_height)),
      _r(r),
      _g(g),
      _b(b) {
    CapRaster();
}

// Shrinks a raster larger than kMaxRasterSide on a side, both sides by the
// same factor; a side keeps at least one pixel, the width stays even.
void Surface::CapRaster() {
    if (_pixelWidth <= kMaxRasterSide && _pixelHeight <= kMaxRasterSide) return;
    const int fullWidth = _pixelWidth;
    const int fullHeight = _pixelHeight;
    double scale = 1.0;
    if (fullWidth > kMaxRasterSide) scale = static_cast<double>(kMaxRasterSide) / fullWidth;
    if (fullHeight > kMaxRasterSide)
        scale = std::min(scale, static_cast<double>(kMaxRasterSide) / fullHeight);
    // The small margin keeps the limiting side from truncating to one below the limit.
    const auto shrink = [scale](int side) {
        if (side <= 0) return side;
        return std::max(1, std::min(kMaxRasterSide, static_cast<int>(side * scale + 1e-6)));
    };
    _pixelWidth = shrink(fullWidth);
    _pixelHeight = shrink(fullHeight);
    if (_pixelWidth % 2 != 0) _pixelWidth += _pixelWidth < kMaxRasterSide ? 1 : -1;
    if (fullWidth > 0) _rasterScaleX = static_cast<float>(_pixelWidth) / static_cast<float>(fullWidth);
    if (fullHeight > 0) _rasterScaleY = static_cast<float>(_pixelHeight) / static_cast<float>(fullHeight);
}

float Surface::TenthsToPoints(float tenths) {
    return tenths * kPointsPerTenth;
}

int Surface::PixelWidthFor(float points) {
    int pixels = Truncate(points * kPixelsPerPoint);
    if (pixels % 2 != 0) ++pixels;
    return pixels;
}

int Surface::PixelHeightFor(float points) {
    return Truncate(points * kPixelsPerPoint);
}

int Surface::TenthsToPixels(int tenths) {
    return Truncate(static_cast<float>(tenths) * kPixelsPerTenth);
}

int Surface::FontPixelSize(int tenths) {
    float size = static_cast<float>(tenths) * 72.0f;
    size /= 254.0f;
    size *= 4.0f;
    return Truncate(size);
}

void Surface::SetPos(int x, int y) {
    _cursorX = TenthsToPixels(x);
    _cursorY = TenthsToPixels(y);
}

void Surface::TranslateText(const wchar_t* in, std::wstring& out) const {
    out = ExpandText(in != nullptr ? std::wstring(in) : std::wstring(), _signer ? &*_signer : nullptr,
                     std::time(nullptr));
}

// The result grows as needed: a long subject is never cut or written past a
// fixed buffer. Certificate texts are UTF-8 and are converted as such, not
// through the process locale.
std::wstring Surface::ExpandText(const std::wstring& in, const SignerTexts* signer, std::time_t now) {
    std::wstring out;
    out.reserve(in.size());
    size_t pos = 0;
    while (pos < in.size()) {
        if (in[pos] != L'$') {
            out.push_back(in[pos++]);
            continue;
        }
        if (TokenAt(in, pos, L"$Subject")) {
            if (signer != nullptr) out += Widen(signer->subject);
            pos += 8;
        } else if (TokenAt(in, pos, L"$Issuer")) {
            if (signer != nullptr) out += Widen(signer->issuer);
            pos += 7;
        } else if (TokenAt(in, pos, L"$Serial")) {
            if (signer != nullptr) out += Widen(signer->serial);
            pos += 7;
        } else if (TokenAt(in, pos, L"$ExpDate")) {
            if (signer != nullptr) out += Widen(Util::TimeToDateString(signer->notAfter));
            pos += 8;
        } else if (TokenAt(in, pos, L"$Time")) {
            out += LocalTime(now);
            pos += 5;
        } else if (TokenAt(in, pos, L"$$")) {
            out.push_back(L'$');
            pos += 2;
        } else {
            ++pos;  // a lone "$" is dropped, the word after it kept
        }
    }
    return out;
}

}  // namespace PDF
