#include <gtest/gtest.h>

#include <algorithm>

#include "pdf/WidgetRect.h"

namespace {

using PDF::Rect;
using PDF::WidgetRect;

TEST(WidgetRect, PlacesTheRectangleFromEitherPageEdge) {
    const double a4[4] = {0, 0, 595, 842};
    const double shifted[4] = {10, 20, 605, 862};  // the origin is not added
    const struct {
        float x, y, width, height;
        const double* mediaBox;
        const char* text;
    } cases[] = {
        {-100, -50, 80, 40, a4, "/Rect[415.000000 752.000000 495.000000 792.000000]"},
        {100, 300, 80, 40, a4, "/Rect[100.000000 260.000000 180.000000 300.000000]"},
        {-100, 300, 80, 40, a4, "/Rect[415.000000 260.000000 495.000000 300.000000]"},
        {100, -50, 80, 40, a4, "/Rect[100.000000 752.000000 180.000000 792.000000]"},
        {-100, -50, 80, 40, shifted, "/Rect[415.000000 752.000000 495.000000 792.000000]"},
        {0, 0, 0, 0, a4, "/Rect[0.000000 0.000000 0.000000 0.000000]"},
        {170.07875f, 56.692917f, 170.07875f, 56.692917f, a4,
         "/Rect[170.078751 0.000000 340.157501 56.692917]"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(WidgetRect::Format(WidgetRect::Place(c.x, c.y, c.width, c.height, c.mediaBox)), c.text);
    }
}

TEST(WidgetRect, TurnsTheRectangleForARotatedDocument) {
    const Rect worked{415, 752, 495, 792};  // 80 x 40 on 595 x 842
    const struct {
        int rotation;
        const char* text;
    } cases[] = {
        {0, "/Rect[415.000000 752.000000 495.000000 792.000000]"},
        {180, "/Rect[180.000000 50.000000 100.000000 90.000000]"},  // mirrored: x1 is the larger x
        {90, "/Rect[-197.000000 415.000000 -157.000000 495.000000]"},
        // The other quarter: the shown x becomes the height from the top.
        {270, "/Rect[752.000000 347.000000 792.000000 427.000000]"},
        {-90, "/Rect[415.000000 752.000000 495.000000 792.000000]"},  // turns come normalised
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.rotation);
        EXPECT_EQ(WidgetRect::Format(WidgetRect::AdjustToRotation(worked, c.rotation, 842, 595)), c.text);
    }
}

// Each corner of the page as shown lands on the matching corner of the
// unturned page: a 20 x 10 rectangle 5 points in from the shown edges.
TEST(WidgetRect, PlaceOnPageKeepsTheShownCornerOnThePage) {
    const double box[4] = {0, 0, 600, 800};
    const double offset[4] = {100, 50, 700, 850};
    const struct {
        const char* name;
        float x, y;
        int rotation;
        const double* box;
        Rect expected;  // normalised: lower-left, upper-right
    } cases[] = {
        {"0, bottom-left", 5, 15, 0, box, {5, 5, 25, 15}},
        {"0, top-right", -5, -5, 0, box, {575, 785, 595, 795}},
        // 90: shown 800 wide, 600 high; the shown bottom-left is the page's bottom-right.
        {"90, bottom-left", 5, 15, 90, box, {585, 5, 595, 25}},
        {"90, top-right", -5, -5, 90, box, {5, 775, 15, 795}},
        {"90, top-left", 5, -5, 90, box, {5, 5, 15, 25}},
        // 270: the shown bottom-left is the page's top-left.
        {"270, bottom-left", 5, 15, 270, box, {5, 775, 15, 795}},
        {"270, top-right", -5, -5, 270, box, {585, 5, 595, 25}},
        {"270, bottom-right", -5, 15, 270, box, {5, 5, 15, 25}},
        {"180, bottom-left", 5, 15, 180, box, {575, 785, 595, 795}},
        {"180, top-right", -5, -5, 180, box, {5, 5, 25, 15}},
        {"offset box, 0", 5, 15, 0, offset, {105, 55, 125, 65}},
        {"offset box, 90", -5, -5, 90, offset, {105, 825, 115, 845}},
        {"offset box, 270", 5, 15, 270, offset, {105, 825, 115, 845}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Rect r = WidgetRect::PlaceOnPage(c.x, c.y, 20, 10, c.box, c.rotation);
        const Rect normal{std::min(r.x1, r.x2), std::min(r.y1, r.y2), std::max(r.x1, r.x2),
                          std::max(r.y1, r.y2)};
        EXPECT_EQ(WidgetRect::Format(normal), WidgetRect::Format(c.expected));
        // Not squeezed: a quarter turn exchanges the sides.
        const bool quarter = c.rotation == 90 || c.rotation == 270;
        EXPECT_EQ(normal.x2 - normal.x1, quarter ? 10 : 20);
    }
}

}  // namespace
