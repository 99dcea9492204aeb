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

void PdfBuilder::Compressed(int num, const std::string& body) {
    _compressed[num] = body;
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

void PdfBuilder::WriteObjectStream(std::vector<XRefEntry>& entries) {
    if (_compressed.empty()) return;
    const int num = ++_highest;
    std::string header;
    std::string bodies;
    int index = 0;
    for (const auto& [compressed, body] : _compressed) {
        header += std::to_string(compressed) + " " + std::to_string(bodies.size()) + " ";
        bodies += body + "\n";
        entries.push_back({compressed, 2, static_cast<std::size_t>(num), index++});
    }
    const std::string data = header + bodies;
    _offsets[num] = _bytes.size();
    entries.push_back({num, 1, _bytes.size(), 0});
    _bytes += std::to_string(num) + " 0 obj\n<</Type/ObjStm/N " + std::to_string(_compressed.size()) +
              "/First " + std::to_string(header.size()) + "/Length " + std::to_string(data.size()) +
              ">>\nstream\n" + data + "\nendstream\nendobj\n";
}

void PdfBuilder::WriteXRefStream(std::vector<XRefEntry> entries, const std::string& dictExtra) {
    const int num = ++_highest;
    _offsets[num] = _bytes.size();
    entries.push_back({num, 1, _bytes.size(), 0});
    if (_first) entries.push_back({0, 0, 0, 65535});
    std::sort(entries.begin(), entries.end(),
              [](const XRefEntry& a, const XRefEntry& b) { return a.num < b.num; });
    std::string index;
    std::string data;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (i == 0 || entries[i].num != entries[i - 1].num + 1) {
            std::size_t j = i + 1;
            while (j < entries.size() && entries[j].num == entries[j - 1].num + 1) ++j;
            index +=
                (index.empty() ? "" : " ") + std::to_string(entries[i].num) + " " + std::to_string(j - i);
        }
        const XRefEntry& e = entries[i];
        data += static_cast<char>(e.type);
        for (int shift = 24; shift >= 0; shift -= 8) data += static_cast<char>((e.field >> shift) & 0xFF);
        data += static_cast<char>((e.index >> 8) & 0xFF);
        data += static_cast<char>(e.index & 0xFF);
    }
    _bytes += std::to_string(num) + " 0 obj\n<</Type/XRef/W[1 4 2]/Index[" + index + "]" + dictExtra +
              "/Length " + std::to_string(data.size()) + ">>\nstream\n" + data + "\nendstream\nendobj\n";
}

std::string PdfBuilder::TrailerEntries(int size) const {
    std::string entries = "/Size " + std::to_string(size) + "/Root " + std::to_string(_root) + " 0 R";
    if (!_prev.empty())
        entries += "/Prev " + _prev;
    else if (!_first)
        entries += "/Prev " + std::to_string(_startxref);
    return entries + _trailerExtra;
}

void PdfBuilder::EndRevision() {
    if (_form == Section::Table && !_compressed.empty())
        throw std::logic_error("compressed objects need a cross-reference stream");
    std::vector<XRefEntry> entries;
    for (const auto& [num, body] : _pending) {
        const std::size_t at = _bytes.size();
        _offsets[num] = at;
        entries.push_back({num, 1, at, 0});
        _bytes += std::to_string(num) + " 0 obj\n" + body + "\nendobj\n";
    }

    std::size_t xref = 0;
    if (_form == Section::Stream) {
        WriteObjectStream(entries);
        // The stream is the object after the object stream: one more number.
        const int size = _size >= 0 ? _size : _highest + 2;
        xref = _bytes.size();
        WriteXRefStream(entries, TrailerEntries(size));
        _bytes += "startxref\n" + std::to_string(xref) + "\n%%EOF" + _eol;
    } else {
        std::string hybrid;
        if (_form == Section::Hybrid) {
            // The stream lists only what classic readers do not see.
            std::vector<XRefEntry> compressed;
            WriteObjectStream(compressed);
            const std::size_t streamAt = _bytes.size();
            const int size = _size >= 0 ? _size : _highest + 2;
            WriteXRefStream(
                std::vector<XRefEntry>(compressed.begin(), compressed.begin() + _compressed.size()),
                "/Size " + std::to_string(size));
            for (const XRefEntry& e : compressed)
                if (e.type == 1) entries.push_back(e);
            entries.push_back({_highest, 1, streamAt, 0});
            hybrid = "/XRefStm " + std::to_string(streamAt);
        }
        xref = _bytes.size();
        _bytes += "xref\n";
        if (_first) _bytes += "0 1\n0000000000 65535 f \n";
        std::sort(entries.begin(), entries.end(),
                  [](const XRefEntry& a, const XRefEntry& b) { return a.num < b.num; });
        for (std::size_t i = 0; i < entries.size();) {
            std::size_t j = i + 1;
            while (j < entries.size() && entries[j].num == entries[j - 1].num + 1) ++j;
            _bytes += std::to_string(entries[i].num) + " " + std::to_string(j - i) + "\n";
            for (std::size_t k = i; k < j; ++k) {
                char line[32];
                std::snprintf(line, sizeof line, "%010zu 00000 n \n", entries[k].field);
                _bytes += line;
            }
            i = j;
        }
        const int size = _size >= 0 ? _size : _highest + 1;
        _bytes += "trailer\n<<" + TrailerEntries(size) + hybrid + ">>" + _beforeStartxref + "startxref\n" +
                  std::to_string(xref) + "\n%%EOF" + _eol;
    }
    _ends.push_back(_bytes.size());

    _startxref = xref;
    _first = false;
    _pending.clear();
    _compressed.clear();
    _form = Section::Table;
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
    return SignatureDictOf("Sig", "adbe.pkcs7.detached", holeBytes, extra);
}

std::string PdfBuilder::SignatureDictOf(const std::string& type, const std::string& subFilter,
                                        std::size_t holeBytes, const std::string& extra,
                                        const std::string& lead) {
    return "<</Type/" + type + "/Filter/Adobe.PPKLite/SubFilter/" + subFilter + lead + "/ByteRange " +
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

std::string PdfBuilder::Covered(int num, std::size_t end) const {
    const std::size_t start = ContentsStart(num);
    const std::size_t after = ContentsEnd(num);
    if (end < after || end > _bytes.size()) throw std::logic_error("range end outside the file");
    return _bytes.substr(0, start) + _bytes.substr(after, end - after);
}

void PdfBuilder::FillContents(int num, const std::string& der) {
    static const char kDigits[] = "0123456789ABCDEF";
    const std::size_t start = ContentsStart(num) + 1;
    if (2 * der.size() > ContentsEnd(num) - 1 - start)
        throw std::logic_error("signature larger than its hole");
    for (std::size_t i = 0; i < der.size(); ++i) {
        const auto byte = static_cast<unsigned char>(der[i]);
        _bytes[start + 2 * i] = kDigits[byte >> 4];
        _bytes[start + 2 * i + 1] = kDigits[byte & 0x0F];
    }
}

void PdfBuilder::Save(const std::string& path) const {
    WriteFile(path, _bytes);
}

}  // namespace TestSupport
