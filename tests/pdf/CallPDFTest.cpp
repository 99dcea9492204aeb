#include <gtest/gtest.h>

#include <string>

#include "pdf/CallPDF.h"
#include "pdf/Exception.h"

namespace {

std::string Expected(const char* kind, int line, const char* expression) {
    return std::string("PDF Error ") + kind + " in TestBody, " + __FILE__ + ", line " + std::to_string(line) +
           ": " + expression + "\n";
}

TEST(CallPDF, TurnsALibraryErrorIntoAnExceptionNamingTheCall) {
    const PDF::ContextPtr context = PDF::NewContext();
    fz_context* const ctx = context.get();
    pdf_obj* parsed = nullptr;
    int line = 0;
    try {
        line = __LINE__ + 1;
        CALL_PDF(ctx, parsed = pdf_new_int(ctx, 1); fz_throw(ctx, FZ_ERROR_SYNTAX, "broken"));
        FAIL() << "no exception";
    } catch (const PDF::Exception& e) {
        EXPECT_EQ(e.Code(), 0);
        const std::string kind = std::to_string(FZ_ERROR_SYNTAX);
        EXPECT_EQ(e.what(),
                  Expected(kind.c_str(), line,
                           "parsed = pdf_new_int(ctx, 1); fz_throw(ctx, FZ_ERROR_SYNTAX, \"broken\")"));
    }
    pdf_drop_obj(ctx, parsed);

    // The context is usable afterwards: the error stack was unwound.
    int value = 0;
    CALL_PDF(ctx, value = 7);
    EXPECT_EQ(value, 7);
}

TEST(CallPDF, CallPDFNullPassesObjectsAndRefusesNull) {
    int object = 3;
    EXPECT_EQ(CALL_PDF_NULL(&object), &object);
    int* const nothing = nullptr;
    int line = 0;
    try {
        line = __LINE__ + 1;
        CALL_PDF_NULL(nothing);
        FAIL() << "no exception";
    } catch (const PDF::Exception& e) {
        EXPECT_EQ(e.Code(), 0);
        EXPECT_EQ(e.what(), Expected("null object", line, "nothing"));
    }
}

}  // namespace
