#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>

#include "crypto/CryptoCodes.h"
#include "engine/ResultCodes.h"
#include "pdf/PdfCodes.h"

namespace {

// A result's error is an engine code, a PDF::Exception or Crypto::Exception
// code, or a certificate's code: a page can tell the failures apart only if
// no two layers use one value for different things. Failures that share a
// value on purpose (-52 of the document layer, -2 and -8 here) count once.
TEST(ResultCodes, NoTwoLayersShareAResultValue) {
    const struct {
        const char* name;
        int value;
    } codes[] = {
        {"kSuccess", ResultCode::kSuccess},
        {"kNoDocument", ResultCode::kNoDocument},
        {"kNoCertificate", ResultCode::kNoCertificate},
        {"kSetupFailed", ResultCode::kSetupFailed},
        {"kTimeFailed", ResultCode::kTimeFailed},
        {"kChainFailed", ResultCode::kChainFailed},
        {"kRevocationFailed", ResultCode::kRevocationFailed},
        {"kNoSignatureFound", ResultCode::kNoSignatureFound},
        {"kEncryptedDocument", ResultCode::kEncryptedDocument},
        {"kRefusedForOrigin", ResultCode::kRefusedForOrigin},
        {"kSaveRefusedForOrigin", ResultCode::kSaveRefusedForOrigin},
        {"kSignDenied", ResultCode::kSignDenied},
        {"PDF kOpenFailed", PDF::Code::kOpenFailed},
        {"PDF kTrailerEmpty", PDF::Code::kTrailerEmpty},
        {"PDF kNoEnvironment", PDF::Code::kNoEnvironment},
        {"PDF kNoOutput", PDF::Code::kNoOutput},
        {"PDF kBadXRef", PDF::Code::kBadXRef},
        {"PDF kFieldLoadFailed", PDF::Code::kFieldLoadFailed},
        {"PDF kEmptySignature", PDF::Code::kEmptySignature},
        {"PDF kContentsInvalid", PDF::Code::kContentsInvalid},
        {"PDF kSignFailed", PDF::Code::kSignFailed},
        {"PDF kBadVersion", PDF::Code::kBadVersion},
        {"PDF kTooLarge", PDF::Code::kTooLarge},
        {"PDF kEncodingFailed", PDF::Code::kEncodingFailed},
        {"PDF kNoWatermark", PDF::Code::kNoWatermark},
        {"PDF kWriteFailed", PDF::Code::kWriteFailed},
        {"PDF kAlreadySigned", PDF::Code::kAlreadySigned},
        {"PDF kNotSignatureField", PDF::Code::kNotSignatureField},
        {"Crypto kNoDistributionPoints", Crypto::Code::kNoDistributionPoints},
        {"Crypto kNoURI", Crypto::Code::kNoURI},
        {"Crypto kSecretUnavailable", Crypto::Code::kSecretUnavailable},
        {"Crypto kCancelled", Crypto::Code::kCancelled},
        {"Crypto kWrongPassphrase", Crypto::Code::kWrongPassphrase},
        {"Crypto kWrongPin", Crypto::Code::kWrongPin},
        {"Crypto kPinLocked", Crypto::Code::kPinLocked},
        {"Crypto kTokenUnavailable", Crypto::Code::kTokenUnavailable},
        {"Crypto kKeyUnusable", Crypto::Code::kKeyUnusable},
    };
    std::map<int, std::string> seen;
    for (const auto& c : codes) {
        const auto [at, fresh] = seen.emplace(c.value, c.name);
        EXPECT_TRUE(fresh) << c.name << " and " << at->second << " both are " << c.value;
    }
}

// The values pages and their scripts compare with, and the texts the sign
// operation logs.
TEST(ResultCodes, ValuesAndTextsStayAsPagesKnowThem) {
    const struct {
        int code;
        int value;
        const char* text;
    } cases[] = {
        {ResultCode::kSuccess, 1, nullptr},
        {ResultCode::kNoObject, 0, nullptr},
        {ResultCode::kNoError, 0, nullptr},
        {ResultCode::kEmptyFile, -1, nullptr},
        {ResultCode::kRefusedFile, -2, nullptr},
        {ResultCode::kNoDocument, -2, nullptr},
        {ResultCode::kNoWorkingFile, -2, nullptr},
        {ResultCode::kNoCertificate, -3, "Certificate was empty!!!"},
        {ResultCode::kNoWorkingCopy, -5, nullptr},
        {ResultCode::kDownloadFailed, -6, nullptr},
        {ResultCode::kOpenFailed, -7, nullptr},
        {ResultCode::kSetupFailed, -8, nullptr},
        {ResultCode::kFileFailed, -8, nullptr},
        {ResultCode::kTimeFailed, -30, "Time validity"},
        {ResultCode::kChainFailed, -31, "Chain validity"},
        {ResultCode::kRevocationFailed, -32, "CRL validity"},
        {ResultCode::kNoSignatureFound, -63, nullptr},
        {ResultCode::kEncryptedDocument, -65, "Encrypted documents cannot be signed"},
        {ResultCode::kRefusedForOrigin, -77, nullptr},
        {ResultCode::kSaveRefusedForOrigin, -78, nullptr},
        {ResultCode::kSignDenied, -79, nullptr},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.code, c.value);
        if (c.text != nullptr) {
            EXPECT_STREQ(ResultCode::TextOf(c.code), c.text) << c.value;
        }
    }
    EXPECT_STREQ(ResultCode::kNoDocumentText, "File is empty!!!");

    std::set<int> listed;
    for (const ResultCode::Text& entry : ResultCode::kTexts) {
        EXPECT_TRUE(listed.insert(entry.code).second) << "code " << entry.code << " listed twice";
        EXPECT_NE(std::string(entry.text), "") << entry.code;
    }
    EXPECT_STREQ(ResultCode::TextOf(ResultCode::kSuccess), "");
}

}  // namespace
