// The signature dictionary a sign operation writes, its byte range and
// contents, and the checking of a signature against the covered bytes.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <regex>
#include <string>
#include <vector>

#include "crypto/CMSignature.h"
#include "crypto/Certificate.h"
#include "crypto/openssl/PlatformOpenSSL.h"
#include "pdf/Exception.h"
#include "pdf/Field.h"
#include "pdf/Fields.h"
#include "pdf/Signature.h"
#include "support/OpenedDocument.h"
#include "support/PdfBuilder.h"
#include "support/ScopedEnv.h"
#include "support/SignDocument.h"
#include "support/TempDir.h"

namespace {

using TestSupport::PdfBuilder;
using TestSupport::ReadFile;

std::string MakeSource(const TestSupport::TempDir& dir) {
    PdfBuilder builder;
    builder.BasicDocument();
    builder.EndRevision();
    const std::string path = dir.File("in.pdf");
    builder.Save(path);
    return path;
}

// Opens a signed file and checks its first signature.
struct Checked {
    PDF::Signature::VerifyError result = PDF::Signature::kNoRange;
    std::string name;
    std::wstring reason;
    std::wstring location;
    std::wstring contact;
    std::time_t time = -1;
    std::string signer;
};

Checked Check(const std::string& path) {
    TestSupport::OpenedDocument document(path);
    Crypto::PlatformOpenSSL platform;
    document.Env().SetPlatform(&platform);
    PDF::Fields fields(&document.Env());
    fields.Load();
    Checked checked;
    if (fields.Count() == 0) return checked;
    std::unique_ptr<PDF::Signature> signature = fields.At(fields.Count() - 1)->GetSignature();
    if (!signature) return checked;
    checked.result = signature->Verify();
    checked.name = signature->GetName();
    checked.reason = signature->GetReason();
    checked.location = signature->GetLocation();
    checked.contact = signature->GetContact();
    checked.time = signature->GetTime();
    if (signature->GetCMS() != nullptr && signature->GetCMS()->SignerCert() != nullptr)
        checked.signer = signature->GetCMS()->SignerCert()->Subject();
    return checked;
}

TEST(SignatureWriterTest, DictionaryLayoutRangeAndContents) {
    TestSupport::TempDir dir;
    const std::string source = MakeSource(dir);
    const TestSupport::SignedInfo info = TestSupport::SignDocument(source, dir.File("out.pdf"));
    const std::string out = ReadFile(dir.File("out.pdf"));

    const std::string header = std::to_string(info.signatureOid) + " 0 obj\n";
    const std::size_t headerEnd = out.find(header, ReadFile(source).size()) + header.size();
    // The range was written over the placeholder, padded to its 37 bytes.
    const std::string array = "[0 " + std::to_string(headerEnd + 58) + " " +
                              std::to_string(headerEnd + 60 + 2 * 6656) + " " +
                              std::to_string(out.size() - (headerEnd + 60 + 2 * 6656)) + "]";
    EXPECT_EQ(out.substr(headerEnd, 12), "<</ByteRange");
    EXPECT_EQ(out.substr(headerEnd + 12, 37), array + std::string(37 - array.size(), ' '));
    EXPECT_EQ(out.substr(headerEnd + 49, 9), "/Contents");
    EXPECT_EQ(info.range[0], 0);
    EXPECT_EQ(info.range[1], static_cast<int>(headerEnd + 58));
    EXPECT_EQ(info.range[2], static_cast<int>(headerEnd + 60 + 13312));
    EXPECT_EQ(info.range[2] + info.range[3], static_cast<int>(out.size()));

    // The hole: 13312 digits, the DER message in lower-case hex, then zeros.
    ASSERT_EQ(out[info.range[1]], '<');
    ASSERT_EQ(out[info.range[2] - 1], '>');
    const std::string digits = out.substr(info.range[1] + 1, 13312);
    ASSERT_EQ(digits.substr(0, 4), "3082");  // SEQUENCE with a two-byte length
    const std::size_t length = 4 + std::stoul(digits.substr(4, 4), nullptr, 16);
    ASSERT_LT(length, 6656u);
    EXPECT_TRUE(std::regex_match(digits.substr(0, 2 * length), std::regex("[0-9a-f]+")));
    EXPECT_EQ(digits.substr(2 * length), std::string(13312 - 2 * length, '0'));

    // The rest of the dictionary, in its key order.
    const std::size_t rest = info.range[2];
    EXPECT_TRUE(std::regex_search(
        out.substr(rest, 200),
        std::regex("^/Filter/Adobe\\.PPKLite/SubFilter/adbe\\.pkcs7\\.detached/Name\\(Pendrel Test Signer\\)"
                   "/Type/Sig/M\\(D:\\d{14}[+-]\\d\\d'\\d\\d'\\)>>\nendobj\n")))
        << out.substr(rest, 200);
}

TEST(SignatureWriterTest, TextEntries) {
    struct Case {
        const char* name;
        std::wstring reason;
        std::wstring location;
        std::wstring contact;
        std::vector<std::string> present;
        std::vector<std::string> absent;
        std::wstring reasonBack;
    };
    const std::vector<Case> cases = {
        {"empty texts give no keys", L"", L"", L"", {}, {"/Reason", "/Location", "/ContactInfo"}, L""},
        {"UTF-16 reason",
         L"Odobreno",
         L"Beograd",
         L"",
         {"/Reason(\\376\\377\\0O\\0d\\0o\\0b\\0r\\0e\\0n\\0o)", "/Location(\\376\\377\\0B\\0e"},
         {"/ContactInfo"},
         L"Odobreno"},
        {"beyond U+FFFF as a surrogate pair",
         L"\U0001F600",
         L"",
         L"x@example.org",
         {"/Reason<FEFFD83DDE00>", "/ContactInfo("},
         {"/Location"},
         L"\xD83D\xDE00"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TestSupport::TempDir dir;
        TestSupport::SignOptions options;
        options.reason = c.reason;
        options.location = c.location;
        options.contact = c.contact;
        TestSupport::SignDocument(MakeSource(dir), dir.File("out.pdf"), options);
        const std::string out = ReadFile(dir.File("out.pdf"));
        for (const std::string& text : c.present) EXPECT_NE(out.find(text), std::string::npos) << text;
        for (const std::string& text : c.absent) EXPECT_EQ(out.find(text), std::string::npos) << text;
        const Checked checked = Check(dir.File("out.pdf"));
        EXPECT_EQ(checked.result, PDF::Signature::kVerified);
        EXPECT_TRUE(checked.reason == c.reasonBack);
        EXPECT_TRUE(checked.location == c.location);
        EXPECT_TRUE(checked.contact == c.contact);
        EXPECT_EQ(checked.name, "Pendrel Test Signer");
        EXPECT_EQ(checked.signer, "Pendrel Test Signer");
        EXPECT_LE(std::abs(checked.time - std::time(nullptr)), 120);
    }
}

TEST(SignatureWriterTest, SigningTimeText) {
    struct Case {
        const char* zone;
        std::time_t when;
        const char* text;
    };
    // 2024-01-15 13:30:00 UTC and 2024-07-15 13:30:00 UTC.
    const std::vector<Case> cases = {
        {"UTC0", 1705325400, "D:20240115133000+00'00'"},
        {"CET-1CEST,M3.5.0,M10.5.0/3", 1705325400, "D:20240115143000+01'00'"},
        {"CET-1CEST,M3.5.0,M10.5.0/3", 1721050200, "D:20240715153000+02'00'"},
        {"EST5", 1705325400, "D:20240115083000-05'00'"},
        {"IST-5:30", 1705325400, "D:20240115190000+05'30'"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.zone);
        const TestSupport::ScopedEnv zone("TZ", c.zone);
        tzset();
        EXPECT_EQ(PDF::Signature::FormatTime(c.when), c.text);
        EXPECT_EQ(PDF::Signature::ParseTime(c.text), c.when);
    }
    tzset();
}

TEST(SignatureWriterTest, ChangedCoveredByteDoesNotVerify) {
    TestSupport::TempDir dir;
    TestSupport::SignDocument(MakeSource(dir), dir.File("out.pdf"));
    ASSERT_EQ(Check(dir.File("out.pdf")).result, PDF::Signature::kVerified);

    std::string bytes = ReadFile(dir.File("out.pdf"));
    const std::size_t at = bytes.find("612 792");
    ASSERT_NE(at, std::string::npos);
    bytes[at + 2] = '3';
    TestSupport::WriteFile(dir.File("changed.pdf"), bytes);
    EXPECT_EQ(Check(dir.File("changed.pdf")).result, PDF::Signature::kNotVerified);
}

// A range that reaches outside the file, or overlaps the other, cannot say
// what was signed: the signature fails, and its signer is still named.
TEST(SignatureWriterTest, RangesOutsideTheFileDoNotVerify) {
    struct Case {
        const char* name;
        long long b2;  // -1: up to the hole
        long long b3;  // -1: after the hole
        long long b4;  // -1: to the end of the file
        PDF::Signature::VerifyError expected;
    };
    const std::vector<Case> cases = {
        {"second range past the end", -1, -1, 99999999, PDF::Signature::kNotVerified},
        {"second range one byte past the end", -1, -1, -2, PDF::Signature::kNotVerified},
        {"second range starting past the end", -1, 99999990, 5, PDF::Signature::kNotVerified},
        {"first range past the end", 99999999, -1, -1, PDF::Signature::kNotVerified},
        {"overlapping ranges", -1, 10, -1, PDF::Signature::kNotVerified},
        {"zero range", 0, 0, 0, PDF::Signature::kNoRange},
    };
    TestSupport::TempDir dir;
    const TestSupport::SignedInfo info = TestSupport::SignDocument(MakeSource(dir), dir.File("out.pdf"));
    const std::string signedBytes = ReadFile(dir.File("out.pdf"));
    const std::size_t at = signedBytes.find("/ByteRange[", ReadFile(MakeSource(dir)).size()) + 10;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const long long b4 = c.b4 == -2 ? info.range[3] + 1 : c.b4 < 0 ? info.range[3] : c.b4;
        std::string array = "[0 " + std::to_string(c.b2 < 0 ? info.range[1] : c.b2) + " " +
                            std::to_string(c.b3 < 0 ? info.range[2] : c.b3) + " " + std::to_string(b4) + "]";
        array.resize(37, ' ');
        std::string bytes = signedBytes;
        bytes.replace(at, 37, array);
        TestSupport::WriteFile(dir.File("in.pdf"), bytes);
        const Checked checked = Check(dir.File("in.pdf"));
        EXPECT_EQ(checked.result, c.expected);
        if (c.expected == PDF::Signature::kNotVerified) {
            EXPECT_EQ(checked.signer, "Pendrel Test Signer");
        }
    }
}

TEST(SignatureWriterTest, ReserveTooSmallForTheSignatureFails) {
    TestSupport::TempDir dir;
    TestSupport::SignOptions options;
    options.reserve = 64;
    try {
        TestSupport::SignDocument(MakeSource(dir), dir.File("out.pdf"), options);
        FAIL() << "a signature larger than its hole was accepted";
    } catch (const PDF::Exception& e) {
        EXPECT_EQ(e.Code(), PDF::Code::kSignFailed);
    }
}

}  // namespace
