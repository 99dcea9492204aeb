#include "pdf/PageGeometry.h"

#include <algorithm>

#include "pdf/CallPDF.h"
#include "pdf/Exception.h"

namespace PDF {

namespace {

// Four numbers of a box array; false for anything else.
bool ReadBox(fz_context* ctx, pdf_obj* array, double out[4]) {
    if (!pdf_is_array(ctx, array) || pdf_array_len(ctx, array) < 4) return false;
    for (int i = 0; i < 4; ++i) {
        pdf_obj* const number = pdf_array_get(ctx, array, i);
        if (!pdf_is_number(ctx, number)) return false;
        out[i] = pdf_to_real(ctx, number);
    }
    return true;
}

pdf_obj* Inherited(fz_context* ctx, pdf_obj* page, pdf_obj* key) {
    pdf_obj* value = nullptr;
    CALL_PDF(ctx, value = pdf_dict_get_inheritable(ctx, page, key));
    return value;
}

}  // namespace

int PageGeometry::NormalizeRotation(int degrees) {
    const int turned = ((degrees % 360) + 360) % 360;
    return turned % 90 == 0 ? turned : 0;
}

int PageGeometry::Rotation(fz_context* ctx, pdf_obj* page) {
    return NormalizeRotation(pdf_to_int(ctx, Inherited(ctx, page, PDF_NAME(Rotate))));
}

PageGeometry PageGeometry::Read(fz_context* ctx, pdf_obj* page) {
    PageGeometry geometry;
    if (!ReadBox(ctx, Inherited(ctx, page, PDF_NAME(MediaBox)), geometry.mediaBox))
        throw Exception(Code::kBadPageObject, "MediaBox is not an array");
    const double* const m = geometry.mediaBox;
    geometry.box[0] = std::min(m[0], m[2]);
    geometry.box[1] = std::min(m[1], m[3]);
    geometry.box[2] = std::max(m[0], m[2]);
    geometry.box[3] = std::max(m[1], m[3]);
    // A CropBox that is no box, or lies outside the MediaBox, is passed over
    // as viewers do.
    double crop[4];
    if (ReadBox(ctx, Inherited(ctx, page, PDF_NAME(CropBox)), crop)) {
        const double clipped[4] = {std::max(geometry.box[0], std::min(crop[0], crop[2])),
                                   std::max(geometry.box[1], std::min(crop[1], crop[3])),
                                   std::min(geometry.box[2], std::max(crop[0], crop[2])),
                                   std::min(geometry.box[3], std::max(crop[1], crop[3]))};
        if (clipped[0] < clipped[2] && clipped[1] < clipped[3]) {
            geometry.hasCropBox = true;
            std::copy(crop, crop + 4, geometry.cropBox);
            std::copy(clipped, clipped + 4, geometry.box);
        }
    }
    geometry.rotation = Rotation(ctx, page);
    return geometry;
}

}  // namespace PDF
