#include "pdf/SurfaceCairo.h"

#include <cairo.h>
#include <jpeglib.h>
#include <pango/pangocairo.h>

#include <climits>
#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include "common/Base64Stream.h"
#include "common/Logger.h"

namespace PDF {

namespace {

struct FontDescriptionFree {
    void operator()(PangoFontDescription* desc) const noexcept { pango_font_description_free(desc); }
};
using FontDescriptionPtr = std::unique_ptr<PangoFontDescription, FontDescriptionFree>;

struct GObjectUnref {
    void operator()(void* object) const noexcept { g_object_unref(object); }
};
using LayoutPtr = std::unique_ptr<PangoLayout, GObjectUnref>;
using PangoContextPtr = std::unique_ptr<PangoContext, GObjectUnref>;
using FontPtr = std::unique_ptr<PangoFont, GObjectUnref>;

FontDescriptionPtr Describe(const std::string& face, int size, int style) {
    FontDescriptionPtr desc(pango_font_description_new());
    pango_font_description_set_family(desc.get(), face.c_str());
    pango_font_description_set_absolute_size(desc.get(),
                                             static_cast<double>(Surface::FontPixelSize(size)) * PANGO_SCALE);
    pango_font_description_set_weight(
        desc.get(), (style & Surface::kStyleBold) ? PANGO_WEIGHT_BOLD : PANGO_WEIGHT_NORMAL);
    pango_font_description_set_style(
        desc.get(), (style & Surface::kStyleItalic) ? PANGO_STYLE_ITALIC : PANGO_STYLE_NORMAL);
    return desc;
}

// UTF-16 code units (one per element) to UTF-8; a broken surrogate becomes
// U+FFFD instead of failing the whole text.
std::string ToUtf8(const std::wstring& wide) {
    std::string out;
    auto put = [&out](uint32_t cp) {
        if (cp < 0x80) {
            out.push_back(static_cast<char>(cp));
        } else if (cp < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else if (cp < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        }
    };
    for (size_t i = 0; i < wide.size(); ++i) {
        const uint32_t unit = static_cast<uint32_t>(wide[i]) & 0xFFFF;
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < wide.size()) {
            const uint32_t low = static_cast<uint32_t>(wide[i + 1]) & 0xFFFF;
            if (low >= 0xDC00 && low <= 0xDFFF) {
                put(0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
                ++i;
                continue;
            }
        }
        put(unit >= 0xD800 && unit <= 0xDFFF ? 0xFFFD : unit);
    }
    return out;
}

// The decompressor and its error manager, destroyed on every way out of a
// decode. libjpeg reports fatal errors through error_exit, which must not
// return: it jumps back to the setjmp on Jump() in the decoding function, the
// frame that holds this owner, so no destructor is passed over.
class JpegReader {
public:
    JpegReader() {
        std::memset(&_cinfo, 0, sizeof _cinfo);  // destroying it before Start is harmless
        _cinfo.err = jpeg_std_error(&_err.mgr);
        _err.mgr.error_exit = OnError;
        _err.mgr.output_message = OnMessage;
    }
    ~JpegReader() { jpeg_destroy_decompress(&_cinfo); }
    JpegReader(const JpegReader&) = delete;
    JpegReader& operator=(const JpegReader&) = delete;

    std::jmp_buf& Jump() { return _err.jump; }
    jpeg_decompress_struct& Info() { return _cinfo; }
    // Call after setjmp(Jump()): creating can fail too.
    void Start(const unsigned char* data, unsigned long size) {
        jpeg_create_decompress(&_cinfo);
        jpeg_mem_src(&_cinfo, data, size);
    }

private:
    struct ErrorManager {
        jpeg_error_mgr mgr;  // first member: libjpeg hands back a pointer to it
        std::jmp_buf jump;
    };
    static void OnError(j_common_ptr cinfo) {
        std::longjmp(reinterpret_cast<ErrorManager*>(cinfo->err)->jump, 1);
    }
    static void OnMessage(j_common_ptr) {}  // warnings are not printed

    jpeg_decompress_struct _cinfo;
    ErrorManager _err;
};

// Decodes a JPEG into RGB rows; false for anything libjpeg cannot decode or a
// picture larger than maxSide on a side.
bool DecodeJpeg(const unsigned char* data, unsigned long size, int maxSide, std::vector<unsigned char>& rgb,
                int& width, int& height) {
    JpegReader reader;
    // Only plain C data changes between here and a jump back.
    if (setjmp(reader.Jump()) != 0) return false;
    reader.Start(data, size);
    jpeg_decompress_struct& cinfo = reader.Info();
    if (jpeg_read_header(&cinfo, TRUE) != JPEG_HEADER_OK || cinfo.image_width == 0 ||
        cinfo.image_height == 0 || cinfo.image_width > static_cast<JDIMENSION>(maxSide) ||
        cinfo.image_height > static_cast<JDIMENSION>(maxSide))
        return false;
    cinfo.out_color_space = JCS_RGB;
    jpeg_start_decompress(&cinfo);
    if (cinfo.output_components != 3) return false;
    width = static_cast<int>(cinfo.output_width);
    height = static_cast<int>(cinfo.output_height);
    const size_t rowBytes = static_cast<size_t>(width) * 3;
    if (static_cast<size_t>(width) * static_cast<size_t>(height) > SurfaceCairo::kMaxImagePixels)
        return false;
    rgb.resize(rowBytes * static_cast<size_t>(height));
    while (cinfo.output_scanline < cinfo.output_height) {
        JSAMPROW row = rgb.data() + rowBytes * cinfo.output_scanline;
        jpeg_read_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_decompress(&cinfo);
    return true;
}

}  // namespace

void SurfaceCairo::SurfaceDestroyer::operator()(_cairo_surface* surface) const noexcept {
    cairo_surface_destroy(surface);
}

void SurfaceCairo::ContextDestroyer::operator()(_cairo* cr) const noexcept {
    cairo_destroy(cr);
}

SurfaceCairo::SurfaceCairo(float x, float y, float width, float height, unsigned char r, unsigned char g,
                           unsigned char b)
    : Surface(x, y, width, height, r, g, b) {
    Logger::Get()->SetFunc("SurfaceCairo");
    Logger::Get()->Log("*** Constructor, object %p", static_cast<void*>(this));
    if (_pixelWidth <= 0 || _pixelHeight <= 0) {
        Logger::Get()->SetFunc("SurfaceCairo");
        Logger::Get()->Log("Failed to create bitmap graphic context !");
        return;
    }
    SurfacePtr surface(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, _pixelWidth, _pixelHeight));
    if (cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS) {
        Logger::Get()->SetFunc("SurfaceCairo");
        Logger::Get()->Log("Failed to create bitmap graphic context !");
        return;
    }
    ContextPtr cr(cairo_create(surface.get()));
    if (cairo_status(cr.get()) != CAIRO_STATUS_SUCCESS) {
        Logger::Get()->SetFunc("SurfaceCairo");
        Logger::Get()->Log("Failed to create bitmap graphic context !");
        return;
    }
    cairo_set_source_rgb(cr.get(), _r / 255.0, _g / 255.0, _b / 255.0);
    cairo_set_operator(cr.get(), CAIRO_OPERATOR_SOURCE);
    cairo_paint(cr.get());
    cairo_set_operator(cr.get(), CAIRO_OPERATOR_OVER);
    // A capped raster: everything is drawn in the pixels of the full one.
    if (_rasterScaleX != 1.0f || _rasterScaleY != 1.0f) {
        Logger::Get()->SetFunc("SurfaceCairo");
        Logger::Get()->Log("Raster capped to %d x %d pixels", _pixelWidth, _pixelHeight);
        cairo_scale(cr.get(), _rasterScaleX, _rasterScaleY);
    }
    _surface = std::move(surface);
    _cr = std::move(cr);
}

SurfaceCairo::~SurfaceCairo() {
    Logger::Get()->SetFunc("~SurfaceCairo");
    Logger::Get()->Log("*** Destructor, object %p", static_cast<void*>(this));
}

bool SurfaceCairo::SetFont(const char* faceName, int size, int style) {
    if (faceName == nullptr) return false;
    _fontFace = faceName;
    _fontSize = size;
    _fontStyle = style;
    // Without a raster no text can ever be drawn with it.
    return _cr != nullptr && CreateFont();
}

bool SurfaceCairo::CreateFont() const {
    if (FontPixelSize(_fontSize) <= 0) {
        Logger::Get()->SetFunc("CreateFont");
        Logger::Get()->Log("Failed to create the final font ! ");
        return false;
    }
    PangoFontMap* map = pango_cairo_font_map_get_default();  // owned by Pango
    const PangoContextPtr context(pango_font_map_create_context(map));
    const FontDescriptionPtr desc = Describe(_fontFace, _fontSize, _fontStyle);
    const FontPtr font(context ? pango_font_map_load_font(map, context.get(), desc.get()) : nullptr);
    if (!font) {
        Logger::Get()->SetFunc("CreateFont");
        Logger::Get()->Log("Failed to create the final font ! ");
        return false;
    }
    return true;
}

bool SurfaceCairo::WriteString(const wchar_t* text) {
    if (!_cr) {
        Logger::Get()->SetFunc("WriteString");
        Logger::Get()->Log("Failed to get graphics context !");
        return false;
    }
    std::wstring expanded;
    TranslateText(text, expanded);
    if (!CreateFont()) return false;
    const std::string utf8 = ToUtf8(expanded);
    const LayoutPtr layout(pango_cairo_create_layout(_cr.get()));
    const FontDescriptionPtr desc = Describe(_fontFace, _fontSize, _fontStyle);
    pango_layout_set_font_description(layout.get(), desc.get());
    pango_layout_set_text(layout.get(), utf8.c_str(), static_cast<int>(utf8.size()));
    cairo_save(_cr.get());
    cairo_set_source_rgb(_cr.get(), 0, 0, 0);
    cairo_move_to(_cr.get(), _cursorX, _cursorY);
    pango_cairo_show_layout(_cr.get(), layout.get());
    cairo_restore(_cr.get());
    return true;
}

bool SurfaceCairo::LoadImage(const char* base64Jpeg) {
    if (base64Jpeg == nullptr) return false;
    const size_t length = std::strlen(base64Jpeg);
    if (length <= 10 || std::strncmp(base64Jpeg, "/9j", 3) != 0) return false;
    if (length > static_cast<size_t>(INT_MAX)) {
        Logger::Get()->SetFunc("LoadImage");
        Logger::Get()->Log("Failed to decode the JPEG data !");
        return false;
    }
    std::vector<unsigned char> jpeg;
    Util::Base64Decoder().Decode(base64Jpeg, length, jpeg);
    std::vector<unsigned char> rgb;
    int width = 0;
    int height = 0;
    if (jpeg.empty() || !DecodeJpeg(jpeg.data(), jpeg.size(), kMaxImageSide, rgb, width, height)) {
        Logger::Get()->SetFunc("LoadImage");
        Logger::Get()->Log("Failed to decode the JPEG data !");
        return false;
    }
    SurfacePtr image(cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height));
    if (cairo_surface_status(image.get()) != CAIRO_STATUS_SUCCESS) {
        Logger::Get()->SetFunc("LoadImage");
        Logger::Get()->Log("Failed to create data provider for image !");
        return false;
    }
    cairo_surface_flush(image.get());
    unsigned char* data = cairo_image_surface_get_data(image.get());
    const int stride = cairo_image_surface_get_stride(image.get());
    for (int y = 0; y < height; ++y) {
        uint32_t* row = reinterpret_cast<uint32_t*>(data + static_cast<size_t>(y) * stride);
        const unsigned char* src = rgb.data() + static_cast<size_t>(y) * width * 3;
        for (int x = 0; x < width; ++x, src += 3)
            row[x] = 0xFF000000u | (uint32_t{src[0]} << 16) | (uint32_t{src[1]} << 8) | src[2];
    }
    cairo_surface_mark_dirty(image.get());
    _image = std::move(image);
    return true;
}

bool SurfaceCairo::WriteImage(int widthPercent, int heightPercent) {
    if (!_image || !_cr) {
        Logger::Get()->SetFunc("WriteImage");
        Logger::Get()->Log("Failed ! image is %p and ctx is %p", static_cast<void*>(_image.get()),
                           static_cast<void*>(_cr.get()));
        return false;
    }
    const int imageWidth = cairo_image_surface_get_width(_image.get());
    const int imageHeight = cairo_image_surface_get_height(_image.get());
    const float drawnWidth = static_cast<float>(imageWidth) * static_cast<float>(widthPercent) / 100.0f;
    const float drawnHeight = static_cast<float>(imageHeight) * static_cast<float>(heightPercent) / 100.0f;
    if (!(drawnWidth > 0.0f) || !(drawnHeight > 0.0f)) {
        // A zero scale would leave the context unusable; a negative one is no picture.
        Logger::Get()->SetFunc("WriteImage");
        Logger::Get()->Log("Picture scaled to %d%% x %d%% has no area, not drawn", widthPercent,
                           heightPercent);
        return false;
    }
    cairo_t* cr = _cr.get();
    cairo_save(cr);
    cairo_translate(cr, _cursorX, _cursorY);
    cairo_scale(cr, drawnWidth / imageWidth, drawnHeight / imageHeight);
    cairo_set_source_surface(cr, _image.get(), 0, 0);
    // Pad the picture's edges so that scaling does not blend them with the background.
    cairo_pattern_set_extend(cairo_get_source(cr), CAIRO_EXTEND_PAD);
    cairo_rectangle(cr, 0, 0, imageWidth, imageHeight);
    cairo_fill(cr);
    cairo_restore(cr);
    return true;
}

bool SurfaceCairo::GetBuffer(unsigned char* out, unsigned int outSize) {
    const uint64_t needed = static_cast<uint64_t>(_pixelWidth > 0 ? _pixelWidth : 0) *
                            static_cast<uint64_t>(_pixelHeight > 0 ? _pixelHeight : 0) * 3;
    if (!_surface || out == nullptr || outSize < needed) return false;
    cairo_surface_flush(_surface.get());
    const unsigned char* data = cairo_image_surface_get_data(_surface.get());
    const int stride = cairo_image_surface_get_stride(_surface.get());
    for (int y = 0; y < _pixelHeight; ++y) {
        // Cairo keeps each pixel as one native-endian 32-bit word, alpha in the
        // top byte, colours premultiplied by alpha.
        const uint32_t* row = reinterpret_cast<const uint32_t*>(data + static_cast<size_t>(y) * stride);
        for (int x = 0; x < _pixelWidth; ++x) {
            const uint32_t pixel = row[x];
            const uint32_t alpha = pixel >> 24;
            uint32_t rgb[3] = {(pixel >> 16) & 0xFF, (pixel >> 8) & 0xFF, pixel & 0xFF};
            if (alpha != 0xFF) {
                for (uint32_t& c : rgb) c = alpha == 0 ? 0 : (c * 255 + alpha / 2) / alpha;
            }
            *out++ = static_cast<unsigned char>(rgb[0]);
            *out++ = static_cast<unsigned char>(rgb[1]);
            *out++ = static_cast<unsigned char>(rgb[2]);
        }
    }
    return true;
}

}  // namespace PDF
