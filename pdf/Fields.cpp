#include "pdf/Fields.h"

#include "common/Logger.h"
#include "pdf/CallPDF.h"
#include "pdf/Env.h"
#include "pdf/Exception.h"
#include "pdf/Field.h"
#include "pdf/File.h"

namespace PDF {

Fields::Fields(Env* env) : _env(env) {}

Fields::~Fields() = default;

void Fields::Load() {
    CleanFields();
    const File* const file = _env != nullptr ? _env->GetFile() : nullptr;
    _xref = file != nullptr ? file->Document() : nullptr;
    if (_xref == nullptr || file->Form() == nullptr) {
        Logger::Get()->SetFunc("Load");
        Logger::Get()->Log("AcroForm is absent");
        return;
    }
    fz_context* const ctx = file->Context();

    const ObjPtr fields = LoadFields(file->Form());
    const int count = pdf_array_len(ctx, fields.get());
    for (int i = 0; i < count; ++i) {
        pdf_obj* const ref = pdf_array_get(ctx, fields.get(), i);
        if (ref == nullptr || (!pdf_is_indirect(ctx, ref) && pdf_is_null(ctx, ref))) continue;
        pdf_obj* field = nullptr;
        CALL_PDF(ctx, field = LoadIndirect(ctx, _xref, ref));
        const ObjPtr owner = AdoptObj(ctx, field);
        if (!pdf_name_eq(ctx, pdf_dict_get(ctx, field, PDF_NAME(FT)), PDF_NAME(Sig))) continue;

        auto sigField = std::make_unique<Field>(_env);
        if (!sigField->Load(ref)) throw Exception(-54, "Failed to load signature field.");
        _fields.push_back(std::move(sigField));
    }
}

ObjPtr Fields::LoadFields(pdf_obj* form) {
    const File* const file = _env->GetFile();
    fz_context* const ctx = file->Context();
    pdf_obj* const fields = CALL_PDF_NULL(pdf_dict_get(ctx, form, PDF_NAME(Fields)));
    if (pdf_is_indirect(ctx, fields)) {
        ObjPtr resolved = AdoptObj(ctx, TryLoadObject(ctx, _xref, pdf_to_num(ctx, fields)));
        if (resolved == nullptr) throw Exception(-53, "Fields::LoadFields - pdf_loadindirect failed");
        if (!pdf_is_array(ctx, resolved.get()))
            throw Exception(-53, "Fields::LoadFields - Indirect fields are not an array.");
        return resolved;
    }
    if (!pdf_is_array(ctx, fields))
        throw Exception(-53, "Fields::LoadFields - Failed to load fields from form.");
    return KeepObj(ctx, fields);
}

}  // namespace PDF
