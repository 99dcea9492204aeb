#include "pdf/Field.h"

#include "common/Logger.h"
#include "pdf/CallPDF.h"
#include "pdf/Env.h"
#include "pdf/Exception.h"
#include "pdf/File.h"
#include "pdf/LocaleGuard.h"
#include "pdf/ObjectPrinter.h"
#include "pdf/Output.h"
#include "pdf/Signature.h"
#include "pdf/Surface.h"
#include "pdf/TextString.h"
#include "pdf/Visual.h"
#include "pdf/WidgetRect.h"
#include "pdf/XRefs.h"

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

void Field::WriteOut(int page) {
    std::FILE* const out = _env != nullptr ? _env->GetOutput() : nullptr;
    if (out == nullptr || _env->GetXRefs() == nullptr)
        throw Exception(-52, "Field::WriteOut - Output file not set");
    File* const file = _env->GetFile();
    if (file == nullptr || _ctx == nullptr || file->Document() != _xref.get())
        throw Exception(-52, "Field::WriteOut - no document");
    fz_context* const ctx = _ctx.get();

    const bool hadVisual = _visual != nullptr;
    if (!hadVisual) {
        _emptyVisual = std::make_unique<Visual>(_env);
        _visual = _emptyVisual.get();
        _visual->WriteOutEmpty();
    }

    if (!file->PagesLoaded()) throw Exception(-52, "Pages are not loaded");
    if (_page == nullptr) {
        pdf_obj* const ref = file->PageRef(page);
        if (ref == nullptr) throw Exception(-52, "Field::WriteOut - page not found");
        _page = KeepObj(ctx, ref);
    }
    _pageIndex = page - 1;

    _rect = {0, 0, 0, 0};
    const Surface* const surface = hadVisual ? _visual->GetSurface() : nullptr;
    if (surface != nullptr) {
        Logger* const log = Logger::Get();
        pdf_obj* loaded = nullptr;
        if (pdf_is_indirect(ctx, _page.get()))
            CALL_PDF(ctx, loaded = LoadIndirect(ctx, _xref.get(), _page.get()));
        else
            loaded = pdf_keep_obj(ctx, _page.get());
        const ObjPtr pageDict = AdoptObj(ctx, loaded);
        if (!pdf_is_dict(ctx, loaded)) throw Exception(-52, "Page object is not a directory");
        pdf_obj* const box = pdf_dict_get(ctx, loaded, PDF_NAME(MediaBox));
        if (!pdf_is_array(ctx, box) || pdf_array_len(ctx, box) < 4)
            throw Exception(-52, "MediaBox is not an array");
        double m[4];
        for (int i = 0; i < 4; ++i) m[i] = pdf_to_real(ctx, pdf_array_get(ctx, box, i));
        log->SetFunc("WriteOut");
        log->Log("MediaBox is %lf, %lf, %lf, %lf", m[0], m[1], m[2], m[3]);
        log->Log("Outputing visual, page height is %lf", m[3] - m[1]);
        log->Log(surface->Y() < 0 ? "Y is negative, using page coordinate origin (top)"
                                  : "Y is positive, using native PDF Y coordinate origin (bottom)");
        log->Log(surface->X() < 0 ? "X is negative, using right origin"
                                  : "X is positive using native PDF coordinate origin (left)");
        const Rect rect =
            WidgetRect::Place(surface->X(), surface->Y(), surface->Width(), surface->Height(), m);
        _rect = {rect.x1, rect.y1, rect.x2, rect.y2};
        const int rotation = file->GetPageRotationDegrees(page);
        if (rotation != 0) {
            log->SetFunc("WriteOut");
            log->Log("Document had been rotated on '%d' degrees, line# %d", rotation, __LINE__);
            AdjustFieldToDocumentRotation(rotation, m[3] - m[1], m[2] - m[0]);
        }
    }

    _oid = _env->NewOid();
    _env->GetXRefs()->AddRef(_oid, 0, Output::Position(out));
    const LocaleGuard cNumbers;
    Output::Printf(out, "%d %d obj\n<</Subtype/Widget/FT/Sig/Type/Annot/T ", _oid, 0);
    // The name is UTF-8; other readers expect a PDF text string.
    Output::Write(out, ObjectPrinter::FormatString(TextString::Encode(_name)));
    const Rect rect{_rect[0], _rect[1], _rect[2], _rect[3]};
    const std::string text =
        "/Ff " + std::to_string(_ff) + "/F " + std::to_string(_f) + WidgetRect::Format(rect);
    Logger::Get()->SetFunc("WriteOut");
    Logger::Get()->Log("%s", text.c_str());
    Output::Write(out, text);
    Output::Printf(out, "/AP<</N %d 0 R>>", _visual->GetOid());
    Output::Printf(out, "/V %d 0 R/P %d %d R>>\nendobj\n", _sigOid, pdf_to_num(ctx, _page.get()),
                   pdf_to_gen(ctx, _page.get()));
}

void Field::AdjustFieldToDocumentRotation(int rotation, double pageHeight, double pageWidth) {
    const Rect turned = WidgetRect::AdjustToRotation(Rect{_rect[0], _rect[1], _rect[2], _rect[3]}, rotation,
                                                     pageHeight, pageWidth);
    _rect = {turned.x1, turned.y1, turned.x2, turned.y2};
}

void Field::WriteOutPage() {
    if (_env == nullptr || _env->GetXRefs() == nullptr)
        throw Exception(-52, "Field - WriteOutPage XREFS object empty!");
    File* const file = _env->GetFile();
    if (file == nullptr || _ctx == nullptr || _page == nullptr || !pdf_is_indirect(_ctx.get(), _page.get()))
        throw Exception(-52, "Field - WriteOutPage page not set");
    fz_context* const ctx = _ctx.get();
    pdf_document* const doc = _xref.get();

    pdf_obj* made = nullptr;
    CALL_PDF(ctx, made = pdf_new_indirect(ctx, doc, _oid, 0));
    const ObjPtr widget = AdoptObj(ctx, made);
    CALL_PDF(ctx, made = LoadIndirect(ctx, doc, _page.get()));
    const ObjPtr loaded = AdoptObj(ctx, made);
    if (!pdf_is_dict(ctx, made)) throw Exception(-52, "Page object is not a directory");
    CALL_PDF(ctx, made = pdf_deep_copy_obj(ctx, loaded.get()));
    const ObjPtr copy = AdoptObj(ctx, made);

    pdf_obj* const annots = pdf_dict_get(ctx, copy.get(), PDF_NAME(Annots));
    if (annots == nullptr) {
        CALL_PDF(ctx, made = pdf_new_array(ctx, doc, 1); pdf_array_push(ctx, made, widget.get()));
        const ObjPtr array = AdoptObj(ctx, made);
        CALL_PDF(ctx, pdf_dict_put(ctx, copy.get(), PDF_NAME(Annots), array.get()));
        file->WriteObject(_page.get(), copy.get());
    } else if (pdf_is_indirect(ctx, annots)) {
        CALL_PDF(ctx, made = LoadIndirect(ctx, doc, annots));
        const ObjPtr target = AdoptObj(ctx, made);
        if (!pdf_is_array(ctx, made))
            throw Exception(-53, "File::WriteOutPage - Indirect annotations not an array");
        // The document's own copy stays as it was loaded.
        CALL_PDF(ctx, made = pdf_deep_copy_obj(ctx, target.get()); pdf_array_push(ctx, made, widget.get()));
        const ObjPtr array = AdoptObj(ctx, made);
        file->WriteObject(annots, array.get());
    } else if (pdf_is_array(ctx, annots)) {
        CALL_PDF(ctx, pdf_array_push(ctx, annots, widget.get()));
        file->WriteObject(_page.get(), copy.get());
    } else {
        throw Exception(-53, "File::WriteOutPage - Direct annotations not an array");
    }
}

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
    _name = pdf_is_string(ctx, name)
                ? TextString::DecodeToUtf8(std::string(pdf_to_str_buf(ctx, name), pdf_to_str_len(ctx, name)))
                : "";
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
    if (_ctx == nullptr || file == nullptr || file->Document() != _xref.get())
        throw Exception(-52, "Field::SetPage - no document");
    pdf_obj* const ref = file->PageRef(page);
    // A widget on another page than asked for would be signed as if it were right.
    if (ref == nullptr) throw Exception(-52, "Field::SetPage - page " + std::to_string(page) + " not found");
    _page = KeepObj(_ctx.get(), ref);
}

std::unique_ptr<Signature> Field::GetSignature() const {
    if (_value == nullptr) return nullptr;
    auto signature = std::make_unique<Signature>(_env);
    if (!signature->Load(_value.get())) return nullptr;
    return signature;
}

}  // namespace PDF
