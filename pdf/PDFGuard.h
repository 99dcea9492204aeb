#pragma once

#include <cstddef>
#include <vector>

#include "pdf/PDFPtr.h"

namespace PDF {

// Parser objects that must live as long as their holder (a document, or one
// operation): each is dropped once when the guard goes.
class PDFGuard {
public:
    PDFGuard() = default;
    PDFGuard(const PDFGuard&) = delete;
    PDFGuard& operator=(const PDFGuard&) = delete;

    // Keeps `obj` (null is ignored) and hands back its raw pointer, which
    // stays valid while the guard holds it.
    pdf_obj* Add(ObjPtr obj);
    void Clear() { _objects.clear(); }
    std::size_t Size() const { return _objects.size(); }

private:
    std::vector<ObjPtr> _objects;
};

}  // namespace PDF
