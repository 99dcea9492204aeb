#include "support/SignedBuilderDocument.h"

#include <stdexcept>

namespace TestSupport {

namespace {

const char kId[] = "/ID[<00112233445566778899AABBCCDDEEFF><00112233445566778899AABBCCDDEEFF>]";

std::string References(const std::vector<int>& nums) {
    std::string text;
    for (const int num : nums) text += (text.empty() ? "" : " ") + std::to_string(num) + " 0 R";
    return "[" + text + "]";
}

}  // namespace

SignedBuilderDocument::SignedBuilderDocument(const std::string& version) : _pdf(version) {
    // The form is an object of its own, as most writers make it: programs
    // that add a field then update it in place.
    _pdf.BasicDocument(1, "/AcroForm 4 0 R");
    _pdf.Object(4, "<</Fields[]/SigFlags 3>>");
    _pdf.TrailerExtra(kId);
    _pdf.EndRevision();
}

int SignedBuilderDocument::AddSignature(const Field& field, const Maker& make) {
    const int fieldNum = _pdf.NextNumber();
    const int sigNum = fieldNum + 1;
    _fields.push_back(fieldNum);
    if (field.listed) _listed.push_back(fieldNum);
    _pdf.Object(1, "<</Type/Catalog/Pages 2 0 R/AcroForm 4 0 R" + field.catalogExtra + ">>");
    _pdf.Object(4, "<</Fields" + References(_listed) + "/SigFlags 3>>");
    _pdf.Object(3, "<</Type/Page/Parent 2 0 R/MediaBox[0 0 612 792]/Annots" + References(_fields) + ">>");
    _pdf.Object(fieldNum, "<</FT/Sig/T(" + field.name +
                              ")/Type/Annot/Subtype/Widget/Rect[0 0 0 0]/P 3 0 R/F 132/V " +
                              std::to_string(sigNum) + " 0 R>>");
    _pdf.Object(sigNum, PdfBuilder::SignatureDictOf(field.type, field.subFilter, field.holeBytes,
                                                    field.dictExtra, field.dictLead));
    _pdf.TrailerExtra(kId);
    _pdf.EndRevision();
    const std::size_t end = _pdf.Bytes().size();
    _pdf.CoverUpTo(sigNum, end);
    _ends.emplace_back(sigNum, end);
    _pdf.FillContents(sigNum, make(_pdf.Covered(sigNum, end)));
    return sigNum;
}

void SignedBuilderDocument::AddUpdate(const std::string& body) {
    _pdf.Add(body);
    _pdf.TrailerExtra(kId);
    _pdf.EndRevision();
}

std::string SignedBuilderDocument::Covered(int num) const {
    for (const auto& [sig, end] : _ends)
        if (sig == num) return _pdf.Covered(num, end);
    throw std::logic_error("no such signature");
}

}  // namespace TestSupport
