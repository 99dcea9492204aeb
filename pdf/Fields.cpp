#include "pdf/Fields.h"

#include "common/Logger.h"
#include "pdf/CallPDF.h"
#include "pdf/Env.h"
#include "pdf/Exception.h"
#include "pdf/Field.h"
#include "pdf/FieldTree.h"
#include "pdf/File.h"

namespace PDF {

Fields::Fields(Env* env) : _env(env) {}

Fields::~Fields() = default;

void Fields::CleanFields() {
    _names.clear();
    _fields.clear();
}

void Fields::Load() {
    CleanFields();
    File* const file = _env != nullptr ? _env->GetFile() : nullptr;
    _xref = file != nullptr ? file->Document() : nullptr;
    if (_xref == nullptr) return;
    fz_context* const ctx = file->Context();

    std::vector<FieldTree::Node> nodes;
    if (file->Form() == nullptr) {
        Logger::Get()->SetFunc("Load");
        Logger::Get()->Log("AcroForm is absent");
    } else {
        const ObjPtr fields = LoadFields(file->Form());
        nodes = FieldTree::Walk(ctx, _xref, fields.get());
    }
    const std::size_t listed = nodes.size();
    // Signed fields whose widgets only the pages list are read too, with or
    // without a form: other readers show their signatures, and a signed copy
    // (which has a form) is read so, so signing reads what its verifier will.
    std::vector<pdf_obj*> pages;
    for (int page = 1; page <= file->PageCount(); ++page) pages.push_back(file->PageRef(page));
    for (FieldTree::Node& node : FieldTree::Unlisted(ctx, _xref, pages, nodes)) {
        Logger::Get()->SetFunc("Load");
        Logger::Get()->Log("Field %s is on a page but not in the form's /Fields", node.name.c_str());
        nodes.push_back(std::move(node));
    }
    // A damaged object among the fields or widgets made MuPDF rebuild the
    // table: what it reads now may not be the document that was opened.
    if (file->WasRepaired())
        throw Exception(Code::kRepairedWhileReading, "Fields::Load - the cross-reference data is damaged");
    for (std::size_t i = 0; i < nodes.size(); ++i) {
        const FieldTree::Node& node = nodes[i];
        Field* signature = nullptr;
        if (node.terminal && node.signature) {
            auto field = std::make_unique<Field>(_env);
            if (!field->Load(node)) throw Exception(Code::kFieldLoadFailed);
            if (pdf_is_indirect(ctx, field->GetValue())) {
                const int value = pdf_to_num(ctx, field->GetValue());
                file->KeepUnchanged(value);
                _env->AvoidOid(value);
            }
            // Of the fields the form leaves out, only signed ones are read.
            if (i < listed || field->IsSigned()) {
                signature = field.get();
                _fields.push_back(std::move(field));
            }
        }
        _names.push_back(Named{node.name, signature, i < listed});
    }
}

bool Fields::HasName(const std::string& name) const {
    for (const Named& named : _names)
        if (named.name == name) return true;
    return false;
}

Field* Fields::Fillable(const std::string& name) const {
    // Of fields sharing a name, an empty signature field is signed first.
    const Named* found = nullptr;
    for (const Named& named : _names) {
        // A field the form does not list is read, not signed into.
        if (named.name != name || !named.listed) continue;
        if (named.field != nullptr && !named.field->IsSigned()) {
            named.field->FindPage();
            return named.field;
        }
        if (found == nullptr || named.field != nullptr) found = &named;
    }
    if (found == nullptr) return nullptr;
    Logger::Get()->SetFunc("Fillable");
    if (found->field != nullptr) {
        Logger::Get()->Log("Field %s is signed already", name.c_str());
        throw Exception(Code::kAlreadySigned);
    }
    Logger::Get()->Log("Field %s is not a signature field", name.c_str());
    throw Exception(Code::kNotSignatureField);
}

ObjPtr Fields::LoadFields(pdf_obj* form) {
    const File* const file = _env->GetFile();
    fz_context* const ctx = file->Context();
    pdf_obj* const fields = CALL_PDF_NULL(pdf_dict_get(ctx, form, PDF_NAME(Fields)));
    if (pdf_is_indirect(ctx, fields)) {
        ObjPtr resolved = AdoptObj(ctx, TryLoadObject(ctx, _xref, pdf_to_num(ctx, fields)));
        if (resolved == nullptr)
            throw Exception(Code::kBadFields, "Fields::LoadFields - pdf_loadindirect failed");
        if (!pdf_is_array(ctx, resolved.get()))
            throw Exception(Code::kBadFields, "Fields::LoadFields - Indirect fields are not an array.");
        return resolved;
    }
    if (!pdf_is_array(ctx, fields))
        throw Exception(Code::kBadFields, "Fields::LoadFields - Failed to load fields from form.");
    return KeepObj(ctx, fields);
}

}  // namespace PDF
