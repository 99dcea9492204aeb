#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "pdf/PDFPtr.h"

namespace PDF {

class Env;
class Field;

// The signature fields of the document's AcroForm, signed and empty ones,
// found through /Fields and the /Kids below, in that order; and the names of
// all its fields. Short-lived: one sign or verify operation.
class Fields {
public:
    explicit Fields(Env* env);
    virtual ~Fields();
    Fields(const Fields&) = delete;
    Fields& operator=(const Fields&) = delete;

    // Lists the signature fields of the environment's document; raises
    // PDF::Exception (Code::kBadFields for /Fields of the wrong kind, Code::kFieldLoadFailed for a signature
    // field that does not load).
    void Load();
    void CleanFields();

    std::size_t Count() const { return _fields.size(); }
    Field* At(std::size_t index) const { return _fields.at(index).get(); }

    // Whether a field of the form (of any type, terminal or not) has the
    // fully qualified name `name`.
    bool HasName(const std::string& name) const;
    // The empty signature field of fully qualified name `name`, its page
    // found, to sign into; null when no field has that name. Raises
    // PDF::Exception: Code::kAlreadySigned when it is signed, Code::kNotSignatureField
    // when the name is that of a field of another type or of a field that
    // only groups others.
    Field* Fillable(const std::string& name) const;

protected:
    // The /Fields array of `form`, resolved; raises PDF::Exception.
    ObjPtr LoadFields(pdf_obj* form);

private:
    // A field's name and what it is; `field` is null unless a signature field.
    struct Named {
        std::string name;
        Field* field;
    };

    Env* _env;
    std::vector<std::unique_ptr<Field>> _fields;
    std::vector<Named> _names;
    pdf_document* _xref = nullptr;
};

}  // namespace PDF
