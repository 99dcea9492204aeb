#pragma once

// Private to the document layer: turns MuPDF's longjmp errors into
// PDF::Exception. Only pdf/*.cpp include this header.

#include <mupdf/fitz.h>
#include <mupdf/pdf.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "pdf/PDFPtr.h"

namespace PDF {

// Raise PDF::Exception (code 0) with "PDF Error %d in %s, %s, line %d: %s\n",
// the MuPDF error class, the calling function, source file and line, and the
// call as written.
[[noreturn]] void RaisePDFError(fz_context* ctx, const char* function, const char* file, int line,
                                const char* expression);
// The same for a lookup that found nothing: "PDF Error null object in ...".
[[noreturn]] void RaiseNullObject(const char* function, const char* file, int line, const char* expression);

// Runs `call` under fz_try. MuPDF errors jump back here by longjmp, so `call`
// must hold only C calls and plain assignments: no C++ object with a
// destructor, no return or throw out of it. Only the catch raises.
template <typename Call>
void CallPDF(fz_context* ctx, const char* function, const char* file, int line, const char* expression,
             Call&& call) {
    fz_try(ctx) {
        call();
    }
    fz_catch(ctx) {
        RaisePDFError(ctx, function, file, line, expression);
    }
}

template <typename T>
T* CallPDFNull(T* object, const char* function, const char* file, int line, const char* expression) {
    if (object == nullptr) RaiseNullObject(function, file, line, expression);
    return object;
}

// A new reference to object `num`, or null when MuPDF cannot load it.
pdf_obj* TryLoadObject(fz_context* ctx, pdf_document* doc, int num) noexcept;

// Reads up to `length` bytes at the stream's position; 0 at the end of the
// data or on a read error.
std::size_t TryRead(fz_context* ctx, fz_stream* stream, unsigned char* buffer, std::size_t length) noexcept;

// A new reference to the object `ref` names; MuPDF-throws when `ref` is not
// an indirect reference or cannot be loaded. Call inside CALL_PDF only.
pdf_obj* LoadIndirect(fz_context* ctx, pdf_document* doc, pdf_obj* ref);

// Seeks to `offset` from the start; false when the stream refuses.
bool TrySeek(fz_context* ctx, fz_stream* stream, std::int64_t offset) noexcept;

// A pdf_lexbuf for the life of a scope. MuPDF writes up to the declared size
// into the buffer before it grows it, so the storage is always the large
// layout (on the heap: it is 64 KiB) and the size is capped to it.
class LexBuf {
public:
    LexBuf(fz_context* ctx, int size) : _ctx(ctx), _storage(std::make_unique<pdf_lexbuf_large>()) {
        pdf_lexbuf_init(ctx, &_storage->base, std::clamp(size, 1, static_cast<int>(PDF_LEXBUF_LARGE)));
    }
    ~LexBuf() { pdf_lexbuf_fin(_ctx, &_storage->base); }
    LexBuf(const LexBuf&) = delete;
    LexBuf& operator=(const LexBuf&) = delete;
    pdf_lexbuf* Get() { return &_storage->base; }

private:
    fz_context* _ctx;
    std::unique_ptr<pdf_lexbuf_large> _storage;
};

}  // namespace PDF

#define CALL_PDF(ctx, call) ::PDF::CallPDF((ctx), __func__, __FILE__, __LINE__, #call, [&]() { call; })
#define CALL_PDF_NULL(object) ::PDF::CallPDFNull((object), __func__, __FILE__, __LINE__, #object)
