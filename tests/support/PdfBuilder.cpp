#include "support/PdfBuilder.h"

#include <algorithm>
#include <cstdio>
#include <stdexcept>

#include "support/TempDir.h"

namespace TestSupport {

namespace {

const char kPlaceholder[] = "[0000000000 0000000000 0000000000 0000000000]";

}  // namespace

PdfBuilder::PdfBuilder(const std::string& version) {
    // The binary comment line marks the file as binary, as writers do.
    _bytes = "%PDF-" + version + "\n%\xE2\xE3\xCF\xD3\n";
}

void PdfBuilder::Object(int num, const std::string& body) {
    _pending[num] = body;
    _highest = std::max(_highest, num);
}

int PdfBuilder::Add(const std::string& body) {
    const int num = NextNumber();
    Object(num, body);
    return num;
}

int PdfBuilder::NextNumber() const {
    return _highest + 1;
}

void PdfBuilder::BasicDocument(int pages, const std::string& catalogExtra,
                               const std::string& firstPageExtra) {
    std::vector<Page> list(static_cast<std::size_t>(pages));
    if (!list.empty()) list[0].extra = firstPageExtra;
    Document(list, catalogExtra);
}

void PdfBuilder::Document(const std::vector<Page>& pages, const std::string& catalogExtra,
                          const std::string& treeExtra) {
    Object(1, "<</Type/Catalog/Pages 2 0 R" + catalogExtra + ">>");
    std::string kids;
    for (std::size_t i = 0; i < pages.size(); ++i) {
        const int num = PageObject(static_cast<int>(i) + 1);
        kids += (i ? " " : "") + std::to_string(num) + " 0 R";
        const std::string box = pages[i].mediaBox.empty() ? "" : "/MediaBox" + pages[i].mediaBox;
        Object(num, "<</Type/Page/Parent 2 0 R" + box + pages[i].extra + ">>");
    }
    Object(2, "<</Type/Pages/Kids[" + kids + "]/Count " + std::to_string(pages.size()) + treeExtra + ">>");
}

namespace {

// `body` with `entries` added before its closing ">>".
std::string WithEntries(std::string body, const std::string& entries) {
    const std::size_t end = body.rfind(">>");
    if (end == std::string::npos) throw std::logic_error("not a dictionary: " + body);
    return body.insert(end, entries);
}

}  // namespace

void PdfBuilder::Annotate(int page, int num) {
    std::string& body = _pending.at(PageObject(page));
    const std::string ref = std::to_string(num) + " 0 R";
    const std::size_t annots = body.find("/Annots[");
    if (annots == std::string::npos)
        body = WithEntries(body, "/Annots[" + ref + "]");
    else
        body.insert(body.find(']', annots), " " + ref);
}

int PdfBuilder::AcroForm(const std::vector<int>& fields, const std::string& extra) {
    std::string list;
    for (int num : fields) list += (list.empty() ? "" : " ") + std::to_string(num) + " 0 R";
    const int num = Add("<</Fields[" + list + "]" + extra + ">>");
    _pending.at(1) = WithEntries(_pending.at(1), "/AcroForm " + std::to_string(num) + " 0 R");
    return num;
}

int PdfBuilder::EmptySignatureField(const std::string& name, int page, const std::string& rect,
                                    const std::string& extra) {
    const int num = Add("<</FT/Sig/T(" + name + ")/Type/Annot/Subtype/Widget/Rect" + rect + "/P " +
                        std::to_string(PageObject(page)) + " 0 R/F 132" + extra + ">>");
    Annotate(page, num);
    return num;
}

void PdfBuilder::EndRevision() {
    std::vector<std::pair<int, std::size_t>> entries;
    for (const auto& [num, body] : _pending) {
        const std::size_t at = _bytes.size();
        _offsets[num] = at;
        entries.emplace_back(num, at);
        _bytes += std::to_string(num) + " 0 obj\n" + body + "\nendobj\n";
    }
    const std::size_t xref = _bytes.size();
    _bytes += "xref\n";
    if (_first) _bytes += "0 1\n0000000000 65535 f \n";
    for (std::size_t i = 0; i < entries.size();) {
        std::size_t j = i + 1;
        while (j < entries.size() && entries[j].first == entries[j - 1].first + 1) ++j;
        _bytes += std::to_string(entries[i].first) + " " + std::to_string(j - i) + "\n";
        for (std::size_t k = i; k < j; ++k) {
            char line[32];
            std::snprintf(line, sizeof line, "%010zu 00000 n \n", entries[k].second);
            _bytes += line;
        }
        i = j;
    }
    const int size = _size >= 0 ? _size : _highest + 1;
    std::string trailer =
        "trailer\n<</Size " + std::to_string(size) + "/Root " + std::to_string(_root) + " 0 R";
    if (!_prev.empty())
        trailer += "/Prev " + _prev;
    else if (!_first)
        trailer += "/Prev " + std::to_string(_startxref);
    trailer += _trailerExtra + ">>";
    _bytes += trailer + _beforeStartxref + "startxref\n" + std::to_string(xref) + "\n%%EOF" + _eol;
    _ends.push_back(_bytes.size());

    _startxref = xref;
    _first = false;
    _pending.clear();
    _size = -1;
    _prev.clear();
    _trailerExtra.clear();
    _eol = "\n";
    _beforeStartxref = "\n";
}

std::size_t PdfBuilder::Offset(int num) const {
    return _offsets.at(num);
}

std::string PdfBuilder::SignatureDict(const std::string& extra, std::size_t holeBytes) {
    return "<</Type/Sig/Filter/Adobe.PPKLite/SubFilter/adbe.pkcs7.detached/ByteRange " +
           std::string(kPlaceholder) + "/Contents <" + std::string(2 * holeBytes, '0') + ">" + extra + ">>";
}

std::size_t PdfBuilder::ContentsStart(int num) const {
    const std::size_t key = _bytes.find("/Contents", Offset(num));
    if (key == std::string::npos) throw std::logic_error("no /Contents");
    return _bytes.find_first_of("<(", key);
}

std::size_t PdfBuilder::ContentsEnd(int num) const {
    return _bytes.find('>', ContentsStart(num)) + 1;
}

void PdfBuilder::SetByteRange(int num, long long b1, long long b2, long long b3, long long b4) {
    const std::size_t at = _bytes.find(kPlaceholder, Offset(num));
    if (at == std::string::npos) throw std::logic_error("no /ByteRange placeholder");
    std::string range = "[" + std::to_string(b1) + " " + std::to_string(b2) + " " + std::to_string(b3) + " " +
                        std::to_string(b4) + "]";
    const std::size_t width = sizeof kPlaceholder - 1;
    if (range.size() > width) throw std::logic_error("byte range too wide");
    range.resize(width, ' ');
    _bytes.replace(at, width, range);
}

void PdfBuilder::CoverUpTo(int num, std::size_t end) {
    const std::size_t start = ContentsStart(num);
    const std::size_t after = ContentsEnd(num);
    SetByteRange(num, 0, static_cast<long long>(start), static_cast<long long>(after),
                 static_cast<long long>(end - after));
}

void PdfBuilder::Save(const std::string& path) const {
    WriteFile(path, _bytes);
}

}  // namespace TestSupport
