#include "pdf/WidgetRect.h"

#include <charconv>
#include <system_error>

namespace PDF {

namespace {

// printf "%f" of the value, in the "C" locale.
std::string SixDecimals(float value) {
    char text[400];
    const auto done =
        std::to_chars(text, text + sizeof text, static_cast<double>(value), std::chars_format::fixed, 6);
    return done.ec == std::errc() ? std::string(text, done.ptr) : std::string("0.000000");
}

}  // namespace

Rect WidgetRect::Place(float x, float y, float width, float height, const double mediaBox[4]) {
    const double pageWidth = mediaBox[2] - mediaBox[0];
    const double pageHeight = mediaBox[3] - mediaBox[1];
    Rect rect;
    // Sums with page sizes in double precision, stored as float; the
    // subtractions of width and height in float.
    rect.y2 = y < 0 ? static_cast<float>(y + pageHeight) : y;
    rect.y1 = rect.y2 - height;
    if (x < 0) {
        rect.x2 = static_cast<float>(x + pageWidth);
        rect.x1 = rect.x2 - width;
    } else {
        rect.x1 = x;
        rect.x2 = x + width;
    }
    return rect;
}

Rect WidgetRect::AdjustToRotation(const Rect& rect, int rotation, double pageHeight, double pageWidth) {
    const float w = rect.x2 - rect.x1;
    const float h = rect.y2 - rect.y1;
    Rect out = rect;
    if (rotation == 180) {
        out.y1 = static_cast<float>(pageHeight - rect.y2);
        out.y2 = out.y1 + h;
        out.x2 = static_cast<float>(pageWidth - rect.x2);
        out.x1 = out.x2 + w;
    } else if (rotation == 90) {
        out.y1 = rect.x1;
        out.y2 = rect.x1 + w;
        out.x1 = static_cast<float>(pageWidth - rect.y2);
        out.x2 = out.x1 + h;
    } else if (rotation == 270) {
        out.x1 = rect.y1;
        out.x2 = rect.y1 + h;
        out.y1 = static_cast<float>(pageHeight - rect.x2);
        out.y2 = out.y1 + w;
    }
    return out;
}

Rect WidgetRect::PlaceOnPage(float x, float y, float width, float height, const double box[4], int rotation) {
    const double boxWidth = box[2] - box[0];
    const double boxHeight = box[3] - box[1];
    // A quarter turn shows the page with its sides exchanged.
    const bool quarter = rotation == 90 || rotation == 270;
    const double shown[4] = {0, 0, quarter ? boxHeight : boxWidth, quarter ? boxWidth : boxHeight};
    Rect rect = AdjustToRotation(Place(x, y, width, height, shown), rotation, boxHeight, boxWidth);
    if (box[0] != 0) {
        rect.x1 = static_cast<float>(rect.x1 + box[0]);
        rect.x2 = static_cast<float>(rect.x2 + box[0]);
    }
    if (box[1] != 0) {
        rect.y1 = static_cast<float>(rect.y1 + box[1]);
        rect.y2 = static_cast<float>(rect.y2 + box[1]);
    }
    return rect;
}

std::string WidgetRect::Format(const Rect& rect) {
    return "/Rect[" + SixDecimals(rect.x1) + " " + SixDecimals(rect.y1) + " " + SixDecimals(rect.x2) + " " +
           SixDecimals(rect.y2) + "]";
}

}  // namespace PDF
