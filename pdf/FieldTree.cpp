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

}  // namespace

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
