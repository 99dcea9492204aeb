#include "pdf/SourceText.h"

#include <cstdint>
#include <memory>

#include "pdf/CallPDF.h"
#include "pdf/Exception.h"

namespace PDF {

namespace {

struct BufferDropper {
    fz_context* ctx;
    void operator()(fz_buffer* buffer) const noexcept { fz_drop_buffer(ctx, buffer); }
};
struct StreamDropper {
    fz_context* ctx;
    void operator()(fz_stream* stream) const noexcept { fz_drop_stream(ctx, stream); }
};
using BufferPtr = std::unique_ptr<fz_buffer, BufferDropper>;
using StreamPtr = std::unique_ptr<fz_stream, StreamDropper>;

// The next token of `stream` into `buf`.
pdf_token Next(fz_context* ctx, fz_stream* stream, pdf_lexbuf* buf) {
    pdf_token token = PDF_TOK_ERROR;
    CALL_PDF(ctx, token = pdf_lex(ctx, stream, buf));
    return token;
}

// Collects the real tokens of the object that starts at the stream's
// position, up to its end (endobj, a stream's data, the next object of an
// object stream or the end of the data).
void Collect(fz_context* ctx, fz_stream* stream, bool inObjectStream, ObjectPrinter::RealTexts& reals) {
    LexBuf lexbuf(ctx, PDF_LEXBUF_SMALL);
    pdf_lexbuf* const buf = lexbuf.Get();
    // Nesting, to tell where an object of an object stream ends.
    int depth = 0;
    bool started = false;
    for (int i = 0; i < SourceText::kMaxTokens; ++i) {
        const pdf_token token = Next(ctx, stream, buf);
        if (token == PDF_TOK_EOF || token == PDF_TOK_ERROR || token == PDF_TOK_ENDOBJ ||
            token == PDF_TOK_STREAM)
            return;
        if (token == PDF_TOK_REAL) reals.emplace(ObjectPrinter::RealKey(buf->f), std::string(buf->scratch));
        if (token == PDF_TOK_OPEN_DICT || token == PDF_TOK_OPEN_ARRAY) ++depth;
        if (token == PDF_TOK_CLOSE_DICT || token == PDF_TOK_CLOSE_ARRAY) --depth;
        // In an object stream the object ends where its outermost value does.
        if (inObjectStream && started && depth <= 0) return;
        started = started || token == PDF_TOK_OPEN_DICT || token == PDF_TOK_OPEN_ARRAY;
        if (inObjectStream && !started) return;  // a plain number, name or string: nothing to keep
    }
}

// The offset of the `index`th object inside object stream `stm`, counted
// from the start of its data; -1 when the stream does not say.
std::int64_t OffsetInObjectStream(fz_context* ctx, pdf_document* doc, int stm, fz_stream* data, int index) {
    const ObjPtr dict = AdoptObj(ctx, TryLoadObject(ctx, doc, stm));
    const int first = pdf_to_int(ctx, pdf_dict_get(ctx, dict.get(), PDF_NAME(First)));
    const int count = pdf_to_int(ctx, pdf_dict_get(ctx, dict.get(), PDF_NAME(N)));
    if (first <= 0 || index < 0 || index >= count) return -1;
    LexBuf lexbuf(ctx, PDF_LEXBUF_SMALL);
    pdf_lexbuf* const buf = lexbuf.Get();
    std::int64_t offset = -1;
    for (int i = 0; i <= index; ++i) {
        if (Next(ctx, data, buf) != PDF_TOK_INT || Next(ctx, data, buf) != PDF_TOK_INT) return -1;
        offset = buf->i;
    }
    return offset < 0 ? -1 : first + offset;
}

}  // namespace

ObjectPrinter::RealTexts SourceText::Reals(fz_context* ctx, pdf_document* doc, int num) {
    ObjectPrinter::RealTexts reals;
    try {
        if (ctx == nullptr || doc == nullptr || num <= 0) return reals;
        int length = 0;
        CALL_PDF(ctx, length = pdf_xref_len(ctx, doc));
        if (num >= length) return reals;
        pdf_xref_entry* entry = nullptr;
        CALL_PDF(ctx, entry = pdf_get_xref_entry(ctx, doc, num));
        if (entry == nullptr) return reals;
        if (entry->type == 'n') {
            CALL_PDF(ctx, fz_seek(ctx, doc->file, entry->ofs, SEEK_SET));
            Collect(ctx, doc->file, false, reals);
        } else if (entry->type == 'o') {
            const int stm = static_cast<int>(entry->ofs);
            const int index = entry->gen;
            fz_buffer* loaded = nullptr;
            CALL_PDF(ctx, loaded = pdf_load_stream_number(ctx, doc, stm));
            const BufferPtr buffer(loaded, BufferDropper{ctx});
            fz_stream* opened = nullptr;
            CALL_PDF(ctx, opened = fz_open_buffer(ctx, buffer.get()));
            const StreamPtr data(opened, StreamDropper{ctx});
            const std::int64_t offset = OffsetInObjectStream(ctx, doc, stm, data.get(), index);
            if (offset < 0) return reals;
            CALL_PDF(ctx, fz_seek(ctx, data.get(), offset, SEEK_SET));
            Collect(ctx, data.get(), true, reals);
        }
    } catch (const Exception&) {
        reals.clear();  // the printer formats the values itself
    }
    return reals;
}

}  // namespace PDF
