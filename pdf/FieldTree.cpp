#include "pdf/FieldTree.h"

#include <set>
#include <utility>

#include "pdf/CallPDF.h"
#include "pdf/TextString.h"

namespace PDF {

namespace {

bool IsWidget(fz_context* ctx, pdf_obj* dict) {
    return pdf_name_eq(ctx, pdf_dict_get(ctx, dict, PDF_NAME(Subtype)), PDF_NAME(Widget));
}

bool IsChildField(fz_context* ctx, pdf_obj* dict) {
    if (pdf_dict_get(ctx, dict, PDF_NAME(T)) != nullptr) return true;
    return !IsWidget(ctx, dict) && (pdf_dict_get(ctx, dict, PDF_NAME(Kids)) != nullptr ||
                                    pdf_dict_get(ctx, dict, PDF_NAME(FT)) != nullptr);
}

class Walker {
public:
    Walker(fz_context* ctx, pdf_document* doc) : _ctx(ctx), _doc(doc) {}

    // `dict` is the resolved field dictionary behind `ref`; `type` the field
    // type handed down (null at the top).
    void Visit(pdf_obj* ref, pdf_obj* dict, const std::string& parent, pdf_obj* type, int depth) {
        fz_context* const ctx = _ctx;
        if (!pdf_is_dict(ctx, dict) || !_visited.insert(pdf_to_num(ctx, ref)).second) return;

        FieldTree::Node node;
        node.ref = KeepObj(ctx, ref);
        node.name = parent;
        pdf_obj* const partial = pdf_dict_get(ctx, dict, PDF_NAME(T));
        if (pdf_is_string(ctx, partial)) {
            const std::string text = TextString::DecodeToUtf8(
                std::string(pdf_to_str_buf(ctx, partial), pdf_to_str_len(ctx, partial)));
            node.name = parent.empty() ? text : parent + "." + text;
        }
        pdf_obj* const own = pdf_dict_get(ctx, dict, PDF_NAME(FT));
        node.ownType = pdf_is_name(ctx, own);
        if (node.ownType) type = own;
        node.signature = pdf_name_eq(ctx, type, PDF_NAME(Sig));

        // Kids are indirect references by rule; others cannot be rewritten.
        std::vector<std::pair<pdf_obj*, ObjPtr>> children;
        pdf_obj* firstWidget = nullptr;
        pdf_obj* const kids = pdf_dict_get(ctx, dict, PDF_NAME(Kids));
        const int count = pdf_array_len(ctx, kids);
        for (int i = 0; i < count; ++i) {
            pdf_obj* const kid = pdf_array_get(ctx, kids, i);
            if (!pdf_is_indirect(ctx, kid)) continue;
            ObjPtr kidDict = AdoptObj(ctx, TryLoadObject(ctx, _doc, pdf_to_num(ctx, kid)));
            if (!pdf_is_dict(ctx, kidDict.get())) continue;
            if (IsChildField(ctx, kidDict.get()))
                children.emplace_back(kid, std::move(kidDict));
            else if (firstWidget == nullptr)
                firstWidget = kid;
        }
        node.terminal = children.empty();
        if (node.terminal) {
            if (firstWidget != nullptr)
                node.widget = KeepObj(ctx, firstWidget);
            else if (IsWidget(ctx, dict) || pdf_dict_get(ctx, dict, PDF_NAME(Rect)) != nullptr)
                node.widget = KeepObj(ctx, ref);
        }
        const std::string name = node.name;
        _nodes.push_back(std::move(node));

        if (depth >= FieldTree::kMaxDepth) return;
        for (const auto& [kid, kidDict] : children) Visit(kid, kidDict.get(), name, type, depth + 1);
    }

    std::vector<FieldTree::Node> Take() { return std::move(_nodes); }

private:
    fz_context* _ctx;
    pdf_document* _doc;
    std::set<int> _visited;
    std::vector<FieldTree::Node> _nodes;
};

// `ref` resolved to a dictionary, or null.
ObjPtr LoadDict(fz_context* ctx, pdf_document* doc, pdf_obj* ref) {
    if (!pdf_is_indirect(ctx, ref)) return ObjPtr(nullptr, ObjDropper{ctx});
    ObjPtr dict = AdoptObj(ctx, TryLoadObject(ctx, doc, pdf_to_num(ctx, ref)));
    return pdf_is_dict(ctx, dict.get()) ? std::move(dict) : ObjPtr(nullptr, ObjDropper{ctx});
}

}  // namespace

std::vector<FieldTree::Node> FieldTree::Unlisted(fz_context* ctx, pdf_document* doc,
                                                 const std::vector<pdf_obj*>& pages,
                                                 const std::vector<Node>& walked) {
    std::set<int> known;
    for (const Node& node : walked) {
        known.insert(pdf_to_num(ctx, node.ref.get()));
        if (node.widget != nullptr) known.insert(pdf_to_num(ctx, node.widget.get()));
    }
    std::vector<Node> found;
    for (pdf_obj* const pageRef : pages) {
        const ObjPtr page = LoadDict(ctx, doc, pageRef);
        if (page == nullptr) continue;
        pdf_obj* annots = pdf_dict_get(ctx, page.get(), PDF_NAME(Annots));
        ObjPtr resolved(nullptr, ObjDropper{ctx});
        if (pdf_is_indirect(ctx, annots)) {
            resolved = AdoptObj(ctx, TryLoadObject(ctx, doc, pdf_to_num(ctx, annots)));
            annots = resolved.get();
        }
        const int count = pdf_array_len(ctx, annots);
        for (int i = 0; i < count; ++i) {
            pdf_obj* const annot = pdf_array_get(ctx, annots, i);
            if (!pdf_is_indirect(ctx, annot) || known.count(pdf_to_num(ctx, annot)) != 0) continue;
            const ObjPtr widget = LoadDict(ctx, doc, annot);
            if (widget == nullptr || !IsWidget(ctx, widget.get())) continue;
            known.insert(pdf_to_num(ctx, annot));

            // The field: the widget itself when merged with it, else its parent.
            pdf_obj* fieldRef = annot;
            ObjPtr field = KeepObj(ctx, widget.get());
            if (pdf_dict_get(ctx, widget.get(), PDF_NAME(T)) == nullptr &&
                pdf_dict_get(ctx, widget.get(), PDF_NAME(FT)) == nullptr) {
                fieldRef = pdf_dict_get(ctx, widget.get(), PDF_NAME(Parent));
                field = LoadDict(ctx, doc, fieldRef);
                if (field == nullptr || known.count(pdf_to_num(ctx, fieldRef)) != 0) continue;
            }
            known.insert(pdf_to_num(ctx, fieldRef));

            Node node;
            node.ref = KeepObj(ctx, fieldRef);
            node.widget = KeepObj(ctx, annot);
            node.terminal = true;
            pdf_obj* const own = pdf_dict_get(ctx, field.get(), PDF_NAME(FT));
            node.ownType = pdf_is_name(ctx, own);
            // Partial names and the type up the /Parent chain, the nearest type first.
            bool typed = false;
            std::set<int> chain;
            ObjPtr at = KeepObj(ctx, field.get());
            pdf_obj* atRef = fieldRef;
            for (int depth = 0; at != nullptr && depth <= kMaxDepth; ++depth) {
                if (!chain.insert(pdf_to_num(ctx, atRef)).second) break;
                pdf_obj* const partial = pdf_dict_get(ctx, at.get(), PDF_NAME(T));
                if (pdf_is_string(ctx, partial)) {
                    const std::string text = TextString::DecodeToUtf8(
                        std::string(pdf_to_str_buf(ctx, partial), pdf_to_str_len(ctx, partial)));
                    node.name = node.name.empty() ? text : text + "." + node.name;
                }
                pdf_obj* const kind = pdf_dict_get(ctx, at.get(), PDF_NAME(FT));
                if (!typed && pdf_is_name(ctx, kind)) {
                    typed = true;
                    node.signature = pdf_name_eq(ctx, kind, PDF_NAME(Sig));
                }
                atRef = pdf_dict_get(ctx, at.get(), PDF_NAME(Parent));
                at = LoadDict(ctx, doc, atRef);
            }
            found.push_back(std::move(node));
        }
    }
    return found;
}

std::vector<FieldTree::Node> FieldTree::Walk(fz_context* ctx, pdf_document* doc, pdf_obj* fields) {
    Walker walker(ctx, doc);
    const int count = pdf_array_len(ctx, fields);
    for (int i = 0; i < count; ++i) {
        pdf_obj* const ref = pdf_array_get(ctx, fields, i);
        if (ref == nullptr || (!pdf_is_indirect(ctx, ref) && pdf_is_null(ctx, ref))) continue;
        pdf_obj* field = nullptr;
        CALL_PDF(ctx, field = LoadIndirect(ctx, doc, ref));
        const ObjPtr owner = AdoptObj(ctx, field);
        walker.Visit(ref, field, "", nullptr, 0);
    }
    return walker.Take();
}

}  // namespace PDF
