#include <gtest/gtest.h>

#include <set>
#include <string>

#include "pdf/Exception.h"
#include "pdf/PdfCodes.h"

namespace Code = PDF::Code;

namespace {

// The table gives one text per code: a code listed twice would make the
// second text unreachable, an empty text an exception without a message.
TEST(PdfCodes, TableListsEachCodeOnceWithAText) {
    std::set<int> seen;
    for (const Code::Text& entry : Code::kTexts) {
        EXPECT_TRUE(seen.insert(entry.code).second) << "code " << entry.code << " listed twice";
        ASSERT_NE(entry.text, nullptr) << entry.code;
        EXPECT_NE(std::string(entry.text), "") << entry.code;
        EXPECT_NE(entry.code, Code::kLibraryCall) << "code 0 is raised with the library's own text";
    }
    EXPECT_STREQ(Code::TextOf(-1000), "");
    EXPECT_STREQ(Code::TextOf(Code::kLibraryCall), "");
}

// The values and texts pages, scripts and stored logs know.
TEST(PdfCodes, ValuesAndTextsStayAsPagesKnowThem) {
    const struct {
        int code;
        int value;
        const char* text;  // null: raised with texts that name the failing function
    } cases[] = {
        {Code::kLibraryCall, 0, nullptr},
        {Code::kOpenFailed, -7, "Could not open file"},
        {Code::kTrailerEmpty, -50, "Trailer empty after load. "},
        {Code::kNoEnvironment, -51, nullptr},
        {Code::kNoOutput, -52, nullptr},
        {Code::kPageOutOfRange, -52, nullptr},
        {Code::kBadPageObject, -52, nullptr},
        {Code::kBadXRef, -53, nullptr},
        {Code::kBadFields, -53, nullptr},
        {Code::kBadAnnots, -53, nullptr},
        {Code::kFieldLoadFailed, -54, "Failed to load signature field."},
        {Code::kEmptySignature, -55, "Empty Signature"},
        {Code::kContentsInvalid, -56, "Contents invalid data"},
        {Code::kFeedFailed, -57, nullptr},
        {Code::kSignFailed, -57, nullptr},
        {Code::kBadVersion, -58, "Invalid PDF format version"},
        {Code::kTooLarge, -59, "File too large: documents of 2 GiB or more are not supported"},
        {Code::kEncodingFailed, -61, "Encoding failed"},
        {Code::kNoWatermark, -62, "Could not retrieve watermark image"},
        {Code::kWriteFailed, -64, nullptr},
        {Code::kAlreadySigned, -66, "The field is signed already"},
        {Code::kNotSignatureField, -67, "The field is not a signature field"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.code, c.value);
        if (c.text != nullptr) {
            EXPECT_STREQ(Code::TextOf(c.code), c.text) << c.value;
        }
    }
    EXPECT_STREQ(Code::kFeedFailedText, "Error on feed content!");
    EXPECT_STREQ(Code::kSignFailedText, "Error while signing CM signature");
    EXPECT_STREQ(Code::kWriteFailedText, "Could not write the working file");
}

// An exception raised with a code alone carries that code's text.
TEST(PdfCodes, ExceptionOfACodeCarriesItsText) {
    for (const Code::Text& entry : Code::kTexts) {
        const PDF::Exception e(entry.code);
        EXPECT_EQ(e.Code(), entry.code);
        EXPECT_STREQ(e.what(), entry.text);
    }
}

}  // namespace
