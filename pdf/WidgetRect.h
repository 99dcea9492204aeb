#pragma once

#include <string>

namespace PDF {

// The /Rect of a visible signature widget, in PDF points.
struct Rect {
    float x1 = 0;
    float y1 = 0;
    float x2 = 0;
    float y2 = 0;
};

// Places the signature rectangle on its page. The appearance gives the
// rectangle's top-left corner and size in points: a negative x counts from
// the right edge of the page, a negative y from the top edge, otherwise from
// the left and bottom edges. The MediaBox origin is not added.
class WidgetRect {
public:
    // mediaBox: the page's four MediaBox numbers.
    static Rect Place(float x, float y, float width, float height, const double mediaBox[4]);
    // Turns the rectangle for a document whose first page is rotated:
    // 180 mirrors it in both axes, 90 turns it onto the unrotated page;
    // other rotations (270 included) leave it unchanged.
    static Rect AdjustToRotation(const Rect& rect, int rotation, double pageHeight, double pageWidth);
    // "/Rect[x1 y1 x2 y2]" with six decimals and a period, whatever the locale.
    static std::string Format(const Rect& rect);
};

}  // namespace PDF
