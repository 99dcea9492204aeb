#pragma once

#include <string>
#include <vector>

#include "pdf/PDFPtr.h"

namespace PDF {

// The fields of an interactive form, found by walking its /Fields array and
// the /Kids below, parents before their children. A kid is a field of its
// own when it has a partial name (/T), or is no widget and has kids or a
// type; otherwise it is a widget annotation of its parent. A node seen before
// is not followed again, nor one deeper than kMaxDepth.
class FieldTree {
public:
    struct Node {
        ObjPtr ref;              // indirect reference of the field dictionary
        std::string name;        // fully qualified: the partial names from the top, joined by "."; UTF-8
        bool terminal = false;   // no child fields (widgets only, or none)
        bool signature = false;  // field type /Sig, its own or handed down
        bool ownType = false;    // the type is the dictionary's own /FT
        // A terminal field's widget: its first widget kid, or the field
        // itself when it is merged with its widget; null when it has none.
        ObjPtr widget;
    };

    // `fields` is the AcroForm's /Fields array. Elements that are null are
    // passed over; one that is no indirect reference, or does not load,
    // raises PDF::Exception (code 0). Broken kids are passed over.
    static std::vector<Node> Walk(fz_context* ctx, pdf_document* doc, pdf_obj* fields);

    // The terminal fields of widget annotations that the pages `pages` list
    // in /Annots but the walk `walked` did not reach (writers that forget
    // /Fields): a widget with a partial name or a type is a field of its
    // own, else its /Parent is. Names and types come through the /Parent
    // chain. Broken annotations are passed over.
    static std::vector<Node> Unlisted(fz_context* ctx, pdf_document* doc, const std::vector<pdf_obj*>& pages,
                                      const std::vector<Node>& walked);

    static constexpr int kMaxDepth = 32;
};

}  // namespace PDF
