#include "pdf/Signature.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <optional>
#include <vector>

#include "common/Logger.h"
#include "crypto/CMSignature.h"
#include "crypto/Platform.h"
#include "pdf/ByteRange.h"
#include "pdf/CallPDF.h"
#include "pdf/DictEdit.h"
#include "pdf/Env.h"
#include "pdf/Exception.h"
#include "pdf/File.h"
#include "pdf/LocaleGuard.h"
#include "pdf/ObjectPrinter.h"
#include "pdf/Output.h"
#include "pdf/TextString.h"
#include "pdf/Versions.h"
#include "pdf/XRefs.h"

namespace PDF {

namespace {

// Offset of object `num` in the file, or -1 unless it is stored there
// uncompressed. Call inside CALL_PDF.
std::int64_t ObjectOffset(fz_context* ctx, pdf_document* doc, int num) {
    if (num <= 0 || num >= pdf_xref_len(ctx, doc)) return -1;
    const pdf_xref_entry* const entry = pdf_get_xref_entry(ctx, doc, num);
    return entry != nullptr && entry->type == 'n' ? entry->ofs : -1;
}

// Consumes white space and answers the next byte (consumed too), or EOF.
int ReadNonWhite(fz_context* ctx, fz_stream* stream) {
    int c = fz_read_byte(ctx, stream);
    while (c == 0 || c == '\t' || c == '\n' || c == '\f' || c == '\r' || c == ' ')
        c = fz_read_byte(ctx, stream);
    return c;
}

// Consumes bytes up to and including `wanted`; answers it, or EOF.
int ReadPast(fz_context* ctx, fz_stream* stream, int wanted) {
    int c = fz_read_byte(ctx, stream);
    while (c != EOF && c != wanted) c = fz_read_byte(ctx, stream);
    return c;
}

// Up to `width` decimal digits at `at`; false when there is none.
bool ReadNumber(const std::string& text, std::size_t at, std::size_t width, unsigned& value,
                std::size_t* end = nullptr) {
    std::size_t i = at;
    value = 0;
    while (i < text.size() && i < at + width && text[i] >= '0' && text[i] <= '9')
        value = value * 10 + (text[i++] - '0');
    if (end != nullptr) *end = i;
    return i > at;
}

std::string StringBytes(fz_context* ctx, pdf_obj* obj) {
    if (!pdf_is_string(ctx, obj)) return std::string();
    return std::string(pdf_to_str_buf(ctx, obj), pdf_to_str_len(ctx, obj));
}

// What /Contents holds by the sub-filter; a /DocTimeStamp dictionary holds
// a token, or nothing this verifier reads.
Signature::Kind KindOf(const std::string& subFilter, bool timeStampType) {
    if (subFilter == "ETSI.RFC3161") return Signature::kTimeStamp;
    if (timeStampType) return Signature::kUnsupported;
    if (subFilter == "adbe.pkcs7.detached" || subFilter == "ETSI.CAdES.detached") return Signature::kDetached;
    return Signature::kUnsupported;
}

// The DocMDP /P of a certification signature (one whose /Reference names
// the DocMDP transform): 2 when absent or out of range; 0 for a signature
// that certifies nothing.
int Certification(fz_context* ctx, pdf_obj* dict) {
    pdf_obj* const references = pdf_dict_gets(ctx, dict, "Reference");
    for (int i = 0; i < pdf_array_len(ctx, references); ++i) {
        pdf_obj* const reference = pdf_array_get(ctx, references, i);
        if (!pdf_name_eq(ctx, pdf_dict_get(ctx, reference, PDF_NAME(TransformMethod)), PDF_NAME(DocMDP)))
            continue;
        pdf_obj* const p =
            pdf_dict_get(ctx, pdf_dict_get(ctx, reference, PDF_NAME(TransformParams)), PDF_NAME(P));
        const int permissions = pdf_is_int(ctx, p) ? pdf_to_int(ctx, p) : 2;
        return permissions >= 1 && permissions <= 3 ? permissions : 2;
    }
    return 0;
}

// Pieces in which covered bytes are fed: memory does not grow with the file.
constexpr std::size_t kFeedPiece = 4096;
// Blocks in which a signed copy's covered bytes are read back.
constexpr std::size_t kReadBlock = 1 << 20;

// Reads `size` bytes at `offset`; false when the file holds fewer.
bool ReadAt(int fd, unsigned char* data, std::size_t size, off_t offset) {
    while (size > 0) {
        const ssize_t got = ::pread(fd, data, size, offset);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return false;
        data += got;
        size -= static_cast<std::size_t>(got);
        offset += got;
    }
    return true;
}

// The signature dictionary of WriteOut up to /Name. Call inside CALL_PDF.
pdf_obj* NewSignatureDict(fz_context* ctx, const char* contents, std::size_t size, const char* name,
                          std::size_t nameLength) {
    pdf_obj* const dict = pdf_new_dict(ctx, nullptr, 10);
    fz_try(ctx) {
        pdf_obj* const range = pdf_dict_put_array(ctx, dict, PDF_NAME(ByteRange), 4);
        for (int i = 0; i < 4; ++i) pdf_array_push_int(ctx, range, 99999999);
        pdf_dict_put_string(ctx, dict, PDF_NAME(Contents), contents, size);
        pdf_dict_put_name(ctx, dict, PDF_NAME(Filter), "Adobe.PPKLite");
        pdf_dict_put_name(ctx, dict, PDF_NAME(SubFilter), "adbe.pkcs7.detached");
        if (nameLength != 0) pdf_dict_put_string(ctx, dict, PDF_NAME(Name), name, nameLength);
    }
    fz_catch(ctx) {
        pdf_drop_obj(ctx, dict);
        fz_rethrow(ctx);
    }
    return dict;
}

}  // namespace

Signature::Signature(Env* env) : _env(env) {}

Signature::~Signature() {
    ClearData();
}

void Signature::ClearData() {
    _dict.reset();
    _cms.reset();
}

bool Signature::Load(pdf_obj* ref) {
    const File* const file = _env != nullptr ? _env->GetFile() : nullptr;
    ClearData();
    _ref.reset();
    _xref.reset();
    _kind = kUnsupported;
    _certification = 0;
    if (file == nullptr || file->Document() == nullptr) return false;
    _ctx = file->SharedContext();
    fz_context* const ctx = _ctx.get();
    _xref = KeepDoc(ctx, file->Document());
    _ref = KeepObj(ctx, ref);

    if (!pdf_is_indirect(ctx, ref)) return false;
    _dict = AdoptObj(ctx, TryLoadObject(ctx, _xref.get(), pdf_to_num(ctx, ref)));
    if (_dict == nullptr) return false;

    // A dictionary inside an object stream (a rewrite moved it there) has no
    // /Contents string in the file for the byte range to leave out: the
    // signature is still read, and fails on its covered bytes.
    std::int64_t offset = -1;
    CALL_PDF(ctx, offset = ObjectOffset(ctx, _xref.get(), pdf_to_num(ctx, ref)));
    if (offset < 0 && pdf_is_dict(ctx, _dict.get())) {
        _contentsStart = _contentsEnd = -1;
        Logger::Get()->SetFunc("Load");
        Logger::Get()->Log("Signature dictionary %d is not stored in the file as it was signed",
                           pdf_to_num(ctx, ref));
    } else {
        FindContentsRange();
    }

    pdf_obj* const dict = _dict.get();
    pdf_obj* const range = pdf_dict_get(ctx, dict, PDF_NAME(ByteRange));
    pdf_obj* const type = pdf_dict_get(ctx, dict, PDF_NAME(Type));
    const bool timeStamp = pdf_is_name(ctx, type) && std::strcmp(pdf_to_name(ctx, type), "DocTimeStamp") == 0;
    if ((!pdf_name_eq(ctx, type, PDF_NAME(Sig)) && !timeStamp) || !pdf_is_array(ctx, range) ||
        pdf_array_len(ctx, range) != 4)
        return false;
    // Offsets are 32-bit: a value that is not a whole number in 0..INT_MAX
    // cannot describe a part of the file.
    for (int i = 0; i < 4; ++i) {
        pdf_obj* const item = pdf_array_get(ctx, range, i);
        const std::int64_t value = pdf_to_int64(ctx, item);
        if (!pdf_is_int(ctx, item) || value < 0 || value > INT_MAX) return false;
        _range[i] = static_cast<int>(value);
    }
    Logger::Get()->SetFunc("Load");
    Logger::Get()->Log("Loaded ranges %d-%d  %d-%d   total %d", _range[0], _range[1], _range[2], _range[3],
                       static_cast<int>(static_cast<std::int64_t>(_range[2]) + _range[3]));

    pdf_obj* const subFilter = pdf_dict_get(ctx, dict, PDF_NAME(SubFilter));
    if (pdf_dict_get(ctx, dict, PDF_NAME(Filter)) == nullptr || subFilter == nullptr) return false;
    _subFilter = pdf_is_name(ctx, subFilter) ? pdf_to_name(ctx, subFilter) : "";
    _kind = KindOf(_subFilter, timeStamp);
    _certification = Certification(ctx, dict);
    if (_certification != 0)
        Logger::Get()->Log("Certification signature, changes permitted %d", _certification);

    const std::string name = StringBytes(ctx, pdf_dict_get(ctx, dict, PDF_NAME(Name)));
    _name = name.substr(0, name.find('\0'));
    _location = fz_loadunicode(ctx, pdf_dict_get(ctx, dict, PDF_NAME(Location)));
    _contact = fz_loadunicode(ctx, pdf_dict_get(ctx, dict, PDF_NAME(ContactInfo)));
    _reason = fz_loadunicode(ctx, pdf_dict_get(ctx, dict, PDF_NAME(Reason)));

    _time = -1;
    pdf_obj* const m = pdf_dict_get(ctx, dict, PDF_NAME(M));
    if (pdf_is_string(ctx, m)) _time = ParseTime(StringBytes(ctx, m));
    return true;
}

void Signature::FindContentsRange() {
    fz_context* const ctx = _ctx.get();
    pdf_document* const doc = _xref.get();
    if (ctx == nullptr || doc == nullptr || _ref == nullptr) throw Exception(Code::kEmptySignature);
    fz_stream* const stream = doc->file;

    std::int64_t offset = -1;
    CALL_PDF(ctx, offset = ObjectOffset(ctx, doc, pdf_to_num(ctx, _ref.get())));
    if (offset < 0) throw Exception(Code::kEmptySignature);
    CALL_PDF(ctx, fz_seek(ctx, stream, offset, SEEK_SET));

    LexBuf lexbuf(ctx, PDF_LEXBUF_LARGE);
    pdf_lexbuf* const buf = lexbuf.Get();
    // The search stays inside this object: a dictionary cut short (no
    // endobj) must not find the /Contents of an object after it, such as
    // that of a signature appended later.
    bool header = true;  // the first "obj" is this object's own
    for (;;) {
        pdf_token token = PDF_TOK_ERROR;
        CALL_PDF(ctx, token = pdf_lex(ctx, stream, buf));
        if (token == PDF_TOK_OBJ && header) {
            header = false;
            continue;
        }
        if (token == PDF_TOK_EOF || token == PDF_TOK_ENDOBJ || token == PDF_TOK_OBJ ||
            token == PDF_TOK_STREAM || token == PDF_TOK_XREF || token == PDF_TOK_TRAILER ||
            token == PDF_TOK_STARTXREF)
            throw Exception(Code::kEmptySignature);
        if (token == PDF_TOK_NAME && std::strcmp(buf->scratch, "Contents") == 0) break;
    }

    int next = EOF;
    CALL_PDF(ctx, next = ReadNonWhite(ctx, stream));
    if (next != '<') throw Exception(Code::kContentsInvalid);
    std::int64_t start = 0;
    CALL_PDF(ctx, start = fz_tell(ctx, stream) - 1);
    // The hole ends at the end of the data at the latest.
    CALL_PDF(ctx, next = ReadPast(ctx, stream, '>'));
    if (next != '>') throw Exception(Code::kContentsInvalid);
    std::int64_t end = 0;
    CALL_PDF(ctx, end = fz_tell(ctx, stream));

    _contentsStart = static_cast<int>(start);
    _contentsEnd = static_cast<int>(end);
    Logger::Get()->SetFunc("FindContentsRange");
    Logger::Get()->Log("Contents found! Range %d-%d", _contentsStart, _contentsEnd);
}

int Signature::MatchVersion() {
    _revision = -1;
    // The signature must cover the file from its first byte and leave out
    // exactly its own /Contents string.
    if (_range[0] != 0 || _range[1] != _contentsStart || _range[2] != _contentsEnd) return -1;
    const Versions* const versions = _env != nullptr ? _env->GetVersions() : nullptr;
    if (versions == nullptr) return -1;

    const std::int64_t end = static_cast<std::int64_t>(_range[2]) + _range[3];
    const int count = versions->Count();
    for (int k = 0; k < count; ++k) {
        const int revisionEnd = versions->Get(count - 1 - k);
        Logger::Get()->SetFunc("MatchVersion");
        Logger::Get()->Log("Comparing version %d,->  %d and %d", k, static_cast<int>(end), revisionEnd);
        if (end == revisionEnd) {
            _revision = k;
            if (_certification == 1 && k != count - 1)
                Logger::Get()->Log("The document was changed after a certification that permits no changes");
            return k;
        }
    }
    return -1;
}

void Signature::WriteOut(unsigned long size) {
    std::FILE* const out = _env != nullptr ? _env->GetOutput() : nullptr;
    if (out == nullptr) throw Exception(Code::kNoOutput, "Output file not selected.");
    if (_env->GetXRefs() == nullptr)
        throw Exception(Code::kNoXRefs, "XRefs table not initialized in environment.");
    const File* const file = _env->GetFile();
    if (file == nullptr || file->Document() == nullptr)
        throw Exception(Code::kNoDocument, "Signature::WriteOut - no document");
    // The range arithmetic needs 32-bit offsets (and a hole the markers fit in).
    if (size < 3 || size > 0x10000000UL)
        throw Exception(Code::kBadReserve, "Signature::WriteOut - invalid reserve");
    _ctx = file->SharedContext();
    fz_context* const ctx = _ctx.get();

    _oid = _env->NewOid();
    _env->GetXRefs()->AddRef(_oid, 0, Output::Position(out));
    const LocaleGuard cNumbers;
    Output::Printf(out, "%d %d obj\n", _oid, 0);
    const int headerEnd = Output::Position(out);
    const ByteRange range = ByteRange::ForDictionaryAt(headerEnd, size);
    _range = {range.b1, range.b2, range.b3, range.b4};
    _rangePos = ByteRange::PlaceholderOffset(headerEnd);

    _time = std::time(nullptr);
    const std::string date = FormatTime(_time);
    std::string contents(size, '\0');
    contents[0] = '\xF0';
    contents[1] = '\xF2';
    contents[2] = '\xF3';
    pdf_obj* dict = nullptr;
    const char* const contentsBytes = contents.data();
    const char* const nameBytes = _name.data();
    const std::size_t nameLength = _name.size();
    CALL_PDF(ctx, dict = NewSignatureDict(ctx, contentsBytes, size, nameBytes, nameLength));
    const ObjPtr owner = AdoptObj(ctx, dict);
    if (!_location.empty()) fz_dictputunicodes(ctx, dict, "Location", _location.c_str());
    if (!_reason.empty()) fz_dictputunicodes(ctx, dict, "Reason", _reason.c_str());
    if (!_contact.empty()) fz_dictputunicodes(ctx, dict, "ContactInfo", _contact.c_str());
    const char* const dateBytes = date.data();
    const std::size_t dateLength = date.size();
    CALL_PDF(ctx, pdf_dict_put(ctx, dict, PDF_NAME(Type), PDF_NAME(Sig));
             pdf_dict_put_string(ctx, dict, PDF_NAME(M), dateBytes, dateLength));
    const std::string text = ObjectPrinter::Print(ctx, dict);
    // The offsets above count on exactly this beginning.
    const std::string head = "<</ByteRange" + ByteRange::Placeholder() + "/Contents<F0F2F3";
    if (text.compare(0, head.size(), head) != 0 ||
        text.size() < static_cast<std::size_t>(range.b3 - headerEnd) || text[range.b3 - headerEnd - 1] != '>')
        throw Exception(Code::kBadLayout, "Signature::WriteOut - unexpected dictionary layout");
    Output::Write(out, text);
    Output::Write(out, "\nendobj\n", 8);
}

std::string Signature::FormatTime(std::time_t when) {
    std::tm local{};
    localtime_r(&when, &local);
    // The zone's offset from UTC at that instant, daylight saving included.
    const long offset = local.tm_gmtoff;
    const long magnitude = offset < 0 ? -offset : offset;
    char text[64];
    std::snprintf(text, sizeof text, "D:%04d%02d%02d%02d%02d%02d%c%02ld'%02ld'", local.tm_year + 1900,
                  local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec,
                  offset < 0 ? '-' : '+', magnitude / 3600, magnitude % 3600 / 60);
    return text;
}

void Signature::FixRange(int end) {
    std::FILE* const out = _env != nullptr ? _env->GetOutput() : nullptr;
    if (out == nullptr) throw Exception(Code::kNoOutput, "Output file not selected.");
    const ByteRange range{_range[0], _range[1], _range[2], 0};
    const std::optional<std::string> text = range.FixedText(end);
    if (!text) throw Exception(Code::kRangeTooLong, "Byte range does not fit its placeholder");
    _range[3] = end - _range[2];
    Output::Seek(out, _rangePos, SEEK_SET);
    Output::Write(out, *text);
    Output::Seek(out, 0, SEEK_END);
}

void Signature::FillContents(Crypto::CMSignature* cms) {
    std::FILE* const out = _env != nullptr ? _env->GetOutput() : nullptr;
    if (out == nullptr) throw Exception(Code::kNoOutput, "Output file not selected.");
    if (cms == nullptr) throw Exception(Code::kSignFailed, Code::kSignFailedText);
    if (std::fflush(out) != 0) throw Exception(Code::kWriteFailed, Code::kWriteFailedText);

    // The covered bytes are read from the file in large blocks (a system
    // call for each piece would cost as much as the digest) and fed in pieces.
    const int fd = ::fileno(out);
    std::vector<unsigned char> block(kReadBlock);
    const auto feed = [&](int start, int length, bool last) {
        off_t at = start;
        long left = length;
        while (left > 0) {
            const std::size_t want = static_cast<std::size_t>(std::min<long>(left, kReadBlock));
            // Every covered byte must be signed: a short read is a failure.
            if (!ReadAt(fd, block.data(), want, at))
                throw Exception(Code::kFeedFailed, Code::kFeedFailedText);
            at += static_cast<off_t>(want);
            for (std::size_t done = 0; done < want;) {
                const std::size_t n = std::min(want - done, kFeedPiece);
                done += n;
                left -= static_cast<long>(n);
                if (!cms->FeedContent(block.data() + done - n, n, last && left == 0))
                    throw Exception(Code::kFeedFailed, Code::kFeedFailedText);
            }
        }
        if (last && length == 0 && !cms->FeedContent(block.data(), 0, true))
            throw Exception(Code::kFeedFailed, Code::kFeedFailedText);
    };
    feed(_range[0], _range[1], false);
    feed(_range[2], _range[3], true);

    const long capacity = (static_cast<long>(_range[2]) - 2 - _range[1]) / 2;
    if (capacity <= 0) throw Exception(Code::kSignFailed, Code::kSignFailedText);
    std::vector<unsigned char> signature(static_cast<std::size_t>(capacity), 0);
    unsigned long size = signature.size();
    if (!cms->Sign(signature.data(), size) || size > signature.size())
        throw Exception(Code::kSignFailed, Code::kSignFailedText);

    static const char kDigits[] = "0123456789abcdef";
    std::string hex;
    hex.reserve(size * 2);
    for (unsigned long i = 0; i < size; ++i) {
        hex.push_back(kDigits[signature[i] >> 4]);
        hex.push_back(kDigits[signature[i] & 0x0F]);
    }
    Output::Seek(out, static_cast<long>(_range[1]) + 1, SEEK_SET);
    Output::Write(out, hex);
    Output::Seek(out, 0, SEEK_END);
    if (std::fflush(out) != 0) throw Exception(Code::kWriteFailed, Code::kWriteFailedText);
}

bool Signature::LoadContents() {
    fz_context* const ctx = _ctx.get();
    pdf_obj* const contents = _dict != nullptr ? pdf_dict_get(ctx, _dict.get(), PDF_NAME(Contents)) : nullptr;
    if (!pdf_is_string(ctx, contents)) return false;
    _cms.reset();
    const Crypto::Platform* const platform = _env != nullptr ? _env->GetPlatform() : nullptr;
    const File* const file = _env != nullptr ? _env->GetFile() : nullptr;
    if (platform == nullptr || file == nullptr) return false;
    _cms = _kind == kTimeStamp ? platform->CreateTimeStampToken() : platform->CreateCMSignature();
    if (_cms == nullptr) return false;
    return _cms->Load(reinterpret_cast<const unsigned char*>(pdf_to_str_buf(ctx, contents)),
                      pdf_to_str_len(ctx, contents), file->FileSize());
}

void Signature::FeedContents(int start, int length, bool last) {
    fz_context* const ctx = _ctx.get();
    fz_stream* const stream = _xref != nullptr ? _xref->file : nullptr;
    if (ctx == nullptr || stream == nullptr || _cms == nullptr || !TrySeek(ctx, stream, start)) return;
    std::vector<unsigned char> piece(kFeedPiece);
    long left = length;
    while (left > 0) {
        const std::size_t want = static_cast<std::size_t>(std::min<long>(left, kFeedPiece));
        const std::size_t got = TryRead(ctx, stream, piece.data(), want);
        if (got == 0) break;
        left -= static_cast<long>(got);
        _cms->FeedContent(piece.data(), got, last && left == 0);
    }
}

Signature::VerifyError Signature::Verify() {
    if (_ref == nullptr || _dict == nullptr) return kNoRange;
    if (_range[0] == 0 && _range[1] == 0 && _range[2] == 0 && _range[3] == 0) return kNoRange;
    if (!LoadContents()) return kNoContents;
    // Only bytes of the file can be covered: a range reaching beyond its end
    // (or overlapping the other) does not describe what was signed, so the
    // signature fails. It is still reported with its signer, which the CMS
    // object names once it has been checked.
    const File* const file = _env != nullptr ? _env->GetFile() : nullptr;
    const std::int64_t size = file != nullptr ? static_cast<std::int64_t>(file->FileSize()) : 0;
    const std::int64_t firstEnd = static_cast<std::int64_t>(_range[0]) + _range[1];
    const std::int64_t secondEnd = static_cast<std::int64_t>(_range[2]) + _range[3];
    if (firstEnd > size || secondEnd > size || firstEnd > _range[2]) {
        Logger::Get()->SetFunc("Verify");
        Logger::Get()->Log("Byte range %d-%d %d-%d outside the file of %lld bytes", _range[0], _range[1],
                           _range[2], _range[3], static_cast<long long>(size));
        _cms->Verify();  // over no content: it cannot pass, and the answer is failure anyway
        return kNotVerified;
    }
    // A document time stamp has the time its authority signed, /M at most a claim.
    if (_kind == kTimeStamp && _cms->SigningTime() >= 0) _time = _cms->SigningTime();
    FeedContents(_range[0], _range[1], false);
    FeedContents(_range[2], _range[3], true);
    return _cms->Verify() ? kVerified : kNotVerified;
}

std::time_t Signature::ParseTime(const std::string& date) {
    // The text ends at a NUL, as a C string would.
    std::string text = date.substr(0, date.find('\0'));
    if (text.compare(0, 2, "D:") == 0) text.erase(0, 2);

    unsigned year = 0;
    if (!ReadNumber(text, 0, 4, year)) return -1;
    // Month to second at fixed places; what is missing keeps its default, but
    // only the time zone or the end of the text may cut the date short.
    unsigned fields[5] = {1, 1, 0, 0, 0};
    std::size_t pos = 14;
    bool complete = true;
    for (int f = 0; f < 5; ++f) {
        if (!ReadNumber(text, 4 + 2 * f, 2, fields[f])) {
            fields[f] = f < 2 ? 1 : 0;
            pos = 4 + 2 * f;
            complete = false;
            break;
        }
    }

    int sign = 0;
    unsigned hours = 0;
    unsigned minutes = 0;
    if (pos >= text.size()) {
        if (complete) return -1;  // a full date without time zone names no instant
    } else if (text[pos] == 'Z') {
        ++pos;
    } else if (text[pos] == '+' || text[pos] == '-') {
        const int markSign = text[pos] == '-' ? -1 : 1;
        std::size_t at = pos + 1;
        std::size_t hoursEnd = 0;
        std::size_t minutesEnd = 0;
        if (ReadNumber(text, at, 2, hours, &hoursEnd) && hoursEnd < text.size() && text[hoursEnd] == '\'' &&
            ReadNumber(text, hoursEnd + 1, 2, minutes, &minutesEnd)) {
            at = minutesEnd;
            if (at < text.size() && text[at] == '\'') ++at;  // the closing quote may be left out
            sign = markSign;
        } else {
            hours = minutes = 0;
        }
        pos = at;
    } else {
        return -1;
    }
    if (pos != text.size()) return -1;

    std::tm utc{};
    utc.tm_year = static_cast<int>(year) - 1900;
    utc.tm_mon = static_cast<int>(fields[0]) - 1;
    utc.tm_mday = static_cast<int>(fields[1]);
    utc.tm_hour = static_cast<int>(fields[2]);
    utc.tm_min = static_cast<int>(fields[3]);
    utc.tm_sec = static_cast<int>(fields[4]);
    // timegm answers -1 for an error and for 1969-12-31 23:59:59: only an
    // error leaves the weekday it fills in unset.
    utc.tm_wday = -1;
    const std::time_t instant = timegm(&utc);
    if (instant == static_cast<std::time_t>(-1) && utc.tm_wday == -1) return -1;
    return instant - sign * static_cast<std::time_t>(hours * 3600 + minutes * 60);
}

std::wstring fz_loadunicode(fz_context* ctx, pdf_obj* obj) {
    if (!pdf_is_string(ctx, obj)) return std::wstring();
    return TextString::Decode(StringBytes(ctx, obj));
}

void fz_dictputunicodes(fz_context* ctx, pdf_obj* dict, const char* key, const wchar_t* text) {
    std::string bytes("\xFE\xFF", 2);
    const auto put = [&bytes](unsigned unit) {
        bytes.push_back(static_cast<char>(unit >> 8 & 0xFF));
        bytes.push_back(static_cast<char>(unit & 0xFF));
    };
    for (const wchar_t* c = text; c != nullptr && *c != 0; ++c) {
        const unsigned long point = static_cast<unsigned long>(*c);
        if (point > 0xFFFF && point <= 0x10FFFF) {
            put(0xD800 + ((point - 0x10000) >> 10));
            put(0xDC00 + ((point - 0x10000) & 0x3FF));
        } else {
            put(static_cast<unsigned>(point & 0xFFFF));
        }
    }
    const char* const data = bytes.data();
    const std::size_t size = bytes.size();
    CALL_PDF(ctx, pdf_dict_puts_drop(ctx, dict, key, pdf_new_string(ctx, data, size)));
}

}  // namespace PDF
