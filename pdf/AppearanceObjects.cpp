#include "pdf/AppearanceObjects.h"

#include <climits>
#include <cstdio>

#include "pdf/FlateEncoder.h"
#include "pdf/Surface.h"

namespace PDF {

namespace {

// Only integers and fixed text are formatted here: no locale dependence.
template <typename... Args>
std::string Format(const char* format, Args... args) {
    const int length = std::snprintf(nullptr, 0, format, args...);
    std::string out(static_cast<size_t>(length > 0 ? length : 0) + 1, '\0');
    std::snprintf(&out[0], out.size(), format, args...);
    out.pop_back();
    return out;
}

AppearanceObjects::Stream Compress(const unsigned char* data, size_t size, size_t capacity) {
    AppearanceObjects::Stream stream;
    FlateEncoder::Result result = FlateEncoder::Encode(data, size, capacity);
    switch (result.status) {
        case FlateEncoder::Status::Ok:
            stream.status = AppearanceObjects::Status::Ok;
            stream.flate = std::move(result.data);
            break;
        case FlateEncoder::Status::TooLarge:
            stream.status = AppearanceObjects::Status::EncodingFailed;
            stream.message = "Encoding failed";
            break;
        case FlateEncoder::Status::Failed:
            stream.status = AppearanceObjects::Status::LibraryError;
            stream.message = result.message;
            break;
    }
    return stream;
}

std::string WithStream(std::string head, const std::vector<unsigned char>& flate) {
    head.append(flate.begin(), flate.end());
    head += "\nendstream\nendobj\n";
    return head;
}

}  // namespace

AppearanceObjects::Stream AppearanceObjects::CompressRaster(Surface& surface) {
    const int width = surface.PixelWidth();
    const int height = surface.PixelHeight();
    const unsigned long long size = width > 0 && height > 0 ? 3ULL * width * height : 0;
    Stream stream;
    stream.width = width;
    stream.height = height;
    std::vector<unsigned char> pixels;
    if (size > UINT_MAX) {
        stream.status = Status::NoPixels;
    } else {
        pixels.resize(static_cast<size_t>(size));
        if (!surface.GetBuffer(pixels.data(), static_cast<unsigned int>(size)))
            stream.status = Status::NoPixels;
    }
    if (stream.status == Status::NoPixels) {
        stream.message = "Could not retrieve watermark image";
        return stream;
    }
    Stream packed = Compress(pixels.data(), pixels.size(), pixels.size());
    packed.width = width;
    packed.height = height;
    return packed;
}

AppearanceObjects::Stream AppearanceObjects::CompressContent(const std::string& content) {
    return Compress(reinterpret_cast<const unsigned char*>(content.data()), content.size(),
                    FlateEncoder::ContentCapacity(content.size()));
}

std::string AppearanceObjects::MatrixForRotation(int degrees) {
    switch (degrees) {
        case 0:
            return "1 0 0 1 0 0";
        case 180:
            return "-1 0 0 -1 0 0";
        case 270:
            // The opposite quarter turn of 90's.
            return "0 -1 1 0 0 0";
        default:
            return "0 1 -1 0 1 0";
    }
}

std::string AppearanceObjects::ImageContent(int width, int height) {
    return Format("%d 0 0 %d 0 0 cm /imgWatermark Do ", width, height);
}

std::string AppearanceObjects::ImageObject(int num, int width, int height,
                                           const std::vector<unsigned char>& flate) {
    return WithStream(
        Format("%d %d obj\n<</Type/XObject/ColorSpace/DeviceRGB/Subtype/Image/BitsPerComponent 8"
               "/Width %d/Height %d/Filter/FlateDecode/Length %d>>\nstream\n",
               num, 0, width, height, static_cast<int>(flate.size())),
        flate);
}

std::string AppearanceObjects::FormObject(int num, int imageNum, int width, int height,
                                          const std::string& matrix,
                                          const std::vector<unsigned char>& flate) {
    return WithStream(Format("%d %d obj\n<</Type/XObject/Resources<</XObject<</imgWatermark %d 0 R>>"
                             "/ProcSet[/PDF/Text/ImageB/ImageC/ImageI]>>/Subtype/Form/BBox[0 0 %d %d]"
                             "/Matrix[%s]/Length %d/FormType 1/Filter/FlateDecode>>stream\n",
                             num, 0, imageNum, width, height, matrix.c_str(), static_cast<int>(flate.size())),
                      flate);
}

std::string AppearanceObjects::EmptyFormObject(int num, const std::string& matrix,
                                               const std::vector<unsigned char>& flate) {
    return WithStream(
        Format("%d %d obj\n<</Type/XObject/Resources<</ProcSet[/PDF/Text/ImageB/ImageC/ImageI]>>"
               "/Subtype/Form/BBox[0 0 0 0]/Matrix[%s]/Length %d/FormType 1/Filter/FlateDecode>>"
               "stream\n",
               num, 0, matrix.c_str(), static_cast<int>(flate.size())),
        flate);
}

}  // namespace PDF
