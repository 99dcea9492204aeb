#include "pdf/PDFGuard.h"

#include <utility>

namespace PDF {

pdf_obj* PDFGuard::Add(ObjPtr obj) {
    pdf_obj* const raw = obj.get();
    if (raw != nullptr) _objects.push_back(std::move(obj));
    return raw;
}

}  // namespace PDF
