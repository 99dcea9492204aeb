#pragma once

#include <memory>

// MuPDF's handle types, declared here so that the document headers need not
// pull in the library; only pdf/*.cpp include <mupdf/...>.
struct fz_context;
struct fz_stream;
struct pdf_document;
struct pdf_obj;

namespace PDF {

// A pdf_obj is dropped through the context that made it.
struct ObjDropper {
    fz_context* _ctx = nullptr;
    void operator()(pdf_obj* obj) const noexcept;
};
using ObjPtr = std::unique_ptr<pdf_obj, ObjDropper>;

// One reference to a document; the document goes with its last reference.
struct DocDropper {
    fz_context* _ctx = nullptr;
    void operator()(pdf_document* doc) const noexcept;
};
using DocPtr = std::unique_ptr<pdf_document, DocDropper>;

// A MuPDF context is shared by the document and every object that keeps a
// handle of it (fields, signatures), so that it outlives all of them.
using ContextPtr = std::shared_ptr<fz_context>;

// A new context whose warnings and errors go to the log instead of stderr.
// Raises PDF::Exception when MuPDF cannot create one.
ContextPtr NewContext();

// Takes one more reference to `obj` (null stays null).
ObjPtr KeepObj(fz_context* ctx, pdf_obj* obj);
// Takes over a reference the caller already holds.
inline ObjPtr AdoptObj(fz_context* ctx, pdf_obj* obj) {
    return ObjPtr(obj, ObjDropper{ctx});
}
// Takes one more reference to `doc` (null stays null).
DocPtr KeepDoc(fz_context* ctx, pdf_document* doc);

}  // namespace PDF
