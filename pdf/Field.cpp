#include "pdf/Field.h"

#include "pdf/CallPDF.h"
#include "pdf/Env.h"
#include "pdf/File.h"
#include "pdf/Signature.h"

namespace PDF {

namespace {

// A value written as null counts as absent.
ObjPtr KeepPresent(fz_context* ctx, pdf_obj* obj) {
    return pdf_is_null(ctx, obj) ? ObjPtr(nullptr, ObjDropper{ctx}) : KeepObj(ctx, obj);
}

}  // namespace

Field::Field(Env* env) : _env(env) {
    const File* const file = env != nullptr ? env->GetFile() : nullptr;
    if (file != nullptr && file->Document() != nullptr) {
        _ctx = file->SharedContext();
        _xref = KeepDoc(_ctx.get(), file->Document());
    }
}

Field::~Field() = default;

bool Field::Load(pdf_obj* ref) {
    fz_context* const ctx = _ctx.get();
    if (ctx == nullptr || !pdf_is_indirect(ctx, ref)) return false;
    _dict = AdoptObj(ctx, TryLoadObject(ctx, _xref.get(), pdf_to_num(ctx, ref)));
    if (!pdf_is_dict(ctx, _dict.get()) ||
        !pdf_name_eq(ctx, pdf_dict_get(ctx, _dict.get(), PDF_NAME(FT)), PDF_NAME(Sig)))
        return false;

    pdf_obj* const dict = _dict.get();
    _ref = KeepObj(ctx, ref);
    pdf_obj* const name = pdf_dict_get(ctx, dict, PDF_NAME(T));
    _name = pdf_is_string(ctx, name) ? std::string(pdf_to_str_buf(ctx, name), pdf_to_str_len(ctx, name)) : "";
    _ff = pdf_to_int(ctx, pdf_dict_get(ctx, dict, PDF_NAME(Ff)));
    _f = pdf_to_int(ctx, pdf_dict_get(ctx, dict, PDF_NAME(F)));
    pdf_obj* const rect = pdf_dict_get(ctx, dict, PDF_NAME(Rect));
    _rect = {0, 0, 0, 0};
    if (pdf_is_array(ctx, rect) && pdf_array_len(ctx, rect) == 4)
        for (int i = 0; i < 4; ++i) _rect[i] = pdf_to_real(ctx, pdf_array_get(ctx, rect, i));
    _page = KeepPresent(ctx, pdf_dict_get(ctx, dict, PDF_NAME(P)));
    _value = KeepPresent(ctx, pdf_dict_get(ctx, dict, PDF_NAME(V)));
    return _page != nullptr && _value != nullptr;
}

void Field::SetPage(int page) {
    const File* const file = _env != nullptr ? _env->GetFile() : nullptr;
    if (_ctx == nullptr || file == nullptr || file->Document() != _xref.get()) return;
    if (pdf_obj* const ref = file->PageRef(page)) _page = KeepObj(_ctx.get(), ref);
}

std::unique_ptr<Signature> Field::GetSignature() const {
    if (_value == nullptr) return nullptr;
    auto signature = std::make_unique<Signature>(_env);
    if (!signature->Load(_value.get())) return nullptr;
    return signature;
}

}  // namespace PDF
