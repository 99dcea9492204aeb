#include "pdf/File.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <random>
#include <set>

#include "common/Logger.h"
#include "common/posix/FilePtr.h"
#include "common/posix/KernelCopy.h"
#include "pdf/CallPDF.h"
#include "pdf/DictEdit.h"
#include "pdf/Env.h"
#include "pdf/Exception.h"
#include "pdf/Field.h"
#include "pdf/LocaleGuard.h"
#include "pdf/ObjectPrinter.h"
#include "pdf/Output.h"
#include "pdf/SourceText.h"
#include "pdf/XRefStream.h"
#include "pdf/XRefs.h"

namespace PDF {

namespace {

// Deeper page trees are taken for broken (or hostile) ones.
constexpr int kMaxPageTreeDepth = 64;

// Header versions accepted, times ten: 1.0 to 2.0.
constexpr int kLowestVersion = 10;
constexpr int kHighestVersion = 20;

// A version number such as "1.7" at the start of `text`, times ten and
// rounded; -1 when there is none. Call under a LocaleGuard.
int ParseVersionNumber(const char* text) {
    if (text[0] < '0' || text[0] > '9') return -1;
    char* end = nullptr;
    const double version = std::strtod(text, &end);
    if (end == text || version > 1000.0) return -1;
    return static_cast<int>(std::lround(version * 10.0));
}

// The version on the "%PDF-" line at byte 0, times ten and rounded; -1 when
// the file does not start with that line. Reads without moving the file's
// position. Call under a LocaleGuard.
int ReadHeaderVersion(std::FILE* in) {
    char head[33] = {};
    const ssize_t got = ::pread(::fileno(in), head, sizeof head - 1, 0);
    if (got < 6 || std::strncmp(head, "%PDF-", 5) != 0) return -1;
    return ParseVersionNumber(head + 5);
}

// The document of an open file under fz_try: null when MuPDF cannot open
// it, with its message in `reason`. The parser reads this very file; it stays
// open as long as the document.
pdf_document* OpenDocument(fz_context* ctx, std::FILE* file, char* reason, std::size_t size) noexcept {
    pdf_document* doc = nullptr;
    fz_stream* stream = nullptr;
    fz_var(doc);
    fz_var(stream);
    fz_try(ctx) {
        stream = fz_open_file_ptr_no_close(ctx, file);
        doc = pdf_open_document_with_stream(ctx, stream);
    }
    fz_always(ctx) {
        fz_drop_stream(ctx, stream);  // the document keeps its own reference
    }
    fz_catch(ctx) {
        doc = nullptr;
        fz_strlcpy(reason, fz_caught_message(ctx), size);
    }
    return doc;
}

// Logs why the document is refused and raises the open failure.
[[noreturn]] void OpenFailed(const char* reason) {
    Logger* const log = Logger::Get();
    log->SetFunc("Open");
    log->Log("Error openning xref");
    log->Log("Could not open the document: %s", reason);
    throw Exception(Code::kOpenFailed);
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
    _unchanged.clear();
    _guard.Clear();
    _xref.reset();
    _source.reset();
}

bool File::Identity::operator==(const Identity& other) const {
    return device == other.device && inode == other.inode && size == other.size &&
           mtimeSeconds == other.mtimeSeconds && mtimeNanoseconds == other.mtimeNanoseconds;
}

bool File::Describe(std::FILE* file, Identity& identity) {
    struct stat st {};
    if (file == nullptr || ::fstat(::fileno(file), &st) != 0 || !S_ISREG(st.st_mode)) return false;
    identity.device = st.st_dev;
    identity.inode = st.st_ino;
    identity.size = st.st_size;
    identity.mtimeSeconds = st.st_mtim.tv_sec;
    identity.mtimeNanoseconds = st.st_mtim.tv_nsec;
    return true;
}

void File::Open(const char* path) {
    const LocaleGuard cNumbers;
    Logger* const log = Logger::Get();

    ClearData();
    _path = path != nullptr ? path : "";

    // One descriptor for everything: the checks, the parser and the copy of
    // a later update all see the same file, whatever happens to its name.
    _source.reset(path != nullptr ? std::fopen(path, "rbe") : nullptr);
    if (!Describe(_source.get(), _identity)) {
        _source.reset();
        throw Exception(Code::kOpenFailed);
    }
    _fileSize = static_cast<unsigned long>(_identity.size);
    if (_fileSize > kMaxFileSize) throw Exception(Code::kTooLarge);
    log->SetFunc("Open");
    log->Log("Open cleared data");

    if (!_ctx) _ctx = NewContext();
    fz_context* const ctx = _ctx.get();
    log->SetFunc("Open");
    log->Log("Open newxref, openning %s", path);

    // A document MuPDF could open only by rebuilding its cross-reference data
    // is refused: its offsets cannot be trusted for revisions or an update.
    char reason[256] = "the PDF library gave no reason";
    _xref = DocPtr(OpenDocument(ctx, _source.get(), reason, sizeof reason), DocDropper{ctx});
    _version = ReadHeaderVersion(_source.get());
    if (_version < 0) OpenFailed("it does not begin with a %PDF- header");
    if (!_xref) OpenFailed(reason);
    if (pdf_was_repaired(ctx, _xref.get()))
        OpenFailed("its cross-reference data is damaged and would have to be rebuilt");
    // MuPDF has tried the empty user password; any other is not asked for.
    if (pdf_needs_password(ctx, _xref.get())) OpenFailed("it is encrypted and needs a password");
    log->SetFunc("Open");
    log->Log("Open loaded xref");

    pdf_obj* const trailer = Trailer();
    if (!pdf_is_dict(ctx, trailer)) throw Exception(Code::kTrailerEmpty);

    log->SetFunc("Open");
    log->Log("XREF->Version is %d, major %d, minor %d", _version, _version / 10, _version % 10);
    if (_version < kLowestVersion || _version > kHighestVersion) throw Exception(Code::kBadVersion);
    if (IsEncrypted()) {
        log->SetFunc("Open");
        log->Log("Document is encrypted (%s), opened with the empty user password",
                 _xref->crypt != nullptr ? pdf_crypt_method(ctx, _xref->crypt) : "unknown method");
    }

    _rootindirect = _guard.Add(KeepObj(ctx, CALL_PDF_NULL(pdf_dict_get(ctx, trailer, PDF_NAME(Root)))));
    pdf_obj* root = nullptr;
    if (pdf_is_indirect(ctx, _rootindirect))
        CALL_PDF(ctx, root = pdf_load_object(ctx, _xref.get(), pdf_to_num(ctx, _rootindirect)));
    else
        root = pdf_keep_obj(ctx, _rootindirect);
    _root = _guard.Add(AdoptObj(ctx, root));

    // A catalog /Version supersedes the header when it is later: it must be a
    // version that is read as well.
    pdf_obj* const catalogVersion = pdf_dict_get(ctx, _root, PDF_NAME(Version));
    if (pdf_is_name(ctx, catalogVersion)) {
        const int version = ParseVersionNumber(pdf_to_name(ctx, catalogVersion));
        log->SetFunc("Open");
        log->Log("Catalog version is %d", version);
        if (version < kLowestVersion || version > kHighestVersion) throw Exception(Code::kBadVersion);
    }

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
    if (pdf_was_repaired(ctx, _xref.get()))
        OpenFailed("its cross-reference data is damaged and would have to be rebuilt");
}

bool File::WasRepaired() const {
    return _xref && pdf_was_repaired(_ctx.get(), _xref.get()) != 0;
}

bool File::IsEncrypted() const {
    if (!_xref) return false;
    pdf_obj* const encrypt = pdf_dict_get(_ctx.get(), Trailer(), PDF_NAME(Encrypt));
    return _xref->crypt != nullptr || (encrypt != nullptr && !pdf_is_null(_ctx.get(), encrypt));
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

namespace {

// Pieces in which the source is copied: memory does not grow with the file.
constexpr std::size_t kCopyPiece = 2048;

// The /Fields of a form with `fieldRef` appended, as a new array.
pdf_obj* FieldsWith(fz_context* ctx, pdf_document* doc, pdf_obj* fields, pdf_obj* fieldRef) {
    const int count = pdf_array_len(ctx, fields);
    pdf_obj* const array = pdf_new_array(ctx, doc, count + 1);
    for (int i = 0; i < count; ++i) pdf_array_push(ctx, array, pdf_array_get(ctx, fields, i));
    pdf_array_push(ctx, array, fieldRef);
    return array;
}

// Copies the first `size` bytes of the file open as `in` to the end of
// `out` inside the kernel (Util::KernelCopy, with explicit offsets: the
// parser's position stays). Answers the bytes copied; 0 with nothing written
// when the kernel cannot do it here (the caller then copies through the
// document's stream).
std::int64_t KernelCopy(int in, std::FILE* out, std::int64_t size) {
    if (std::fflush(out) != 0) return 0;
    const std::int64_t copied = Util::KernelCopy(in, ::fileno(out), size);
    // Later writes go through stdio again, from the new end.
    if (std::fseek(out, 0, SEEK_END) != 0) return -1;
    return copied;
}

}  // namespace

void File::CopySource() {
    std::FILE* const out = _env != nullptr ? _env->GetOutput() : nullptr;
    fz_stream* const stream = Stream();
    if (out == nullptr || stream == nullptr) return;
    fz_context* const ctx = _ctx.get();

    // The file must still be what was opened and parsed: an update computed
    // on those bytes does not fit others.
    const auto unchanged = [this]() {
        Identity now;
        return Describe(_source.get(), now) && now == _identity;
    };
    if (!unchanged()) {
        Logger::Get()->SetFunc("CopySource");
        Logger::Get()->Log("%s changed since it was opened", _path.c_str());
        throw Exception(Code::kSourceChanged, "The document changed since it was opened");
    }
    const std::int64_t size = _identity.size;

    // The kernel copies the bytes when it can; otherwise they go through the
    // document's stream in small blocks. Either way memory stays flat.
    std::int64_t copied = KernelCopy(::fileno(_source.get()), out, size);
    if (copied < 0) copied = 0;
    unsigned char buffer[kCopyPiece];
    if (!TrySeek(ctx, stream, copied)) copied = -1;
    while (copied >= 0 && copied < size) {
        const std::size_t want = static_cast<std::size_t>(std::min<std::int64_t>(kCopyPiece, size - copied));
        const std::size_t got = TryRead(ctx, stream, buffer, want);
        if (got == 0) break;
        Output::Write(out, buffer, got);
        copied += static_cast<std::int64_t>(got);
    }
    if (copied != size || !unchanged()) {
        // A source that cannot be read whole, or changed while it was read,
        // gives no usable update.
        Logger::Get()->SetFunc("CopySource");
        Logger::Get()->Log("Copied %lld of %lld bytes", static_cast<long long>(copied),
                           static_cast<long long>(size));
        throw Exception(Code::kCopyFailed, "Could not copy the document");
    }
    Output::Write(out, "\n", 1);
}

void File::WriteObjectHeader(pdf_obj* ref) {
    if (_env == nullptr) throw Exception(Code::kNoEnvironment, "File::WriteObjectHeader empty environment");
    std::FILE* const out = _env->GetOutput();
    if (out == nullptr || _env->GetXRefs() == nullptr)
        throw Exception(Code::kNoXRefs, "File::WriteObjectHeader empty objects.");
    fz_context* const ctx = _ctx.get();
    if (ctx == nullptr || !pdf_is_indirect(ctx, ref))
        throw Exception(Code::kNotIndirect, "File::WriteObjectHeader object must be indirect reference.");
    const int num = pdf_to_num(ctx, ref);
    const int gen = pdf_to_gen(ctx, ref);
    if (_unchanged.count(num) != 0)
        throw Exception(Code::kSignatureRewritten,
                        "File::WriteObjectHeader object " + std::to_string(num) + " is a signature's value");
    // The section keeps the first entry of a number, so a second write would
    // be lost without a word (a page tree that names the form as a page makes
    // the page and the form one object): the update is refused instead.
    if (_env->GetXRefs()->Entries().count(num) != 0)
        throw Exception(Code::kObjectWrittenTwice,
                        "File::WriteObjectHeader object " + std::to_string(num) + " written twice");
    _env->GetXRefs()->AddRef(num, gen, Output::Position(out));
    Output::Printf(out, "%d %d obj\n", num, gen);
}

void File::WriteObject(pdf_obj* ref, pdf_obj* obj) {
    // An update never rewrites a signature dictionary: its bytes would move
    // out of what that signature covers, and it would read as broken. A page
    // tree or a form that names one as a page or a field makes that happen.
    fz_context* const ctx = _ctx.get();
    if (pdf_is_dict(ctx, obj) && (pdf_dict_get(ctx, obj, PDF_NAME(ByteRange)) != nullptr ||
                                  pdf_name_eq(ctx, pdf_dict_get(ctx, obj, PDF_NAME(Type)), PDF_NAME(Sig))))
        throw Exception(Code::kSignatureRewritten, "File::WriteObject object " +
                                                       std::to_string(pdf_to_num(ctx, ref)) +
                                                       " is a signature dictionary");
    WriteObjectHeader(ref);
    // An object of the document keeps its reals as they were written.
    const ObjectPrinter::RealTexts originals =
        SourceText::Reals(_ctx.get(), _xref.get(), pdf_to_num(_ctx.get(), ref));
    const LocaleGuard cNumbers;
    std::FILE* const out = _env->GetOutput();
    Output::Write(out, ObjectPrinter::Print(_ctx.get(), obj, originals));
    Output::Write(out, "\nendobj\n", 8);
}

void File::WriteOutAppendedField(Field* field) {
    std::FILE* const out = _env != nullptr ? _env->GetOutput() : nullptr;
    if (out == nullptr)
        throw Exception(Code::kNoOutput, "File::WriteOutAppendedField - output file not set.");
    if (field == nullptr) throw Exception(Code::kNoField, "File::WriteOutAppendedField - no field object");
    if (_env->GetXRefs() == nullptr)
        throw Exception(Code::kNoXRefs, "File::WriteOutAppendedField - xrefs table not initialized");
    fz_context* const ctx = _ctx.get();
    pdf_document* const doc = _xref.get();

    pdf_obj* ref = nullptr;
    CALL_PDF(ctx, ref = pdf_new_indirect(ctx, doc, field->GetOid(), 0));
    pdf_obj* const fieldRef = _guard.Add(AdoptObj(ctx, ref));

    if (_form == nullptr) InsertAcroForm(out);

    if (_formindirect == nullptr) {
        pdf_obj* copy = nullptr;
        CALL_PDF(ctx, copy = pdf_deep_copy_obj(ctx, _root));
        pdf_obj* const catalog = _guard.Add(AdoptObj(ctx, copy));
        pdf_obj* const form = UpdateFormDictionary(pdf_dict_get(ctx, catalog, PDF_NAME(AcroForm)), fieldRef);
        CALL_PDF(ctx, DictEdit::MoveToEnd(ctx, catalog, PDF_NAME(AcroForm), form));
        WriteObject(_rootindirect, catalog);
    } else {
        WriteObject(_formindirect, UpdateFormDictionary(_form, fieldRef));
    }
}

void File::InsertAcroForm(std::FILE* out) {
    if (out == nullptr || _env == nullptr || _env->GetXRefs() == nullptr)
        throw Exception(Code::kNoXRefs, "File::InsertAcroForm empty objects");
    fz_context* const ctx = _ctx.get();
    pdf_document* const doc = _xref.get();

    pdf_obj* copy = nullptr;
    CALL_PDF(ctx, copy = pdf_deep_copy_obj(ctx, _root));
    pdf_obj* const catalog = _guard.Add(AdoptObj(ctx, copy));
    pdf_obj* ref = nullptr;
    const int num = _env->NewOid();
    CALL_PDF(ctx, ref = pdf_new_indirect(ctx, doc, num, 0));
    _formindirect = _guard.Add(AdoptObj(ctx, ref));
    CALL_PDF(ctx, DictEdit::Put(ctx, catalog, PDF_NAME(AcroForm), _formindirect));
    WriteObject(_rootindirect, catalog);
    _root = catalog;

    pdf_obj* form = nullptr;
    CALL_PDF(ctx, form = pdf_new_dict(ctx, doc, 1));
    _form = _guard.Add(AdoptObj(ctx, form));
}

pdf_obj* File::UpdateFormDictionary(pdf_obj* form, pdf_obj* fieldRef) {
    fz_context* const ctx = _ctx.get();
    pdf_obj* copy = nullptr;
    CALL_PDF(ctx, copy = pdf_deep_copy_obj(ctx, form));
    pdf_obj* const result = _guard.Add(AdoptObj(ctx, copy));
    if (!pdf_is_dict(ctx, result))
        throw Exception(Code::kBadForm, "File::UpdateFormDictionary - form is not a dictionary");

    pdf_obj* const fields = LoadFields(result);
    pdf_obj* array = nullptr;
    if (fields != nullptr) {
        CALL_PDF(ctx, array = FieldsWith(ctx, _xref.get(), fields, fieldRef));
    } else {
        CALL_PDF(ctx, array = pdf_new_array(ctx, _xref.get(), 1); pdf_array_push(ctx, array, fieldRef));
    }
    const ObjPtr owner = AdoptObj(ctx, array);
    CALL_PDF(ctx, DictEdit::MoveToEnd(ctx, result, PDF_NAME(Fields), array));
    return result;
}

pdf_obj* File::LoadFields(pdf_obj* dict) {
    fz_context* const ctx = _ctx.get();
    pdf_obj* const fields = pdf_dict_get(ctx, dict, PDF_NAME(Fields));
    if (fields == nullptr || pdf_is_null(ctx, fields)) return nullptr;
    if (pdf_is_indirect(ctx, fields)) {
        pdf_obj* const resolved = pdf_resolve_indirect(ctx, fields);
        if (resolved == nullptr)
            throw Exception(Code::kBadFields, "File::LoadFields - pdf_loadindirect failed");
        if (!pdf_is_array(ctx, resolved))
            throw Exception(Code::kBadFields, "File::LoadFields - indirect fields are not an array");
        return resolved;
    }
    if (pdf_is_array(ctx, fields)) return fields;
    throw Exception(
        Code::kBadFields,
        "File::LoadFields - Failed to load fields from dict, type is unknown, we don't know what to "
        "do.");
}

void File::WriteOutTrailer() {
    std::FILE* const out = _env != nullptr ? _env->GetOutput() : nullptr;
    if (out == nullptr || _env->GetXRefs() == nullptr || !_xref)
        throw Exception(Code::kNoXRefs, "File::WriteOutTrailer empty objects");
    fz_context* const ctx = _ctx.get();
    pdf_document* const doc = _xref.get();
    pdf_obj* const loaded = Trailer();

    pdf_obj* dict = nullptr;
    CALL_PDF(ctx, dict = pdf_new_dict(ctx, doc, 5));
    const ObjPtr trailer = AdoptObj(ctx, dict);
    CALL_PDF(ctx, pdf_dict_put_int(ctx, dict, PDF_NAME(Prev), StartXRef()));
    CALL_PDF(ctx, pdf_dict_put(ctx, dict, PDF_NAME(Root), _rootindirect));
    pdf_obj* const info = pdf_dict_get(ctx, loaded, PDF_NAME(Info));
    if (info != nullptr) CALL_PDF(ctx, pdf_dict_put(ctx, dict, PDF_NAME(Info), info));

    pdf_obj* const id = pdf_dict_get(ctx, loaded, PDF_NAME(ID));
    if (id != nullptr) {
        pdf_obj* copy = nullptr;
        CALL_PDF(ctx, copy = pdf_deep_copy_obj(ctx, pdf_resolve_indirect(ctx, id)));
        const ObjPtr idCopy = AdoptObj(ctx, copy);
        pdf_obj* const second = pdf_array_get(ctx, copy, 1);
        if (pdf_is_string(ctx, second)) {
            // The second identifier names this revision: new random bytes.
            std::string bytes(pdf_to_str_buf(ctx, second), pdf_to_str_len(ctx, second));
            std::random_device random;
            for (std::size_t i = 0; i < bytes.size() && i < 16; ++i)
                bytes[i] = static_cast<char>(random() & 0xFF);
            CALL_PDF(ctx, pdf_array_put_drop(ctx, copy, 1, pdf_new_string(ctx, bytes.data(), bytes.size())));
        }
        CALL_PDF(ctx, pdf_dict_put(ctx, dict, PDF_NAME(ID), copy));
    }

    XRefs* const xrefs = _env->GetXRefs();
    const LocaleGuard cNumbers;
    if (xrefs->StreamForm()) {
        // The trailer's entries go into the stream's dictionary; the stream
        // takes the number a table's /Size would, so /Size is one more.
        XRefStream::WriteOut(ctx, doc, out, *xrefs, dict, _env->NewOid());
        Output::Printf(out, "startxref\n%d\n%%%%EOF\n", xrefs->StartXRef());
        return;
    }
    CALL_PDF(ctx, pdf_dict_put_int(ctx, dict, PDF_NAME(Size), _env->NewOid()));
    Output::Write(out, "trailer\n", 8);
    Output::Write(out, ObjectPrinter::Print(ctx, dict));
    Output::Printf(out, "\nstartxref\n%d\n%%%%EOF\n", _env->GetXRefs()->StartXRef());
}

}  // namespace PDF
