#include "pdf/CallPDF.h"

#include <cstdarg>
#include <cstdio>
#include <string>
#include <vector>

#include "common/Logger.h"
#include "pdf/Exception.h"

namespace PDF {

namespace {

std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string Format(const char* format, ...) {
    va_list args;
    va_start(args, format);
    va_list again;
    va_copy(again, args);
    const int length = std::vsnprintf(nullptr, 0, format, args);
    va_end(args);
    std::vector<char> text(length > 0 ? length + 1 : 1, '\0');
    if (length > 0) std::vsnprintf(text.data(), text.size(), format, again);
    va_end(again);
    return std::string(text.data());
}

}  // namespace

void RaisePDFError(fz_context* ctx, const char* function, const char* file, int line,
                   const char* expression) {
    const int error = fz_caught(ctx);
    const std::string reason = fz_caught_message(ctx);  // copied before anything else runs
    Logger::Get()->SetFunc(function);
    Logger::Get()->Log("PDF library error: %s", reason.c_str());
    throw Exception(Code::kLibraryCall,
                    Format("PDF Error %d in %s, %s, line %d: %s\n", error, function, file, line, expression));
}

void RaiseNullObject(const char* function, const char* file, int line, const char* expression) {
    throw Exception(Code::kLibraryCall, Format("PDF Error null object in %s, %s, line %d: %s\n", function,
                                               file, line, expression));
}

pdf_obj* TryLoadObject(fz_context* ctx, pdf_document* doc, int num) noexcept {
    pdf_obj* obj = nullptr;
    fz_var(obj);
    fz_try(ctx) {
        obj = pdf_load_object(ctx, doc, num);
    }
    fz_catch(ctx) {
        obj = nullptr;
    }
    return obj;
}

std::size_t TryRead(fz_context* ctx, fz_stream* stream, unsigned char* buffer, std::size_t length) noexcept {
    std::size_t got = 0;
    fz_var(got);
    fz_try(ctx) {
        got = fz_read(ctx, stream, buffer, length);
    }
    fz_catch(ctx) {
        got = 0;
    }
    return got;
}

pdf_obj* LoadIndirect(fz_context* ctx, pdf_document* doc, pdf_obj* ref) {
    if (!pdf_is_indirect(ctx, ref)) fz_throw(ctx, FZ_ERROR_GENERIC, "not an indirect reference");
    return pdf_load_object(ctx, doc, pdf_to_num(ctx, ref));
}

bool TrySeek(fz_context* ctx, fz_stream* stream, std::int64_t offset) noexcept {
    int failed = 0;
    fz_var(failed);
    fz_try(ctx) {
        fz_seek(ctx, stream, offset, SEEK_SET);
    }
    fz_catch(ctx) {
        failed = 1;
    }
    return failed == 0;
}

}  // namespace PDF
