#include "pdf/File.h"

#include <sys/stat.h>

#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <set>

#include "common/Logger.h"
#include "common/posix/FilePtr.h"
#include "pdf/CallPDF.h"
#include "pdf/Exception.h"
#include "pdf/LocaleGuard.h"

namespace PDF {

namespace {

// Deeper page trees are taken for broken (or hostile) ones.
constexpr int kMaxPageTreeDepth = 64;

// The version on the "%PDF-" line at byte 0, times ten and rounded; -1 when
// the file does not start with that line. Call under a LocaleGuard.
int ReadHeaderVersion(const std::string& path) {
    const Util::FilePtr in(std::fopen(path.c_str(), "rb"));
    if (!in) return -1;
    char head[33] = {};
    const std::size_t got = std::fread(head, 1, sizeof head - 1, in.get());
    if (got < 6 || std::strncmp(head, "%PDF-", 5) != 0) return -1;
    if (head[5] < '0' || head[5] > '9') return -1;
    char* end = nullptr;
    const double version = std::strtod(head + 5, &end);
    if (end == head + 5 || version > 1000.0) return -1;
    return static_cast<int>(std::lround(version * 10.0));
}

// pdf_open_document under fz_try: null when MuPDF cannot open the file.
pdf_document* OpenDocument(fz_context* ctx, const char* path) noexcept {
    pdf_document* doc = nullptr;
    fz_var(doc);
    fz_try(ctx) {
        doc = pdf_open_document(ctx, path);
    }
    fz_catch(ctx) {
        doc = nullptr;
    }
    return doc;
}

}  // namespace

File::File(Env* env) : _env(env) {
    Logger::Get()->SetFunc("File");
    Logger::Get()->Log("*** Constructor, object %p", static_cast<void*>(this));
}

File::~File() {
    ClearData();
    Logger::Get()->SetFunc("~File");
    Logger::Get()->Log("*** Destructor, object %p", static_cast<void*>(this));
}

void File::ClearData() {
    _pages.clear();
    _pagesLoaded = false;
    _root = _rootindirect = _form = _formindirect = nullptr;
    _guard.Clear();
    _xref.reset();
}

void File::Open(const char* path) {
    const LocaleGuard cNumbers;
    Logger* const log = Logger::Get();

    if (_xref) ClearData();
    _path = path != nullptr ? path : "";

    struct stat st {};
    if (path == nullptr || ::stat(path, &st) != 0 || !S_ISREG(st.st_mode))
        throw Exception(-7, "Could not open file");
    _fileSize = static_cast<unsigned long>(st.st_size);
    if (_fileSize > kMaxFileSize)
        throw Exception(-59, "File too large: documents of 2 GiB or more are not supported");
    log->SetFunc("Open");
    log->Log("Open cleared data");

    if (!_ctx) _ctx = NewContext();
    fz_context* const ctx = _ctx.get();
    log->SetFunc("Open");
    log->Log("Open newxref, openning %s", path);

    // A document MuPDF could open only by rebuilding its cross-reference data
    // is refused: its offsets cannot be trusted for revisions or an update.
    _xref = DocPtr(OpenDocument(ctx, path), DocDropper{ctx});
    _version = ReadHeaderVersion(_path);
    if (!_xref || pdf_was_repaired(ctx, _xref.get()) || _version < 0) {
        log->SetFunc("Open");
        log->Log("Error openning xref");
        throw Exception(-7, "Could not open file");
    }
    log->SetFunc("Open");
    log->Log("Open loaded xref");

    pdf_obj* const trailer = Trailer();
    if (!pdf_is_dict(ctx, trailer)) throw Exception(-50, "Trailer empty after load. ");

    log->SetFunc("Open");
    log->Log("XREF->Version is %d, major %d, minor %d", _version, _version / 10, _version % 10);
    if (_version < 10 || _version > 19 || (_version % 10 != 3 && _version % 10 != 4))
        throw Exception(-58, "Invalid PDF format version");

    _rootindirect = _guard.Add(KeepObj(ctx, CALL_PDF_NULL(pdf_dict_get(ctx, trailer, PDF_NAME(Root)))));
    pdf_obj* root = nullptr;
    if (pdf_is_indirect(ctx, _rootindirect))
        CALL_PDF(ctx, root = pdf_load_object(ctx, _xref.get(), pdf_to_num(ctx, _rootindirect)));
    else
        root = pdf_keep_obj(ctx, _rootindirect);
    _root = _guard.Add(AdoptObj(ctx, root));

    LoadPages();
    log->SetFunc("Open");
    log->Log("page count %d", PageCount());

    pdf_obj* const acroForm = pdf_dict_get(ctx, _root, PDF_NAME(AcroForm));
    if (acroForm == nullptr || pdf_is_null(ctx, acroForm)) {
        log->SetFunc("Open");
        log->Log("No AcroForm!");
    } else {
        if (pdf_is_indirect(ctx, acroForm)) {
            log->SetFunc("Open");
            log->Log("Acroform is indirect... loading..");
            _formindirect = _guard.Add(KeepObj(ctx, acroForm));
            pdf_obj* form = nullptr;
            CALL_PDF(ctx, form = pdf_load_object(ctx, _xref.get(), pdf_to_num(ctx, acroForm)));
            ObjPtr formOwner = AdoptObj(ctx, form);
            if (pdf_is_dict(ctx, form)) _form = _guard.Add(std::move(formOwner));
        } else if (pdf_is_dict(ctx, acroForm)) {
            _form = _guard.Add(KeepObj(ctx, acroForm));
        }

        if (_form == nullptr) {
            log->SetFunc("Open");
            log->Log("AcroForm load failed!\n");
        }
        pdf_obj* const sigFlags = pdf_dict_get(ctx, _form, PDF_NAME(SigFlags));
        const int flags = pdf_to_int(ctx, sigFlags);
        log->SetFunc("Open");
        if (sigFlags == nullptr) log->Log("No SigFlags !");
        if (flags & 1) log->Log("Signature exists");
        if (flags & 2) log->Log("Signature would be invalidated with incremental updates. ");
        if (flags == 0) log->Log("Sigflags zero.");
        log->Log("xref len %d, xref capacity %d", XRefLength(), XRefLength());
        log->Log("xref version %d", _version);
        log->Log("xref startxref %d", StartXRef());
    }

    // Loading the catalog, pages or form may have made MuPDF rebuild the table.
    if (pdf_was_repaired(ctx, _xref.get())) {
        log->SetFunc("Open");
        log->Log("Error openning xref");
        throw Exception(-7, "Could not open file");
    }
}

void File::LoadPages() {
    _pages.clear();
    std::set<int> visited;
    fz_context* const ctx = _ctx.get();
    CollectPages(pdf_dict_get(ctx, _root, PDF_NAME(Pages)), 0, visited);
    _pagesLoaded = true;
}

// Walks the page tree in document order and keeps the reference of every
// leaf. A node seen twice or a tree too deep is not followed.
void File::CollectPages(pdf_obj* node, int depth, std::set<int>& visited) {
    fz_context* const ctx = _ctx.get();
    pdf_obj* const kids = pdf_dict_get(ctx, node, PDF_NAME(Kids));
    const int count = pdf_array_len(ctx, kids);
    for (int i = 0; i < count; ++i) {
        pdf_obj* const kid = pdf_array_get(ctx, kids, i);
        if (pdf_is_indirect(ctx, kid) && !visited.insert(pdf_to_num(ctx, kid)).second) continue;
        pdf_obj* const dict = pdf_resolve_indirect(ctx, kid);
        if (!pdf_is_dict(ctx, dict)) continue;
        pdf_obj* const type = pdf_dict_get(ctx, dict, PDF_NAME(Type));
        const bool isNode =
            pdf_name_eq(ctx, type, PDF_NAME(Pages)) ||
            (!pdf_name_eq(ctx, type, PDF_NAME(Page)) && pdf_dict_get(ctx, dict, PDF_NAME(Kids)));
        if (isNode) {
            if (depth < kMaxPageTreeDepth) CollectPages(dict, depth + 1, visited);
        } else {
            _pages.push_back(KeepObj(ctx, kid));
        }
    }
}

fz_stream* File::Stream() const {
    return _xref ? _xref->file : nullptr;
}

pdf_obj* File::Trailer() const {
    return _xref ? pdf_trailer(_ctx.get(), _xref.get()) : nullptr;
}

int File::StartXRef() const {
    return _xref ? static_cast<int>(_xref->startxref) : 0;
}

int File::XRefLength() const {
    if (!_xref) return 0;
    // The trailer's /Size; never less than the objects MuPDF found, so that
    // no number of the document is handed out again.
    const std::int64_t size = pdf_to_int64(_ctx.get(), pdf_dict_get(_ctx.get(), Trailer(), PDF_NAME(Size)));
    const int length = pdf_xref_len(_ctx.get(), _xref.get());
    return size > length && size <= INT_MAX ? static_cast<int>(size) : length;
}

pdf_obj* File::PageRef(int page) const {
    if (page < 1 || page > PageCount()) return nullptr;
    return _pages[page - 1].get();
}

int File::GetPageRotationDegrees(int page) const {
    if (page < 1 || !_xref || !_pagesLoaded || _pages.empty() || page > PageCount()) return 0;
    fz_context* const ctx = _ctx.get();
    pdf_obj* const ref = _pages[page - 1].get();
    pdf_obj* pDdictionary = nullptr;
    if (pdf_is_indirect(ctx, ref))
        CALL_PDF(ctx, pDdictionary = pdf_load_object(ctx, _xref.get(), pdf_to_num(ctx, ref)));
    else
        pDdictionary = pdf_keep_obj(ctx, ref);
    const ObjPtr owner = AdoptObj(ctx, pDdictionary);
    if (!pdf_is_dict(ctx, pDdictionary)) {
        Logger::Get()->SetFunc("GetPageRotationDegrees");
        Logger::Get()->Log("Page object is not a directory.");
        return 0;
    }
    // /Rotate is inheritable: a page without its own takes its parents'.
    int rotation = 0;
    CALL_PDF(ctx, rotation = pdf_to_int(ctx, pdf_dict_get_inheritable(ctx, pDdictionary, PDF_NAME(Rotate))));
    return rotation;
}

}  // namespace PDF
