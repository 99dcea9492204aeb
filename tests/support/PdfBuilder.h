#pragma once

#include <cstddef>
#include <map>
#include <string>
#include <vector>

namespace TestSupport {

// Writes PDF files for tests byte by byte: objects, object streams,
// cross-reference sections (classic tables, streams or both) and trailers,
// and incremental updates appended after them. Every offset it writes is
// counted from the bytes it has produced, so the files are exactly what a
// careful writer would make (qpdf checks them in a test).
class PdfBuilder {
public:
    // How a revision's cross-reference data is written: a classic table and
    // trailer; a cross-reference stream (uncompressed, /W [1 4 2]); or a
    // table whose trailer's /XRefStm names a stream for the objects kept in
    // an object stream.
    enum class Section { Table, Stream, Hybrid };

    explicit PdfBuilder(const std::string& version = "1.4");

    // Sets object `num` (generation 0) of the revision being built; its body
    // is written between "num 0 obj\n" and "\nendobj\n".
    void Object(int num, const std::string& body);
    // Sets object `num` of the revision being built inside the revision's
    // object stream (a Stream or Hybrid section); `body` holds no stream.
    void Compressed(int num, const std::string& body);
    // Sets an object under the next unused number and answers that number.
    int Add(const std::string& body);
    int NextNumber() const;

    // Catalog 1 and page tree 2 with `pages` pages (objects 3, 4, ...) of
    // MediaBox [0 0 612 792]. `catalogExtra` is added to the catalog,
    // `firstPageExtra` to the first page.
    void BasicDocument(int pages = 1, const std::string& catalogExtra = "",
                       const std::string& firstPageExtra = "");

    // One page of Document(): its own MediaBox (none when empty, so that it
    // takes the page tree's) and other entries ("/Rotate 90/CropBox[...]").
    struct Page {
        std::string mediaBox = "[0 0 612 792]";
        std::string extra;
    };
    // Catalog 1 (with `catalogExtra`), page tree 2 (with `treeExtra`, e.g. a
    // /MediaBox or /Rotate its pages inherit) and the pages as objects 3, 4, ...
    void Document(const std::vector<Page>& pages, const std::string& catalogExtra = "",
                  const std::string& treeExtra = "");
    // Object number of 1-based page `page` of Document() or BasicDocument().
    static int PageObject(int page) { return 2 + page; }

    // Interactive forms, on the objects of Document() or BasicDocument().
    // Lists annotation `num` in the /Annots of page `page`.
    void Annotate(int page, int num);
    // An AcroForm object with /Fields `fields` and `extra` entries, named by
    // the catalog; answers its number.
    int AcroForm(const std::vector<int>& fields, const std::string& extra = "");
    // An empty signature field (no /V) that is its own widget on page `page`
    // at `rect`, listed in the page's /Annots, with `extra` entries; answers
    // its number. It still has to be listed in a form (AcroForm).
    int EmptySignatureField(const std::string& name, int page, const std::string& rect = "[100 100 300 150]",
                            const std::string& extra = "");

    // Settings of the revision being built.
    void SectionForm(Section form) { _form = form; }                            // default Table
    void TrailerExtra(const std::string& entries) { _trailerExtra = entries; }  // e.g. "/Info 9 0 R"
    void Size(int size) { _size = size; }                          // instead of the highest number + 1
    void Prev(const std::string& value) { _prev = value; }         // instead of the previous startxref
    void EofLineEnd(const std::string& ending) { _eol = ending; }  // after "%%EOF"; default "\n"
    void BeforeStartxref(const std::string& bytes) {
        _beforeStartxref = bytes;
    }  // after the trailer; default "\n"

    // Writes the objects of the revision (ascending numbers), its
    // cross-reference section, trailer, startxref and end-of-file marker.
    void EndRevision();

    const std::string& Bytes() const { return _bytes; }
    // End of each revision written so far, oldest first: the offset just
    // after its "%%EOF" and line ending.
    const std::vector<std::size_t>& RevisionEnds() const { return _ends; }
    // Offset of the latest "num 0 obj" line.
    std::size_t Offset(int num) const;
    // Offset of the cross-reference section of the last revision.
    std::size_t LastStartXRef() const { return _startxref; }

    // A signature dictionary with a /ByteRange placeholder and a /Contents
    // hole of `holeBytes` zero bytes; `extra` entries go before the closing >>.
    static std::string SignatureDict(const std::string& extra = "", std::size_t holeBytes = 32);
    // The same with another /Type (Sig, DocTimeStamp) and /SubFilter;
    // `lead` entries go before /ByteRange and /Contents.
    static std::string SignatureDictOf(const std::string& type, const std::string& subFilter,
                                       std::size_t holeBytes, const std::string& extra = "",
                                       const std::string& lead = "");
    // Offsets of the "<" of the /Contents string of object `num`, and just
    // after its ">".
    std::size_t ContentsStart(int num) const;
    std::size_t ContentsEnd(int num) const;
    // Writes "[b1 b2 b3 b4]" over the placeholder of object `num`, padded
    // with spaces to its width (offsets are unchanged).
    void SetByteRange(int num, long long b1, long long b2, long long b3, long long b4);
    // The range a signer writes: all bytes up to `end` except the hole.
    void CoverUpTo(int num, std::size_t end);
    // The bytes such a range covers: up to `end`, without the hole of `num`.
    std::string Covered(int num, std::size_t end) const;
    // Writes `der` as hexadecimal digits into the hole of `num`, from its
    // start; the rest of the hole keeps its zeros.
    void FillContents(int num, const std::string& der);

    void Save(const std::string& path) const;

private:
    struct XRefEntry {
        int num;
        int type;           // 1 at an offset, 2 in an object stream
        std::size_t field;  // offset, or the object stream's number
        int index;          // place in the object stream
    };
    // The object stream of the revision's compressed objects; adds their
    // entries.
    void WriteObjectStream(std::vector<XRefEntry>& entries);
    // A cross-reference stream object listing `entries` (and itself).
    void WriteXRefStream(std::vector<XRefEntry> entries, const std::string& dictExtra);
    std::string TrailerEntries(int size) const;

    std::string _bytes;
    std::map<int, std::string> _pending;
    std::map<int, std::string> _compressed;
    Section _form = Section::Table;
    std::map<int, std::size_t> _offsets;
    std::vector<std::size_t> _ends;
    int _highest = 0;
    int _root = 1;
    std::size_t _startxref = 0;
    bool _first = true;
    int _size = -1;
    std::string _prev;
    std::string _trailerExtra;
    std::string _eol = "\n";
    std::string _beforeStartxref = "\n";
};

}  // namespace TestSupport
