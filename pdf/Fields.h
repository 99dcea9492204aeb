#pragma once

#include <cstddef>
#include <memory>
#include <vector>

#include "pdf/PDFPtr.h"

namespace PDF {

class Env;
class Field;

// The signature fields listed at the top level of the document's AcroForm
// /Fields, in that order. Short-lived: one sign or verify operation.
class Fields {
public:
    explicit Fields(Env* env);
    virtual ~Fields();
    Fields(const Fields&) = delete;
    Fields& operator=(const Fields&) = delete;

    // Lists the signature fields of the environment's document; raises
    // PDF::Exception (-54 for a signature field that is not signed).
    void Load();
    void CleanFields() { _fields.clear(); }

    std::size_t Count() const { return _fields.size(); }
    Field* At(std::size_t index) const { return _fields.at(index).get(); }

protected:
    // The /Fields array of `form`, resolved; raises PDF::Exception.
    ObjPtr LoadFields(pdf_obj* form);

private:
    Env* _env;
    std::vector<std::unique_ptr<Field>> _fields;
    pdf_document* _xref = nullptr;
};

}  // namespace PDF
