#include "pdf/Versions.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <set>

#include "common/Logger.h"
#include "common/posix/FilePtr.h"
#include "pdf/CallPDF.h"
#include "pdf/Env.h"
#include "pdf/Exception.h"
#include "pdf/File.h"
#include "pdf/FileManager.h"

namespace PDF {

namespace {

// Consumes bytes up to the next `wanted` (left unread); answers that byte,
// or EOF at the end of the data.
int SkipToByte(fz_context* ctx, fz_stream* stream, int wanted) {
    int next = fz_peek_byte(ctx, stream);
    while (next != EOF && next != wanted) {
        fz_read_byte(ctx, stream);
        next = fz_peek_byte(ctx, stream);
    }
    return next;
}

// The length of the end-of-file marker with its line ending at `at`, or 0.
std::size_t MarkerAt(const unsigned char* data, std::size_t size, std::size_t at) {
    static const char* const kMarkers[] = {"%%EOF\r\n", "%%EOF\r", "%%EOF\n", "%%EOF"};
    for (const char* marker : kMarkers) {
        const std::size_t length = std::strlen(marker);
        if (at + length <= size && std::memcmp(data + at, marker, length) == 0) return length;
    }
    return 0;
}

// The trailer's /Prev, read wide: a value beyond 32 bits must not wrap into
// an offset.
int PrevOf(fz_context* ctx, pdf_obj* trailer) {
    const long long prev = pdf_to_int64(ctx, pdf_dict_get(ctx, trailer, PDF_NAME(Prev)));
    if (prev < 0 || prev > static_cast<long long>(File::kMaxFileSize))
        throw Exception(Code::kBadXRef, "Cross-reference offset outside the file");
    return static_cast<int>(prev);
}

}  // namespace

Versions::Versions(Env* env) : _env(env) {}

void Versions::Check() {
    if (_env == nullptr) throw Exception(Code::kNoEnvironment, "Environment is empty.");
    _file = _env->GetFile();
    if (_file == nullptr) throw Exception(Code::kNoDocument, "File is not defined.");
    if (_file->Document() == nullptr) throw Exception(Code::kNoDocument, "File not loaded.");
    _xref = _file->Document();
    _stream = _file->Stream();
    _ends.clear();
    _newestIsStream = false;

    // Every step must land on a section not seen before and inside the file;
    // anything else would loop or read elsewhere.
    std::set<long long> visited;
    long long offset = _file->StartXRef();
    while (offset != 0) {
        if (offset < 0 || static_cast<unsigned long long>(offset) >= _file->FileSize())
            throw Exception(Code::kBadXRef, "Cross-reference offset outside the file");
        if (!visited.insert(offset).second) throw Exception(Code::kBadXRef, "Cross-reference chain loops");
        if (visited.size() == 1) _newestIsStream = StreamSectionAt(static_cast<int>(offset));
        offset = ParseVersion(static_cast<int>(offset));
    }
}

bool Versions::StreamSectionAt(int offset) {
    fz_context* const ctx = _file->Context();
    int first = EOF;
    CALL_PDF(ctx, fz_seek(ctx, _stream, offset, SEEK_SET); first = fz_peek_byte(ctx, _stream));
    return first >= '0' && first <= '9';
}

int Versions::ParseVersion(int startxref) {
    if (StreamSectionAt(startxref)) return ParseStreamVersion(startxref);
    fz_context* const ctx = _file->Context();
    fz_stream* const stream = _stream;

    CALL_PDF(ctx, fz_seek(ctx, stream, startxref, SEEK_SET));
    int next = EOF;
    CALL_PDF(ctx, next = SkipToByte(ctx, stream, 't'));
    if (next == EOF) throw Exception(Code::kBadXRef, "Could not find trailer");

    LexBuf lexbuf(ctx, PDF_LEXBUF_SMALL);
    pdf_lexbuf* const buf = lexbuf.Get();
    pdf_token token = PDF_TOK_ERROR;
    CALL_PDF(ctx, token = pdf_lex(ctx, stream, buf));
    if (token != PDF_TOK_TRAILER) throw Exception(Code::kBadXRef, "Trailer expected");
    CALL_PDF(ctx, token = pdf_lex(ctx, stream, buf));
    if (token != PDF_TOK_OPEN_DICT) throw Exception(Code::kBadXRef, "Trailer dictionary expected");
    pdf_obj* parsed = nullptr;
    CALL_PDF(ctx, parsed = pdf_parse_dict(ctx, _xref, stream, buf));
    const ObjPtr trailer = AdoptObj(ctx, parsed);

    const int prev = PrevOf(ctx, trailer.get());
    if (prev > startxref) return prev;  // a linearized file's first-page section
    RecordEnd();
    return prev;
}

// A cross-reference stream: "num gen obj", its dictionary (the trailer),
// the stream data, "endstream", "endobj", then startxref and the marker.
int Versions::ParseStreamVersion(int startxref) {
    fz_context* const ctx = _file->Context();
    fz_stream* const stream = _stream;

    CALL_PDF(ctx, fz_seek(ctx, stream, startxref, SEEK_SET));
    int num = 0;
    int gen = 0;
    std::int64_t dataStart = 0;
    int repair = 0;
    pdf_obj* parsed = nullptr;
    CALL_PDF(ctx, parsed = pdf_parse_ind_obj(ctx, _xref, stream, &num, &gen, &dataStart, &repair));
    const ObjPtr dict = AdoptObj(ctx, parsed);
    if (!pdf_is_dict(ctx, dict.get()) ||
        !pdf_name_eq(ctx, pdf_dict_get(ctx, dict.get(), PDF_NAME(Type)), PDF_NAME(XRef)) || dataStart <= 0)
        throw Exception(Code::kBadXRef, "Cross-reference stream expected");

    const int prev = PrevOf(ctx, dict.get());
    if (prev > startxref) return prev;  // a linearized file's first-page section

    std::int64_t length = -1;
    CALL_PDF(ctx, length = pdf_to_int64(ctx, pdf_dict_get(ctx, dict.get(), PDF_NAME(Length))));
    if (length < 0 || dataStart + length > static_cast<std::int64_t>(_file->FileSize()))
        throw Exception(Code::kBadXRef, "Cross-reference stream expected");

    // The data is skipped by its length: its bytes may look like anything.
    CALL_PDF(ctx, fz_seek(ctx, stream, dataStart + length, SEEK_SET));
    LexBuf lexbuf(ctx, PDF_LEXBUF_SMALL);
    pdf_lexbuf* const buf = lexbuf.Get();
    const pdf_token expected[] = {PDF_TOK_ENDSTREAM, PDF_TOK_ENDOBJ, PDF_TOK_STARTXREF, PDF_TOK_INT};
    for (const pdf_token want : expected) {
        pdf_token token = PDF_TOK_ERROR;
        CALL_PDF(ctx, token = pdf_lex(ctx, stream, buf));
        if (token != want) throw Exception(Code::kBadXRef, "EOF not found");
    }
    RecordEnd();
    return prev;
}

void Versions::RecordEnd() {
    fz_context* const ctx = _file->Context();
    std::size_t n = 0;
    CALL_PDF(ctx, n = fz_read(ctx, _stream, _buf.data(), _buf.size()));
    std::int64_t position = 0;
    CALL_PDF(ctx, position = fz_tell(ctx, _stream));

    std::size_t i = 0;
    std::size_t length = 0;
    for (; i < n; ++i) {
        length = MarkerAt(_buf.data(), n, i);
        if (length != 0) break;
    }
    if (length == 0) throw Exception(Code::kBadXRef, "EOF not found");

    const int end =
        static_cast<int>(position - static_cast<std::int64_t>(n) + static_cast<std::int64_t>(i + length));
    Logger::Get()->SetFunc("ParseVersion");
    Logger::Get()->Log("Found version with range n=%d   i=%d   to_add=%d , %d", static_cast<int>(n),
                       static_cast<int>(i), static_cast<int>(length), end);
    _ends.push_back(end);
}

std::string Versions::Output(int revision) const {
    const int index = Count() - 1 - revision;
    if (revision < 0 || index < 0 || index >= Count() || _file == nullptr || _stream == nullptr)
        return std::string();

    FileManager* const manager = FileManager::Instance();
    const std::string name = manager->GenerateFileName();
    if (name.empty()) return name;
    Logger::Get()->SetFunc("Output");
    Logger::Get()->Log("\n\n*****Temporary file name %s\n\n", name.c_str());
    manager->Register(name);

    Util::FilePtr out = FileManager::CreateNew(name);
    if (!out) return std::string();

    fz_context* const ctx = _file->Context();
    bool copied = TrySeek(ctx, _stream, 0);

    std::array<unsigned char, 4096> piece{};
    std::size_t left = static_cast<std::size_t>(_ends[index]);
    while (copied && left > 0) {
        const std::size_t got = TryRead(ctx, _stream, piece.data(), std::min(left, piece.size()));
        if (got == 0 || std::fwrite(piece.data(), 1, got, out.get()) != got) copied = false;
        left -= copied ? got : 0;
    }
    // A short copy would pass for the revision: nothing half-written is handed out.
    if (!Util::FinishWrite(std::move(out)) || !copied) {
        std::remove(name.c_str());
        return std::string();
    }
    return name;
}

}  // namespace PDF
