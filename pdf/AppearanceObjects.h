#pragma once

#include <string>
#include <vector>

namespace PDF {

class Surface;

// The bytes of a signature widget's appearance objects: the RGB image
// XObject holding the raster, the form XObject that paints it, and the empty
// form of an invisible signature. Object numbers and file offsets belong to
// the writer, which passes the numbers in and records where it writes.
class AppearanceObjects {
public:
    enum class Status {
        Ok,
        NoPixels,        // the surface gave no pixels
        EncodingFailed,  // the compressed stream does not fit its capacity
        LibraryError,    // zlib failed; see message
    };
    // A compressed stream and the raster size it came from.
    struct Stream {
        Status status = Status::LibraryError;
        int width = 0;
        int height = 0;
        std::vector<unsigned char> flate;
        std::string message;
    };

    // The surface's pixels (R, G, B, rows top to bottom), compressed into at
    // most their raw size.
    static Stream CompressRaster(Surface& surface);
    // A content stream, compressed into at most twice its size plus 1024.
    static Stream CompressContent(const std::string& content);

    // /Matrix of both forms for a page shown turned by `degrees`, so that the
    // appearance stands upright on screen.
    static std::string MatrixForRotation(int degrees);
    // Content of the form that paints a width x height raster.
    static std::string ImageContent(int width, int height);
    // Content of the empty form.
    static std::string EmptyContent() { return "1 1 m 1 1 l S"; }

    // Whole objects, from "num 0 obj\n" to "endobj\n".
    static std::string ImageObject(int num, int width, int height, const std::vector<unsigned char>& flate);
    static std::string FormObject(int num, int imageNum, int width, int height, const std::string& matrix,
                                  const std::vector<unsigned char>& flate);
    static std::string EmptyFormObject(int num, const std::string& matrix,
                                       const std::vector<unsigned char>& flate);

    static constexpr const char* kImageName = "imgWatermark";
};

}  // namespace PDF
