#pragma once

#include <array>
#include <memory>
#include <string>

#include "pdf/FieldTree.h"
#include "pdf/PDFPtr.h"
#include "pdf/Signature.h"
#include "pdf/WidgetRect.h"

namespace PDF {

class Env;
class Surface;
class Visual;

// One signature field: loaded from the document's AcroForm for verification
// or to be signed into, or the new field a sign operation writes.
class Field {
public:
    explicit Field(Env* env);
    ~Field();
    Field(const Field&) = delete;
    Field& operator=(const Field&) = delete;

    // Loads the field dictionary behind the indirect reference `ref`. False
    // unless it is a dictionary whose own /FT is /Sig, or has none when
    // `typeHandedDown` (a parent gives the type). A field without /V is an
    // empty one, still to be signed.
    bool Load(pdf_obj* ref, bool typeHandedDown = false);
    // Loads a terminal signature field the form's tree walk found: its fully
    // qualified name, and /Rect, /F and /P from its widget.
    bool Load(const FieldTree::Node& node);
    // Takes 1-based page `page` of the document as the field's page; raises
    // PDF::Exception (Code::kPageOutOfRange) for a number outside the document, whose page
    // then stays unchanged.
    void SetPage(int page);
    // For a loaded field: takes the page its widget sits on, named by the
    // widget's /P or found in a page's /Annots; false (no page) when neither
    // names a page of the document.
    bool FindPage();
    // The turn of the field's page (0, 90, 180, 270); page `page` when the
    // field has none yet.
    int PageRotation(int page = 1) const;
    // The signature dictionary of /V, loaded; null when the field has no /V
    // or it is not a signature dictionary. Raises what Signature::Load raises.
    std::unique_ptr<Signature> GetSignature() const;

    // Writing the field of a sign operation (raise PDF::Exception). A new
    // field gets a widget object of its own; a loaded empty field is signed
    // where it is: its dictionaries are rewritten with /V and the appearance
    // and keep their other entries.

    // The field's /T, UTF-8 (written as a PDF text string).
    void SetName(const std::string& name) { _name = name; }
    // Object number of the signature dictionary /V points to.
    void SetSigOid(int oid) { _sigOid = oid; }
    // The written appearance of a visible signature; not owned.
    void SetVisual(Visual* visual) { _visual = visual; }
    Visual* GetVisual() const { return _visual; }
    // Writes the widget annotation (with an empty appearance first when the
    // field has none); `page` is the 1-based page used when the field has
    // none. A visible appearance goes into a loaded widget's rectangle when
    // it has one, else to the place its surface names on the field's page.
    void WriteOut(int page);
    // Rewrites the field's page, or its /Annots array, with the widget added;
    // nothing when the widget is listed there already.
    void WriteOutPage();
    // Turns the rectangle for a rotated page (see WidgetRect).
    void AdjustFieldToDocumentRotation(int rotation, double pageHeight, double pageWidth);

    // UTF-8; a loaded field's fully qualified name.
    const std::string& GetName() const { return _name; }
    int GetFf() const { return _ff; }
    int GetF() const { return _f; }
    // x1, y1, x2, y2 in PDF points.
    const std::array<float, 4>& GetRect() const { return _rect; }
    pdf_obj* GetRef() const { return _ref.get(); }
    pdf_obj* GetValue() const { return _value.get(); }
    pdf_obj* GetPage() const { return _page.get(); }
    // The widget annotation: a loaded field's (null when it has none), or
    // the written one.
    pdf_obj* GetWidget() const { return _widget.get(); }
    // A field of the document (loaded), not one this update adds.
    bool IsLoaded() const { return _ref != nullptr; }
    bool IsSigned() const { return _value != nullptr; }
    int GetOid() const { return _oid; }

private:
    // The rectangle of `surface` on the field's page, logged.
    Rect PlaceSurface(const Surface& surface);
    // Writes the loaded field and its widget with /V and the appearance;
    // `surface` is that of a visible signature, else null.
    void WriteOutLoaded(const Surface* surface);
    // /F, /Rect and /P of the widget dictionary `dict`.
    void ReadWidgetEntries(pdf_obj* dict);
    // The 1-based number of the page `ref` names; 0 when it is none.
    int PageNumber(pdf_obj* ref) const;

    Env* _env;
    ContextPtr _ctx;  // first: outlives the handles below
    DocPtr _xref;
    std::string _name;
    int _ff = 1;
    int _f = 132;  // print and locked
    std::array<float, 4> _rect{};
    ObjPtr _ref;
    ObjPtr _dict;
    ObjPtr _value;
    ObjPtr _page;
    ObjPtr _widget;
    // Filled when the field is written by a sign operation.
    int _oid = 0;
    int _pageIndex = 0;
    int _sigOid = 0;
    Visual* _visual = nullptr;  // not owned, unless it is _emptyVisual
    std::unique_ptr<Visual> _emptyVisual;
};

}  // namespace PDF
