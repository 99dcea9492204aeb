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
// the left and bottom edges.
class WidgetRect {
public:
    // mediaBox: four box numbers; only its width and height count here (its
    // origin is not added).
    static Rect Place(float x, float y, float width, float height, const double mediaBox[4]);
    // Turns a rectangle placed on the page as shown onto the unturned page
    // for a page shown turned clockwise by `rotation`: 180 mirrors it in both
    // axes (x1 is then the larger x), 90 and 270 turn it a quarter each way;
    // other values leave it unchanged. pageHeight and pageWidth are the
    // unturned page's.
    static Rect AdjustToRotation(const Rect& rect, int rotation, double pageHeight, double pageWidth);
    // The whole placement on a page whose visible box is `box` (lower-left
    // corner first) and that is shown turned by `rotation` (0, 90, 180 or
    // 270): x and y count on the page as shown, from its edges as Place
    // counts them; the result is in the page's own coordinates, the box's
    // origin added.
    static Rect PlaceOnPage(float x, float y, float width, float height, const double box[4], int rotation);
    // "/Rect[x1 y1 x2 y2]" with six decimals and a period, whatever the locale.
    static std::string Format(const Rect& rect);
};

}  // namespace PDF
