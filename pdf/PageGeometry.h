#pragma once

#include "pdf/PDFPtr.h"

namespace PDF {

// What a viewer shows of a page: the visible box (the CropBox clipped to the
// MediaBox, the MediaBox alone without a CropBox) and the turn it is shown
// with. Each entry is read as the page tree hands it down: a page without its
// own takes its nearest ancestor's.
struct PageGeometry {
    double mediaBox[4] = {0, 0, 0, 0};  // as stored
    bool hasCropBox = false;
    double cropBox[4] = {0, 0, 0, 0};  // as stored, when hasCropBox
    // The visible box, lower-left corner first.
    double box[4] = {0, 0, 0, 0};
    // Clockwise turn of the page on screen: 0, 90, 180 or 270.
    int rotation = 0;

    double Width() const { return box[2] - box[0]; }
    double Height() const { return box[3] - box[1]; }

    // Reads the resolved page dictionary `page`. Raises PDF::Exception: Code::kBadPageObject
    // when the page has no MediaBox of four numbers, 0 for a broken tree.
    static PageGeometry Read(fz_context* ctx, pdf_obj* page);
    // The page's /Rotate as a viewer takes it; raises as Read.
    static int Rotation(fz_context* ctx, pdf_obj* page);
    // /Rotate as 0, 90, 180 or 270: negative and whole-turn values are
    // brought into one turn; a value that is no multiple of 90 is invalid
    // and reads as 0.
    static int NormalizeRotation(int degrees);
};

}  // namespace PDF
