#include "pdf/DictEdit.h"

#include <mupdf/fitz.h>
#include <mupdf/pdf.h>

namespace PDF {

int DictEdit::IndexOf(fz_context* ctx, pdf_obj* dict, pdf_obj* key) {
    const int n = pdf_dict_len(ctx, dict);
    for (int i = 0; i < n; ++i) {
        if (pdf_name_eq(ctx, pdf_dict_get_key(ctx, dict, i), key)) return i;
    }
    return -1;
}

bool DictEdit::Put(fz_context* ctx, pdf_obj* dict, pdf_obj* key, pdf_obj* value) {
    const int before = IndexOf(ctx, dict, key);
    pdf_dict_put(ctx, dict, key, value);
    const int after = IndexOf(ctx, dict, key);
    if (before >= 0) return after == before;
    return after == pdf_dict_len(ctx, dict) - 1;
}

bool DictEdit::Delete(fz_context* ctx, pdf_obj* dict, pdf_obj* key) {
    const int index = IndexOf(ctx, dict, key);
    if (index < 0) return true;
    const int last = pdf_dict_len(ctx, dict) - 1;
    // The last key stays alive while the dictionary drops its reference to it.
    pdf_obj* lastKey = pdf_keep_obj(ctx, pdf_dict_get_key(ctx, dict, last));
    fz_try(ctx) {
        pdf_dict_del(ctx, dict, key);
    }
    fz_catch(ctx) {
        pdf_drop_obj(ctx, lastKey);
        fz_rethrow(ctx);
    }
    const bool kept = pdf_dict_len(ctx, dict) == last &&
                      (index == last || pdf_name_eq(ctx, pdf_dict_get_key(ctx, dict, index), lastKey));
    pdf_drop_obj(ctx, lastKey);
    return kept;
}

bool DictEdit::MoveToEnd(fz_context* ctx, pdf_obj* dict, pdf_obj* key, pdf_obj* value) {
    // Keep key and value alive: either may be the dictionary's own object.
    pdf_obj* keptKey = pdf_keep_obj(ctx, key);
    pdf_obj* keptValue = pdf_keep_obj(ctx, value);
    int ordered = 0;
    fz_var(ordered);
    fz_try(ctx) {
        ordered = Delete(ctx, dict, keptKey) ? 1 : 0;
        if (!Put(ctx, dict, keptKey, keptValue)) ordered = 0;
    }
    fz_always(ctx) {
        pdf_drop_obj(ctx, keptValue);
        pdf_drop_obj(ctx, keptKey);
    }
    fz_catch(ctx) {
        fz_rethrow(ctx);
    }
    return ordered != 0;
}

}  // namespace PDF
