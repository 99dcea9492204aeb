#pragma once

#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "common/posix/FilePtr.h"
#include "pdf/PDFGuard.h"
#include "pdf/PDFPtr.h"

namespace PDF {

class Env;
class Field;

// An opened PDF document: the parser handle, its catalog and interactive
// form, and its pages in document order. Header versions 1.0 to 2.0 are
// accepted, with classic cross-reference sections, cross-reference streams
// or both; a document whose cross-reference data is damaged, or that needs a
// password, is refused.
class File {
public:
    explicit File(Env* env);
    ~File();
    File(const File&) = delete;
    File& operator=(const File&) = delete;

    // Opens and checks the document; raises PDF::Exception. A document that
    // is attached to its environment is detached (SetFile(nullptr)) before
    // it is opened again or destroyed.
    void Open(const char* path);
    // Closes the parser handle and forgets everything loaded from it.
    void ClearData();
    // The /Rotate of 1-based page `page` as stored (inherited from the page
    // tree when the page has none); 0 for a page that does not exist.
    int GetPageRotationDegrees(int page) const;

    // Writing an incremental update to the environment's output, in this
    // order: CopySource, the new objects, WriteOutAppendedField, the
    // cross-reference section, WriteOutTrailer. All raise PDF::Exception.

    // Copies the source file to the output and adds a line feed. The bytes
    // come from the file that was opened (its descriptor is kept), not from
    // whatever has its name now; a file changed since it was opened raises
    // Code::kSourceChanged, as its update would not fit.
    void CopySource();
    // Records the output position for `ref` and writes "num gen obj\n".
    void WriteObjectHeader(pdf_obj* ref);
    // The header, the compact form of `obj` (the reals an object of the
    // document keeps in their original text), "\nendobj\n".
    void WriteObject(pdf_obj* ref, pdf_obj* obj);
    // Lists the written field in the AcroForm (made when there is none).
    void WriteOutAppendedField(Field* field);
    // Rewrites the catalog with a new, still empty, AcroForm.
    void InsertAcroForm(std::FILE* out);
    // A copy of `form` with `fieldRef` added as the last of its /Fields; kept
    // alive by the document.
    pdf_obj* UpdateFormDictionary(pdf_obj* form, pdf_obj* fieldRef);
    // The /Fields array of `dict` (resolved), or null when it has none.
    pdf_obj* LoadFields(pdf_obj* dict);
    // "trailer", the new trailer dictionary, startxref and %%EOF.
    void WriteOutTrailer();
    // Object `num` is the value of a signature field: an update that would
    // rewrite it (a page tree naming it as a page, say) is refused, since
    // that signature would then read as broken.
    void KeepUnchanged(int num) { _unchanged.insert(num); }

    Env* GetEnv() const { return _env; }
    const std::string& Path() const { return _path; }
    fz_context* Context() const { return _ctx.get(); }
    const ContextPtr& SharedContext() const { return _ctx; }
    pdf_document* Document() const { return _xref.get(); }
    // The document's byte stream (seek, tell, read); null before Open.
    fz_stream* Stream() const;
    pdf_obj* Trailer() const;
    pdf_obj* Root() const { return _root; }
    pdf_obj* RootIndirect() const { return _rootindirect; }
    pdf_obj* Form() const { return _form; }
    pdf_obj* FormIndirect() const { return _formindirect; }

    // Bytes in the file; all ones until Open has measured it.
    unsigned long FileSize() const { return _fileSize; }
    // Header version times ten ("%PDF-1.4" gives 14).
    int Version() const { return _version; }
    // Whether the document is encrypted (it opened with the empty user
    // password): it can be verified, but an update would be unreadable.
    bool IsEncrypted() const;
    // Whether the cross-reference data had to be rebuilt since opening (an
    // object lay elsewhere than the table says): an update written on it
    // would point its reader into the wrong bytes.
    bool WasRepaired() const;
    // Offset of the last cross-reference section.
    int StartXRef() const;
    // Length of the cross-reference table: the trailer's /Size.
    int XRefLength() const;

    int PageCount() const { return static_cast<int>(_pages.size()); }
    bool PagesLoaded() const { return _pagesLoaded; }
    // The reference of 1-based page `page`; null outside 1..PageCount().
    pdf_obj* PageRef(int page) const;

    // Offsets are 32-bit signed: larger documents are refused when opened.
    static constexpr unsigned long kMaxFileSize = 0x7FFFFFFFUL;

private:
    void LoadPages();
    void CollectPages(pdf_obj* node, int depth, std::set<int>& visited);

    // What the opened file was, to tell whether it changed since.
    struct Identity {
        unsigned long long device = 0, inode = 0;
        long long size = -1, mtimeSeconds = 0, mtimeNanoseconds = 0;
        bool operator==(const Identity& other) const;
    };
    static bool Describe(std::FILE* file, Identity& identity);

    Env* _env;
    std::string _path;
    ContextPtr _ctx;        // first: outlives every handle below
    Util::FilePtr _source;  // the opened file, which the parser reads; outlives _xref
    Identity _identity;
    DocPtr _xref;
    pdf_obj* _root = nullptr;          // in _guard
    pdf_obj* _rootindirect = nullptr;  // in _guard
    pdf_obj* _form = nullptr;          // in _guard
    pdf_obj* _formindirect = nullptr;  // in _guard
    PDFGuard _guard;
    std::set<int> _unchanged;  // see KeepUnchanged
    std::vector<ObjPtr> _pages;
    bool _pagesLoaded = false;
    unsigned long _fileSize = ~0UL;
    int _version = 0;
};

}  // namespace PDF
