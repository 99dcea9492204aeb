#include "pdf/PDFPtr.h"

#include <mupdf/fitz.h>
#include <mupdf/pdf.h>

#include "common/Logger.h"
#include "pdf/Exception.h"

namespace PDF {

namespace {

// MuPDF reports what it repairs or skips through these; the log keeps them.
void LogMuPDFMessage(void*, const char* message) {
    Logger::Get()->SetFunc("MuPDF");
    Logger::Get()->Log("%s", message);
}

}  // namespace

void ObjDropper::operator()(pdf_obj* obj) const noexcept {
    pdf_drop_obj(_ctx, obj);
}

void DocDropper::operator()(pdf_document* doc) const noexcept {
    pdf_drop_document(_ctx, doc);
}

ContextPtr NewContext() {
    fz_context* ctx = fz_new_context(nullptr, nullptr, FZ_STORE_DEFAULT);
    if (ctx == nullptr) throw Exception(Code::kLibraryCall, "Could not create the PDF library context");
    fz_set_warning_callback(ctx, &LogMuPDFMessage, nullptr);
    fz_set_error_callback(ctx, &LogMuPDFMessage, nullptr);
    return ContextPtr(ctx, [](fz_context* c) { fz_drop_context(c); });
}

ObjPtr KeepObj(fz_context* ctx, pdf_obj* obj) {
    return ObjPtr(pdf_keep_obj(ctx, obj), ObjDropper{ctx});
}

DocPtr KeepDoc(fz_context* ctx, pdf_document* doc) {
    return DocPtr(pdf_keep_document(ctx, doc), DocDropper{ctx});
}

}  // namespace PDF
