#pragma once

#include <array>
#include <memory>
#include <string>

#include "pdf/PDFPtr.h"
#include "pdf/Signature.h"

namespace PDF {

class Env;
class Visual;

// One signature field: loaded from the document's AcroForm for verification,
// or the new field a sign operation writes.
class Field {
public:
    explicit Field(Env* env);
    ~Field();
    Field(const Field&) = delete;
    Field& operator=(const Field&) = delete;

    // Loads the field dictionary behind the indirect reference `ref`. False
    // unless it is a signature field (/FT /Sig) that has both /P and /V.
    bool Load(pdf_obj* ref);
    // Takes 1-based page `page` of the document as the field's page; raises
    // PDF::Exception (-52) for a number outside the document, whose page
    // then stays unchanged.
    void SetPage(int page);
    // The signature dictionary of /V, loaded; null when the field has no /V
    // or it is not a signature dictionary. Raises what Signature::Load raises.
    std::unique_ptr<Signature> GetSignature() const;

    // Writing the new field of a sign operation (raise PDF::Exception).

    // The field's /T, UTF-8 (written as a PDF text string).
    void SetName(const std::string& name) { _name = name; }
    // Object number of the signature dictionary /V points to.
    void SetSigOid(int oid) { _sigOid = oid; }
    // The written appearance of a visible signature; not owned.
    void SetVisual(Visual* visual) { _visual = visual; }
    Visual* GetVisual() const { return _visual; }
    // Writes the widget annotation (with an empty appearance first when the
    // field has none); `page` is the 1-based page used when SetPage was not
    // called, and whose /Rotate turns the rectangle.
    void WriteOut(int page);
    // Rewrites the field's page, or its /Annots array, with the widget added.
    void WriteOutPage();
    // Turns the rectangle for a rotated document (see WidgetRect).
    void AdjustFieldToDocumentRotation(int rotation, double pageHeight, double pageWidth);

    // UTF-8; a loaded /T is decoded from its text string.
    const std::string& GetName() const { return _name; }
    int GetFf() const { return _ff; }
    int GetF() const { return _f; }
    // x1, y1, x2, y2 in PDF points.
    const std::array<float, 4>& GetRect() const { return _rect; }
    pdf_obj* GetRef() const { return _ref.get(); }
    pdf_obj* GetValue() const { return _value.get(); }
    pdf_obj* GetPage() const { return _page.get(); }
    int GetOid() const { return _oid; }

private:
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
    // Filled when the field is written by a sign operation.
    int _oid = 0;
    int _pageIndex = 0;
    int _sigOid = 0;
    Visual* _visual = nullptr;  // not owned, unless it is _emptyVisual
    std::unique_ptr<Visual> _emptyVisual;
};

}  // namespace PDF
