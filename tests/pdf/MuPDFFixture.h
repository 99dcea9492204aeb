#pragma once

// One MuPDF context and an empty document per test, and a parser for object
// text, for the tests of the object-level helpers.

#include <gtest/gtest.h>
#include <mupdf/fitz.h>
#include <mupdf/pdf.h>

#include <memory>
#include <stdexcept>
#include <string>

namespace TestSupport {

struct ContextDropper {
    void operator()(fz_context* ctx) const noexcept { fz_drop_context(ctx); }
};
using ContextPtr = std::unique_ptr<fz_context, ContextDropper>;

class MuPDFFixture : public ::testing::Test {
protected:
    MuPDFFixture() : _ctx(fz_new_context(nullptr, nullptr, FZ_STORE_DEFAULT)) {
        if (!_ctx) throw std::runtime_error("fz_new_context failed");
        _doc = CreateDocument(_ctx.get());
        if (_doc == nullptr) throw std::runtime_error("pdf_create_document failed");
    }
    ~MuPDFFixture() override {
        for (pdf_obj* obj : _objects) pdf_drop_obj(_ctx.get(), obj);
        pdf_drop_document(_ctx.get(), _doc);
    }

    fz_context* Ctx() const { return _ctx.get(); }

    // Parses one object written in PDF syntax; the fixture keeps it.
    pdf_obj* Parse(const std::string& text) {
        fz_context* ctx = _ctx.get();
        fz_stream* stm = nullptr;
        pdf_obj* obj = nullptr;
        // The large layout: MuPDF fills up to the declared size in place.
        pdf_lexbuf_large lexbuf;
        pdf_lexbuf_init(ctx, &lexbuf.base, PDF_LEXBUF_LARGE);
        fz_var(stm);
        fz_var(obj);
        fz_try(ctx) {
            stm = fz_open_memory(ctx, reinterpret_cast<const unsigned char*>(text.data()), text.size());
            obj = pdf_parse_stm_obj(ctx, _doc, stm, &lexbuf.base);
        }
        fz_always(ctx) {
            fz_drop_stream(ctx, stm);
            pdf_lexbuf_fin(ctx, &lexbuf.base);
        }
        fz_catch(ctx) {
            obj = nullptr;
        }
        if (obj == nullptr && text != "null") throw std::runtime_error("could not parse: " + text);
        Keep(obj);
        return obj;
    }

    // Takes over one reference of obj.
    pdf_obj* Keep(pdf_obj* obj) {
        if (obj != nullptr) _objects.push_back(obj);
        return obj;
    }

    pdf_obj* Name(const char* name) { return Keep(pdf_new_name(Ctx(), name)); }
    pdf_obj* Int(int value) { return Keep(pdf_new_int(Ctx(), value)); }
    pdf_obj* String(const std::string& bytes) {
        return Keep(pdf_new_string(Ctx(), bytes.data(), bytes.size()));
    }

private:
    static pdf_document* CreateDocument(fz_context* ctx) {
        pdf_document* doc = nullptr;
        fz_var(doc);
        fz_try(ctx) {
            doc = pdf_create_document(ctx);
        }
        fz_catch(ctx) {
            doc = nullptr;
        }
        return doc;
    }

    ContextPtr _ctx;
    pdf_document* _doc = nullptr;
    std::vector<pdf_obj*> _objects;
};

}  // namespace TestSupport
