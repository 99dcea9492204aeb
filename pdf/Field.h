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
    // Takes 1-based page `page` of the document as the field's page; a number
    // outside the document leaves the page unchanged.
    void SetPage(int page);
    // The signature dictionary of /V, loaded; null when the field has no /V
    // or it is not a signature dictionary. Raises what Signature::Load raises.
    std::unique_ptr<Signature> GetSignature() const;

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
    Visual* _visual = nullptr;  // not owned
};

}  // namespace PDF
