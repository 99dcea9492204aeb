#include "pdf/Field.h"

#include "common/Logger.h"
#include "pdf/CallPDF.h"
#include "pdf/DictEdit.h"
#include "pdf/Env.h"
#include "pdf/Exception.h"
#include "pdf/File.h"
#include "pdf/LocaleGuard.h"
#include "pdf/ObjectPrinter.h"
#include "pdf/Output.h"
#include "pdf/PageGeometry.h"
#include "pdf/Signature.h"
#include "pdf/Surface.h"
#include "pdf/TextString.h"
#include "pdf/Visual.h"
#include "pdf/WidgetRect.h"
#include "pdf/XRefs.h"

namespace PDF {

namespace {

// A value written as null counts as absent. A reference counts as present
// even when its object does not load: a broken value is never taken for an
// empty field to sign into.
ObjPtr KeepPresent(fz_context* ctx, pdf_obj* obj) {
    return !pdf_is_indirect(ctx, obj) && pdf_is_null(ctx, obj) ? ObjPtr(nullptr, ObjDropper{ctx})
                                                               : KeepObj(ctx, obj);
}

// The object `ref` names (a new reference), or `ref` itself when direct;
// raises for a reference that does not load.
ObjPtr LoadDictionary(fz_context* ctx, pdf_document* doc, pdf_obj* ref) {
    pdf_obj* loaded = nullptr;
    if (pdf_is_indirect(ctx, ref))
        CALL_PDF(ctx, loaded = LoadIndirect(ctx, doc, ref));
    else
        loaded = pdf_keep_obj(ctx, ref);
    return AdoptObj(ctx, loaded);
}

// The page `ref` names, which the update rewrites. An object the page tree
// names but that is something else (a signature dictionary, say) is refused:
// rewriting it would change another signature's bytes.
ObjPtr LoadPage(fz_context* ctx, pdf_document* doc, pdf_obj* ref) {
    ObjPtr page = LoadDictionary(ctx, doc, ref);
    if (!pdf_is_dict(ctx, page.get()))
        throw Exception(Code::kBadPageObject, "Page object is not a directory");
    pdf_obj* const type = pdf_dict_get(ctx, page.get(), PDF_NAME(Type));
    if (pdf_is_name(ctx, type) && !pdf_name_eq(ctx, type, PDF_NAME(Page)))
        throw Exception(Code::kBadPageObject, std::string("Page object is a /") + pdf_to_name(ctx, type));
    return page;
}

// The four numbers of a rectangle array; false (zeros) for anything else.
bool ReadRect(fz_context* ctx, pdf_obj* array, std::array<float, 4>& rect) {
    rect = {0, 0, 0, 0};
    if (!pdf_is_array(ctx, array) || pdf_array_len(ctx, array) != 4) return false;
    for (int i = 0; i < 4; ++i) rect[i] = pdf_to_real(ctx, pdf_array_get(ctx, array, i));
    return true;
}

// Whether the annotation array `annots` lists object `num`.
bool Lists(fz_context* ctx, pdf_obj* annots, int num) {
    const int count = pdf_array_len(ctx, annots);
    for (int i = 0; i < count; ++i)
        if (pdf_to_num(ctx, pdf_array_get(ctx, annots, i)) == num) return true;
    return false;
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
        throw Exception(Code::kNoOutput, "Field::WriteOut - Output file not set");
    File* const file = _env->GetFile();
    if (file == nullptr || _ctx == nullptr || file->Document() != _xref.get())
        throw Exception(Code::kNoDocument, "Field::WriteOut - no document");
    fz_context* const ctx = _ctx.get();

    if (!file->PagesLoaded()) throw Exception(Code::kPagesNotLoaded, "Pages are not loaded");
    if (_page == nullptr) {
        pdf_obj* const ref = file->PageRef(page);
        if (ref == nullptr) throw Exception(Code::kPageOutOfRange, "Field::WriteOut - page not found");
        _page = KeepObj(ctx, ref);
    }
    _pageIndex = PageNumber(_page.get()) - 1;

    const bool hadVisual = _visual != nullptr;
    if (!hadVisual) {
        _emptyVisual = std::make_unique<Visual>(_env);
        _emptyVisual->SetPageRotation(PageRotation());
        _visual = _emptyVisual.get();
        _visual->WriteOutEmpty();
    }
    const Surface* const surface = hadVisual ? _visual->GetSurface() : nullptr;
    if (IsLoaded()) {
        WriteOutLoaded(surface);
        return;
    }

    _rect = {0, 0, 0, 0};
    if (surface != nullptr) {
        const Rect rect = PlaceSurface(*surface);
        _rect = {rect.x1, rect.y1, rect.x2, rect.y2};
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
    pdf_obj* made = nullptr;
    CALL_PDF(ctx, made = pdf_new_indirect(ctx, _xref.get(), _oid, 0));
    _widget = AdoptObj(ctx, made);
}

Rect Field::PlaceSurface(const Surface& surface) {
    fz_context* const ctx = _ctx.get();
    const ObjPtr page = LoadPage(ctx, _xref.get(), _page.get());
    // Inherited boxes and turn, as the page is shown.
    const PageGeometry geometry = PageGeometry::Read(ctx, page.get());
    const double* const m = geometry.mediaBox;
    Logger* const log = Logger::Get();
    log->SetFunc("WriteOut");
    log->Log("MediaBox is %lf, %lf, %lf, %lf", m[0], m[1], m[2], m[3]);
    if (geometry.hasCropBox) {
        const double* const c = geometry.cropBox;
        log->Log("CropBox is %lf, %lf, %lf, %lf", c[0], c[1], c[2], c[3]);
    }
    log->Log("Outputing visual, page height is %lf", geometry.Height());
    log->Log(surface.Y() < 0 ? "Y is negative, using page coordinate origin (top)"
                             : "Y is positive, using native PDF Y coordinate origin (bottom)");
    log->Log(surface.X() < 0 ? "X is negative, using right origin"
                             : "X is positive using native PDF coordinate origin (left)");
    if (geometry.rotation != 0)
        log->Log("Document had been rotated on '%d' degrees, line# %d", geometry.rotation, __LINE__);
    return WidgetRect::PlaceOnPage(surface.X(), surface.Y(), surface.Width(), surface.Height(), geometry.box,
                                   geometry.rotation);
}

void Field::WriteOutLoaded(const Surface* surface) {
    fz_context* const ctx = _ctx.get();
    pdf_document* const doc = _xref.get();
    File* const file = _env->GetFile();
    // A field without a widget becomes its own widget.
    pdf_obj* const widgetRef = _widget != nullptr ? _widget.get() : _ref.get();
    const bool merged = pdf_to_num(ctx, widgetRef) == pdf_to_num(ctx, _ref.get());

    const ObjPtr loaded = LoadDictionary(ctx, doc, widgetRef);
    if (!pdf_is_dict(ctx, loaded.get()))
        throw Exception(Code::kBadPageObject, "Field::WriteOut - widget is not a dictionary");
    pdf_obj* made = nullptr;
    CALL_PDF(ctx, made = pdf_deep_copy_obj(ctx, loaded.get()));
    const ObjPtr widget = AdoptObj(ctx, made);
    CALL_PDF(ctx, made = pdf_new_indirect(ctx, doc, _sigOid, 0));
    const ObjPtr value = AdoptObj(ctx, made);

    // The widget keeps a rectangle it has; a visible appearance is scaled into it.
    std::array<float, 4> rect{};
    const bool hasRect = ReadRect(ctx, pdf_dict_get(ctx, widget.get(), PDF_NAME(Rect)), rect);
    const bool hasArea = hasRect && rect[0] != rect[2] && rect[1] != rect[3];
    Logger::Get()->SetFunc("WriteOut");
    if (surface != nullptr && hasArea) {
        Logger::Get()->Log("Appearance goes into the rectangle of field %s", _name.c_str());
    } else if (surface != nullptr || !hasRect) {
        Rect placed;
        if (surface != nullptr) placed = PlaceSurface(*surface);
        rect = {placed.x1, placed.y1, placed.x2, placed.y2};
        CALL_PDF(ctx, made = pdf_new_array(ctx, doc, 4); for (float v
                                                              : rect) pdf_array_push_real(ctx, made, v));
        const ObjPtr array = AdoptObj(ctx, made);
        CALL_PDF(ctx, DictEdit::Put(ctx, widget.get(), PDF_NAME(Rect), array.get()));
    }
    _rect = rect;

    CALL_PDF(ctx, made = pdf_new_dict(ctx, doc, 1));
    const ObjPtr appearance = AdoptObj(ctx, made);
    CALL_PDF(ctx, made = pdf_new_indirect(ctx, doc, _visual->GetOid(), 0));
    const ObjPtr form = AdoptObj(ctx, made);
    CALL_PDF(ctx, pdf_dict_put(ctx, appearance.get(), PDF_NAME(N), form.get());
             DictEdit::Put(ctx, widget.get(), PDF_NAME(AP), appearance.get()));
    pdf_obj* const ownPage = pdf_dict_get(ctx, widget.get(), PDF_NAME(P));
    if (!pdf_is_indirect(ctx, ownPage) || pdf_to_num(ctx, ownPage) != pdf_to_num(ctx, _page.get()))
        CALL_PDF(ctx, DictEdit::Put(ctx, widget.get(), PDF_NAME(P), _page.get()));
    // What an annotation needs and a bare field lacks.
    if (pdf_dict_get(ctx, widget.get(), PDF_NAME(Type)) == nullptr)
        CALL_PDF(ctx, DictEdit::Put(ctx, widget.get(), PDF_NAME(Type), PDF_NAME(Annot)));
    if (pdf_dict_get(ctx, widget.get(), PDF_NAME(Subtype)) == nullptr)
        CALL_PDF(ctx, DictEdit::Put(ctx, widget.get(), PDF_NAME(Subtype), PDF_NAME(Widget)));
    if (pdf_dict_get(ctx, widget.get(), PDF_NAME(F)) == nullptr) {
        CALL_PDF(ctx, made = pdf_new_int(ctx, 132));
        const ObjPtr flags = AdoptObj(ctx, made);
        CALL_PDF(ctx, DictEdit::Put(ctx, widget.get(), PDF_NAME(F), flags.get()));
    }

    Logger::Get()->SetFunc("WriteOut");
    Logger::Get()->Log("Signing field %s in place, widget %d %d", _name.c_str(), pdf_to_num(ctx, widgetRef),
                       pdf_to_gen(ctx, widgetRef));
    // The value belongs to the field; readers that take a field's one widget
    // kid for the field find it there as well.
    CALL_PDF(ctx, DictEdit::Put(ctx, widget.get(), PDF_NAME(V), value.get()));
    if (!merged) {
        CALL_PDF(ctx, made = pdf_deep_copy_obj(ctx, _dict.get()));
        const ObjPtr field = AdoptObj(ctx, made);
        CALL_PDF(ctx, DictEdit::Put(ctx, field.get(), PDF_NAME(V), value.get()));
        file->WriteObject(_ref.get(), field.get());
    }
    file->WriteObject(widgetRef, widget.get());
    _oid = pdf_to_num(ctx, widgetRef);
    _widget = KeepObj(ctx, widgetRef);
}

void Field::AdjustFieldToDocumentRotation(int rotation, double pageHeight, double pageWidth) {
    const Rect turned = WidgetRect::AdjustToRotation(Rect{_rect[0], _rect[1], _rect[2], _rect[3]}, rotation,
                                                     pageHeight, pageWidth);
    _rect = {turned.x1, turned.y1, turned.x2, turned.y2};
}

void Field::WriteOutPage() {
    if (_env == nullptr || _env->GetXRefs() == nullptr)
        throw Exception(Code::kNoXRefs, "Field - WriteOutPage XREFS object empty!");
    File* const file = _env->GetFile();
    if (file == nullptr || _ctx == nullptr || _page == nullptr || !pdf_is_indirect(_ctx.get(), _page.get()))
        throw Exception(Code::kPageOutOfRange, "Field - WriteOutPage page not set");
    fz_context* const ctx = _ctx.get();
    pdf_document* const doc = _xref.get();

    pdf_obj* made = nullptr;
    CALL_PDF(ctx, made = pdf_new_indirect(ctx, doc, _oid,
                                          _widget != nullptr ? pdf_to_gen(ctx, _widget.get()) : 0));
    const ObjPtr widget = AdoptObj(ctx, made);
    const ObjPtr loaded = LoadPage(ctx, doc, _page.get());
    // A field signed where it is may be shown on its page already.
    if (IsLoaded() && Lists(ctx, pdf_dict_get(ctx, loaded.get(), PDF_NAME(Annots)), _oid)) return;
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
            throw Exception(Code::kBadAnnots, "File::WriteOutPage - Indirect annotations not an array");
        // The document's own copy stays as it was loaded.
        CALL_PDF(ctx, made = pdf_deep_copy_obj(ctx, target.get()); pdf_array_push(ctx, made, widget.get()));
        const ObjPtr array = AdoptObj(ctx, made);
        file->WriteObject(annots, array.get());
    } else if (pdf_is_array(ctx, annots)) {
        CALL_PDF(ctx, pdf_array_push(ctx, annots, widget.get()));
        file->WriteObject(_page.get(), copy.get());
    } else {
        throw Exception(Code::kBadAnnots, "File::WriteOutPage - Direct annotations not an array");
    }
}

bool Field::Load(pdf_obj* ref, bool typeHandedDown) {
    fz_context* const ctx = _ctx.get();
    if (ctx == nullptr || !pdf_is_indirect(ctx, ref)) return false;
    _dict = AdoptObj(ctx, TryLoadObject(ctx, _xref.get(), pdf_to_num(ctx, ref)));
    pdf_obj* const dict = _dict.get();
    if (!pdf_is_dict(ctx, dict)) return false;
    pdf_obj* const type = pdf_dict_get(ctx, dict, PDF_NAME(FT));
    if (!pdf_name_eq(ctx, type, PDF_NAME(Sig)) && !(typeHandedDown && type == nullptr)) return false;

    _ref = KeepObj(ctx, ref);
    pdf_obj* const name = pdf_dict_get(ctx, dict, PDF_NAME(T));
    _name = pdf_is_string(ctx, name)
                ? TextString::DecodeToUtf8(std::string(pdf_to_str_buf(ctx, name), pdf_to_str_len(ctx, name)))
                : "";
    _ff = pdf_to_int(ctx, pdf_dict_get(ctx, dict, PDF_NAME(Ff)));
    ReadWidgetEntries(dict);
    _value = KeepPresent(ctx, pdf_dict_get(ctx, dict, PDF_NAME(V)));
    return true;
}

bool Field::Load(const FieldTree::Node& node) {
    fz_context* const ctx = _ctx.get();
    if (!Load(node.ref.get(), node.signature && !node.ownType)) return false;
    _name = node.name;
    _widget = KeepObj(ctx, node.widget.get());
    if (_widget != nullptr && pdf_to_num(ctx, _widget.get()) != pdf_to_num(ctx, _ref.get())) {
        const ObjPtr widget = AdoptObj(ctx, TryLoadObject(ctx, _xref.get(), pdf_to_num(ctx, _widget.get())));
        if (pdf_is_dict(ctx, widget.get())) {
            ReadWidgetEntries(widget.get());
            // Some writers sign a field with one widget kid on the kid.
            if (_value == nullptr) _value = KeepPresent(ctx, pdf_dict_get(ctx, widget.get(), PDF_NAME(V)));
        }
    }
    return true;
}

void Field::ReadWidgetEntries(pdf_obj* dict) {
    fz_context* const ctx = _ctx.get();
    _f = pdf_to_int(ctx, pdf_dict_get(ctx, dict, PDF_NAME(F)));
    ReadRect(ctx, pdf_dict_get(ctx, dict, PDF_NAME(Rect)), _rect);
    _page = KeepPresent(ctx, pdf_dict_get(ctx, dict, PDF_NAME(P)));
}

void Field::SetPage(int page) {
    const File* const file = _env != nullptr ? _env->GetFile() : nullptr;
    if (_ctx == nullptr || file == nullptr || file->Document() != _xref.get())
        throw Exception(Code::kNoDocument, "Field::SetPage - no document");
    pdf_obj* const ref = file->PageRef(page);
    // A widget on another page than asked for would be signed as if it were right.
    if (ref == nullptr)
        throw Exception(Code::kPageOutOfRange,
                        "Field::SetPage - page " + std::to_string(page) + " not found");
    _page = KeepObj(_ctx.get(), ref);
}

bool Field::FindPage() {
    const File* const file = _env != nullptr ? _env->GetFile() : nullptr;
    if (!IsLoaded() || file == nullptr || file->Document() != _xref.get()) return false;
    fz_context* const ctx = _ctx.get();
    const int number = PageNumber(_page.get());
    if (number > 0) {
        _page = KeepObj(ctx, file->PageRef(number));
        return true;
    }
    _page.reset();
    const int widget = pdf_to_num(ctx, _widget != nullptr ? _widget.get() : _ref.get());
    for (int page = 1; page <= file->PageCount(); ++page) {
        pdf_obj* const dict = pdf_resolve_indirect(ctx, file->PageRef(page));
        if (Lists(ctx, pdf_dict_get(ctx, dict, PDF_NAME(Annots)), widget)) {
            _page = KeepObj(ctx, file->PageRef(page));
            return true;
        }
    }
    return false;
}

int Field::PageNumber(pdf_obj* ref) const {
    const File* const file = _env != nullptr ? _env->GetFile() : nullptr;
    fz_context* const ctx = _ctx.get();
    if (file == nullptr || ctx == nullptr || !pdf_is_indirect(ctx, ref)) return 0;
    for (int page = 1; page <= file->PageCount(); ++page)
        if (pdf_to_num(ctx, file->PageRef(page)) == pdf_to_num(ctx, ref)) return page;
    return 0;
}

int Field::PageRotation(int page) const {
    const File* const file = _env != nullptr ? _env->GetFile() : nullptr;
    if (file == nullptr || _ctx == nullptr) return 0;
    fz_context* const ctx = _ctx.get();
    const ObjPtr dict =
        LoadDictionary(ctx, _xref.get(), _page != nullptr ? _page.get() : file->PageRef(page));
    return pdf_is_dict(ctx, dict.get()) ? PageGeometry::Rotation(ctx, dict.get()) : 0;
}

std::unique_ptr<Signature> Field::GetSignature() const {
    if (_value == nullptr) return nullptr;
    auto signature = std::make_unique<Signature>(_env);
    if (!signature->Load(_value.get())) return nullptr;
    return signature;
}

}  // namespace PDF
