#include <gtest/gtest.h>

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
        {270, "/Rect[415.000000 752.000000 495.000000 792.000000]"},
        {-90, "/Rect[415.000000 752.000000 495.000000 792.000000]"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.rotation);
        EXPECT_EQ(WidgetRect::Format(WidgetRect::AdjustToRotation(worked, c.rotation, 842, 595)), c.text);
    }
}

}  // namespace
