#include <gtest/gtest.h>
#include <mupdf/pdf.h>

#include <functional>
#include <string>
#include <vector>

#include "crypto/openssl/PlatformOpenSSL.h"
#include "pdf/Exception.h"
#include "pdf/Field.h"
#include "pdf/Fields.h"
#include "pdf/Signature.h"
#include "support/LogCapture.h"
#include "support/OpenSSLTool.h"
#include "support/OpenedDocument.h"
#include "support/PdfBuilder.h"
#include "support/SignedBuilderDocument.h"
#include "support/TempDir.h"
#include "support/TestPKI.h"

using TestSupport::LogCapture;
using TestSupport::OpenedDocument;
using TestSupport::PdfBuilder;
using TestSupport::TempDir;

namespace {

// One page, the AcroForm 6 listing field 7, whose /V is object 8.
PdfBuilder SignedDocument(const std::string& signature) {
    PdfBuilder pdf;
    pdf.BasicDocument(1, "/AcroForm 6 0 R");
    pdf.Object(6, "<</Fields[7 0 R]/SigFlags 3>>");
    pdf.Object(7, "<</FT/Sig/T(Signature1)/Rect[0 0 0 0]/P 3 0 R/V 8 0 R>>");
    pdf.Object(8, signature);
    return pdf;
}

// The signature of the first field of `path`; null when it does not load.
std::unique_ptr<PDF::Signature> FirstSignature(OpenedDocument& doc) {
    PDF::Fields fields(&doc.Env());
    fields.Load();
    return fields.At(0)->GetSignature();
}

TEST(Signature, LoadsTheSignerDetailsAndLocatesTheHole) {
    PdfBuilder pdf = SignedDocument(PdfBuilder::SignatureDict(
        "/Name(Jane\\000Doe)/Reason<FEFF004F0064006F0062>/Location(K\\366ln)/M(D:20240115143000+01'00')"));
    pdf.EndRevision();
    pdf.CoverUpTo(8, pdf.Bytes().size());
    const TempDir dir;
    pdf.Save(dir.File("signed.pdf"));

    OpenedDocument doc(dir.File("signed.pdf"));
    const LogCapture log;
    const auto signature = FirstSignature(doc);
    ASSERT_NE(signature, nullptr);
    const int start = static_cast<int>(pdf.ContentsStart(8));
    const int end = static_cast<int>(pdf.ContentsEnd(8));
    const int size = static_cast<int>(pdf.Bytes().size());
    EXPECT_EQ(signature->GetContentsStart(), start);
    EXPECT_EQ(signature->GetContentsEnd(), end);
    EXPECT_EQ(signature->GetRange(), (std::array<int, 4>{0, start, end, size - end}));
    EXPECT_EQ(signature->GetSubFilter(), "adbe.pkcs7.detached");
    EXPECT_EQ(signature->GetName(), "Jane");  // up to the first NUL
    EXPECT_EQ(signature->GetReason(), L"Odob");
    EXPECT_EQ(signature->GetLocation(), L"K\u00F6ln");
    EXPECT_EQ(signature->GetContact(), L"");
    EXPECT_EQ(signature->GetTime(), 1705325400);  // 2024-01-15 13:30:00 UTC
    EXPECT_EQ(signature->GetRevision(), -1);      // not matched yet
    if (log.Enabled()) {
        EXPECT_TRUE(log.Has("FindContentsRange",
                            "Contents found! Range " + std::to_string(start) + "-" + std::to_string(end)));
        EXPECT_TRUE(log.Has("Load", "Loaded ranges 0-" + std::to_string(start) + "  " + std::to_string(end) +
                                        "-" + std::to_string(size - end) + "   total " +
                                        std::to_string(size)));
    }
}

TEST(Signature, OutlivesItsDocument) {
    PdfBuilder pdf = SignedDocument(PdfBuilder::SignatureDict("/Name(Jane)"));
    pdf.EndRevision();
    const TempDir dir;
    pdf.Save(dir.File("signed.pdf"));
    std::unique_ptr<PDF::Signature> signature;
    {
        OpenedDocument doc(dir.File("signed.pdf"));
        signature = FirstSignature(doc);
    }  // the result and the status window keep signatures after the request
    ASSERT_NE(signature, nullptr);
    EXPECT_EQ(signature->GetName(), "Jane");
    signature->ClearData();
}

struct MatchCase {
    std::string name;
    // Sets the byte range of object 8 from the hole and the revision ends.
    std::function<void(PdfBuilder&, std::size_t start, std::size_t after,
                       const std::vector<std::size_t>& ends)>
        range;
    int revision;
};

const MatchCase kMatchCases[] = {
    {"first revision", [](PdfBuilder& p, auto, auto, const auto& e) { p.CoverUpTo(8, e[0]); }, 0},
    {"second revision", [](PdfBuilder& p, auto, auto, const auto& e) { p.CoverUpTo(8, e[1]); }, 1},
    {"whole file", [](PdfBuilder& p, auto, auto, const auto& e) { p.CoverUpTo(8, e[2]); }, 2},
    {"between two markers", [](PdfBuilder& p, auto, auto, const auto& e) { p.CoverUpTo(8, e[1] - 10); }, -1},
    {"just past a marker", [](PdfBuilder& p, auto, auto, const auto& e) { p.CoverUpTo(8, e[0] + 1); }, -1},
    {"first range not from byte 0",
     [](PdfBuilder& p, auto s, auto a, const auto& e) { p.SetByteRange(8, 1, s - 1, a, e[0] - a); }, -1},
    {"hole wider than /Contents",
     [](PdfBuilder& p, auto s, auto a, const auto& e) { p.SetByteRange(8, 0, s - 1, a, e[0] - a); }, -1},
    {"hole ending after /Contents",
     [](PdfBuilder& p, auto s, auto a, const auto& e) { p.SetByteRange(8, 0, s, a + 1, e[0] - a - 1); }, -1},
    {"all zeros", [](PdfBuilder& p, auto, auto, const auto&) { p.SetByteRange(8, 0, 0, 0, 0); }, -1},
};

TEST(Signature, MatchesTheRevisionItsRangeEndsAt) {
    const TempDir dir;
    for (const MatchCase& c : kMatchCases) {
        SCOPED_TRACE(c.name);
        PdfBuilder pdf = SignedDocument(PdfBuilder::SignatureDict());
        pdf.EndRevision();
        pdf.Add("(update 1)");
        pdf.EofLineEnd("\r\n");
        pdf.EndRevision();
        pdf.Add("(update 2)");
        pdf.EndRevision();
        c.range(pdf, pdf.ContentsStart(8), pdf.ContentsEnd(8), pdf.RevisionEnds());
        pdf.Save(dir.File("match.pdf"));

        OpenedDocument doc(dir.File("match.pdf"));
        const LogCapture log;
        const auto signature = FirstSignature(doc);
        ASSERT_NE(signature, nullptr);
        EXPECT_EQ(signature->MatchVersion(), c.revision);
        EXPECT_EQ(signature->GetRevision(), c.revision);
        if (c.revision >= 0 && log.Enabled()) {
            const std::string end = std::to_string(pdf.RevisionEnds()[c.revision]);
            EXPECT_TRUE(log.Has("MatchVersion", "Comparing version " + std::to_string(c.revision) + ",->  " +
                                                    end + " and " + end));
        }
    }
}

struct BadSignatureCase {
    std::string name;
    std::string dictionary;  // object 8
    int code;                // 1: loads, 2: not a signature (null), otherwise the exception code
    std::string text;
};

const std::string kFilters = "/Filter/Adobe.PPKLite/SubFilter/adbe.pkcs7.detached";
const BadSignatureCase kBadSignatures[] = {
    {"complete", "<</Type/Sig" + kFilters + "/ByteRange[0 1 2 3]/Contents<0A0B>>>", 1, ""},
    {"/Contents a literal string", "<</Type/Sig" + kFilters + "/ByteRange[0 1 2 3]/Contents(abc)>>",
     PDF::Code::kContentsInvalid, "Contents invalid data"},
    {"/Contents a number", "<</Type/Sig" + kFilters + "/ByteRange[0 1 2 3]/Contents 12>>",
     PDF::Code::kContentsInvalid, "Contents invalid data"},
    {"no /Contents", "<</Type/Sig" + kFilters + "/ByteRange[0 1 2 3]>>", PDF::Code::kEmptySignature,
     "Empty Signature"},
    {"/Contents only inside a string",
     "<</Type/Sig" + kFilters + "/Reason(/Contents <00>)/ByteRange[0 1 2 3]>>", PDF::Code::kEmptySignature,
     "Empty Signature"},
    {"no /Type", "<<" + kFilters + "/ByteRange[0 1 2 3]/Contents<00>>>", 2, ""},
    {"/Type not Sig", "<</Type/Annot" + kFilters + "/ByteRange[0 1 2 3]/Contents<00>>>", 2, ""},
    {"/Type DocTimeStamp", "<</Type/DocTimeStamp" + kFilters + "/ByteRange[0 1 2 3]/Contents<00>>>", 1, ""},
    {"/ByteRange of three", "<</Type/Sig" + kFilters + "/ByteRange[0 1 2]/Contents<00>>>", 2, ""},
    {"/ByteRange of five", "<</Type/Sig" + kFilters + "/ByteRange[0 1 2 3 4]/Contents<00>>>", 2, ""},
    {"/ByteRange a name", "<</Type/Sig" + kFilters + "/ByteRange/All/Contents<00>>>", 2, ""},
    {"/ByteRange holding a string", "<</Type/Sig" + kFilters + "/ByteRange[0 (1) 2 3]/Contents<00>>>", 2, ""},
    {"/ByteRange holding a real", "<</Type/Sig" + kFilters + "/ByteRange[0 1.5 2 3]/Contents<00>>>", 2, ""},
    // MuPDF clamps the number; the range then matches no revision.
    {"/ByteRange beyond 32 bits", "<</Type/Sig" + kFilters + "/ByteRange[0 99999999999 2 3]/Contents<00>>>",
     1, ""},
    {"/ByteRange negative", "<</Type/Sig" + kFilters + "/ByteRange[0 -5 2 3]/Contents<00>>>", 2, ""},
    {"no /Filter", "<</Type/Sig/SubFilter/adbe.pkcs7.detached/ByteRange[0 1 2 3]/Contents<00>>>", 2, ""},
    {"no /SubFilter", "<</Type/Sig/Filter/Adobe.PPKLite/ByteRange[0 1 2 3]/Contents<00>>>", 2, ""},
    {"not a dictionary", "[1 2 3]", PDF::Code::kEmptySignature, "Empty Signature"},
    // Cut short without endobj: the /Contents of the object after it is not its own.
    {"/Contents only in the next object",
     "<</Type/Sig" + kFilters + "/ByteRange[0 1 2 3]>>\n7 0 obj\n<</Contents<00>>>",
     PDF::Code::kEmptySignature, "Empty Signature"},
    {"/Contents only after the trailer",
     "<</Type/Sig" + kFilters + "/ByteRange[0 1 2 3]>>\ntrailer\n<</Contents<00>>>",
     PDF::Code::kEmptySignature, "Empty Signature"},
    // MuPDF cannot load the dictionary at all: no signature, but no empty field either.
    {"/Contents never closes", "<</Type/Sig" + kFilters + "/ByteRange[0 1 2 3]/Contents<0A0B", 2, ""},
};

TEST(Signature, RefusesBrokenSignatureDictionaries) {
    const TempDir dir;
    for (const BadSignatureCase& c : kBadSignatures) {
        SCOPED_TRACE(c.name);
        PdfBuilder pdf = SignedDocument(c.dictionary);
        pdf.EndRevision();
        pdf.Save(dir.File("bad.pdf"));
        OpenedDocument doc(dir.File("bad.pdf"));
        int code = 1;
        std::string text;
        try {
            code = FirstSignature(doc) != nullptr ? 1 : 2;
        } catch (const PDF::Exception& e) {
            code = e.Code();
            text = e.what();
        }
        EXPECT_EQ(code, c.code) << text;
        EXPECT_EQ(text, c.text);
    }
}

struct KindCase {
    std::string name;
    std::string dictionary;  // object 8
    PDF::Signature::Kind kind;
    int certification;
};

const std::string kMDP =
    "/Reference[<</Type/SigRef/TransformMethod/DocMDP/TransformParams<</Type/TransformParams";
const KindCase kKindCases[] = {
    {"adbe.pkcs7.detached", PdfBuilder::SignatureDict(), PDF::Signature::kDetached, 0},
    {"PAdES", PdfBuilder::SignatureDictOf("Sig", "ETSI.CAdES.detached", 8), PDF::Signature::kDetached, 0},
    {"document time stamp", PdfBuilder::SignatureDictOf("DocTimeStamp", "ETSI.RFC3161", 8),
     PDF::Signature::kTimeStamp, 0},
    // The sub-filter says what /Contents holds.
    {"token under /Type /Sig", PdfBuilder::SignatureDictOf("Sig", "ETSI.RFC3161", 8),
     PDF::Signature::kTimeStamp, 0},
    {"time stamp with a detached sub-filter",
     PdfBuilder::SignatureDictOf("DocTimeStamp", "adbe.pkcs7.detached", 8), PDF::Signature::kUnsupported, 0},
    {"adbe.pkcs7.sha1", PdfBuilder::SignatureDictOf("Sig", "adbe.pkcs7.sha1", 8),
     PDF::Signature::kUnsupported, 0},
    {"sub-filter a string",
     "<</Type/Sig/Filter/Adobe.PPKLite/SubFilter(adbe.pkcs7.detached)/ByteRange[0 1 2 3]/Contents<00>>>",
     PDF::Signature::kUnsupported, 0},
    {"sub-filter in another case", PdfBuilder::SignatureDictOf("Sig", "ADBE.PKCS7.DETACHED", 8),
     PDF::Signature::kUnsupported, 0},
    // Certification: the DocMDP transform and its permissions.
    {"certifies, no changes", PdfBuilder::SignatureDict(kMDP + "/P 1/V/1.2>>>>]"), PDF::Signature::kDetached,
     1},
    {"certifies, annotations", PdfBuilder::SignatureDict(kMDP + "/P 3>>>>]"), PDF::Signature::kDetached, 3},
    {"certifies, /P left out", PdfBuilder::SignatureDict(kMDP + ">>>>]"), PDF::Signature::kDetached, 2},
    {"certifies, /P out of range", PdfBuilder::SignatureDict(kMDP + "/P 9>>>>]"), PDF::Signature::kDetached,
     2},
    {"certifies, reference held indirectly", PdfBuilder::SignatureDict("/Reference[9 0 R]"),
     PDF::Signature::kDetached, 1},
    {"field lock only", PdfBuilder::SignatureDict("/Reference[<</TransformMethod/FieldMDP>>]"),
     PDF::Signature::kDetached, 0},
};

TEST(Signature, TellsWhatItHoldsAndWhetherItCertifies) {
    const TempDir dir;
    for (const KindCase& c : kKindCases) {
        SCOPED_TRACE(c.name);
        PdfBuilder pdf = SignedDocument(c.dictionary);
        pdf.Object(9, "<</TransformMethod/DocMDP/TransformParams<</P 1>>>>");
        pdf.EndRevision();
        pdf.Save(dir.File("kind.pdf"));
        OpenedDocument doc(dir.File("kind.pdf"));
        const LogCapture log;
        const auto signature = FirstSignature(doc);
        ASSERT_NE(signature, nullptr);
        EXPECT_EQ(signature->GetKind(), c.kind);
        EXPECT_EQ(signature->GetCertification(), c.certification);
        if (c.certification != 0 && log.Enabled()) {
            EXPECT_TRUE(log.Has(
                "Load", "Certification signature, changes permitted " + std::to_string(c.certification)));
        }
    }
}

struct TimeCase {
    std::string text;
    std::time_t expected;
};

const TimeCase kTimeCases[] = {
    // The three forms of a complete date.
    {"D:20240115143000+01'00'", 1705325400},  // 13:30:00 UTC
    {"D:20240115143000Z", 1705329000},        // 14:30:00 UTC
    {"D:20240115143000", -1},                 // no time zone: no instant
    {"D:20240115143000-05'30'", 1705329000 + 5 * 3600 + 30 * 60},
    // The zone-less clock reads one second before 1970 (the calendar's error
    // value), yet the instant is a real one (found by fuzzing).
    {"D:19691231235959-03'30'", 3 * 3600 + 30 * 60 - 1},
    {"D:19691231235959Z", -1},
    {"20240115143000Z", 1705329000},  // without "D:"
    // Cut short: the end of the text means UTC, a time zone may follow.
    {"D:2024", 1704067200},
    {"D:202401", 1704067200},
    {"D:20240115", 1705276800},
    {"D:2024011514Z", 1705327200},
    {"D:202401151430-05'30'", 1705348800},
    {"D:2024011514+01'00'", 1705327200 - 3600},
    // A sign without hours and minutes counts as offset 0.
    {"D:20240115143000+", 1705329000},
    {"D:20240115143000+01'00", 1705325400},  // closing quote left out
    // Anything else names no instant.
    {"D:20240115143000+01", -1},
    {"D:20240115143000-0100", -1},
    {"D:20240115143000Zjunk", -1},
    {"D:20240115x", -1},
    {"D:abc", -1},
    {"", -1},
    {std::string("D:2024\0junk", 11), 1704067200},  // a NUL ends the text
};

TEST(Signature, ParsesSigningTimes) {
    for (const TimeCase& c : kTimeCases) EXPECT_EQ(PDF::Signature::ParseTime(c.text), c.expected) << c.text;
}

TEST(Signature, ReadsTheSigningTimeFromM) {
    const TempDir dir;
    const std::pair<std::string, std::time_t> cases[] = {
        {"/M(D:20240115143000Z)", 1705329000},
        {"/M(D:20240115143000)", -1},
        {"/M 20240115", -1},  // not a string
        {"", -1},
    };
    for (const auto& [entry, expected] : cases) {
        SCOPED_TRACE(entry);
        PdfBuilder pdf = SignedDocument(PdfBuilder::SignatureDict(entry));
        pdf.EndRevision();
        pdf.Save(dir.File("time.pdf"));
        OpenedDocument doc(dir.File("time.pdf"));
        const auto signature = FirstSignature(doc);
        ASSERT_NE(signature, nullptr);
        EXPECT_EQ(signature->GetTime(), expected);
    }
}

struct TextCase {
    std::string name;
    std::string bytes;
    std::wstring expected;
};

const TextCase kTextCases[] = {
    {"UTF-16BE", std::string("\xFE\xFF\x00\x4F\x00\x64\x00\xF6\x20\xAC", 10), L"Od\u00F6\u20AC"},
    {"UTF-16BE, odd last byte dropped", std::string("\xFE\xFF\x00\x4F\x00", 5), L"O"},
    {"mark and one byte", std::string("\xFE\xFF\x41", 3), L""},
    {"mark alone is the empty text", "\xFE\xFF", L""},
    {"unpaired surrogate shown as U+FFFD", std::string("\xFE\xFF\x00\x4F\xD8\x00\x00\x4B", 8), L"O\uFFFDK"},
    {"surrogate pair kept as two units", std::string("\xFE\xFF\xD8\x3D\xDE\x00", 6),
     std::wstring{0xD83D, 0xDE00}},
    {"UTF-16BE with NUL unit", std::string("\xFE\xFF\x00\x41\x00\x00\x00\x42", 8),
     std::wstring{L'A', 0, L'B'}},
    {"PDFDocEncoding, one character per byte", "A\xE9\x80\xFF", L"A\u00E9\u2022\u00FF"},
    {"bytes up to the first NUL", std::string("AB\0CD", 5), L"AB"},
    {"empty", "", L""},
};

TEST(Signature, DecodesTextStrings) {
    const PDF::ContextPtr ctx = PDF::NewContext();
    for (const TextCase& c : kTextCases) {
        SCOPED_TRACE(c.name);
        const PDF::ObjPtr string =
            PDF::AdoptObj(ctx.get(), pdf_new_string(ctx.get(), c.bytes.data(), c.bytes.size()));
        EXPECT_EQ(PDF::fz_loadunicode(ctx.get(), string.get()), c.expected);
    }
    const PDF::ObjPtr number = PDF::AdoptObj(ctx.get(), pdf_new_int(ctx.get(), 65));
    EXPECT_EQ(PDF::fz_loadunicode(ctx.get(), number.get()), L"");
    EXPECT_EQ(PDF::fz_loadunicode(ctx.get(), nullptr), L"");
}

}  // namespace

// Long strings, hex strings and names before /Contents, as other programs
// write them (a long reason, the signer's certificate in /Cert): the search
// for the hole lexes over them and the signature verifies over its range.
TEST(Signature, LongEntriesBeforeContentsDoNotHideTheHole) {
    const TestSupport::PKICert& signer = TestSupport::TestPKI::Shared().Get(TestSupport::TestPKI::Signer);
    std::string hexToken;
    for (int i = 0; i < 2500; ++i) hexToken += "A5";  // 5000 digits, 2500 bytes once lexed
    const std::string reason(400, 'r');
    struct Case {
        std::string name;
        std::string lead;
    };
    const Case cases[] = {
        {"400-character reason", "/Reason(" + reason + ")"},
        {"long /Cert", "/Cert<" + std::string(3000, '3') + ">"},
        {"5000-digit hex token", "/Prop_Build<" + hexToken + ">"},
        {"long name", "/Filler/" + std::string(1000, 'n')},
        {"all of them", "/Reason(" + reason + ")/Cert[<" + hexToken + ">]/X/" + std::string(300, 'x')},
    };
    const TempDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TestSupport::SignedBuilderDocument doc;
        TestSupport::SignedBuilderDocument::Field field;
        field.dictLead = c.lead;
        const int num = doc.AddSignature(
            field, [&](const std::string& bytes) { return TestSupport::CmsSign(dir, bytes, signer); });
        doc.Save(dir.File("long.pdf"));

        OpenedDocument opened(dir.File("long.pdf"));
        Crypto::PlatformOpenSSL platform;
        opened.Env().SetPlatform(&platform);
        PDF::Fields fields(&opened.Env());
        fields.Load();
        ASSERT_EQ(fields.Count(), 1u);
        const auto signature = fields.At(0)->GetSignature();
        ASSERT_NE(signature, nullptr);
        EXPECT_EQ(signature->GetContentsStart(), static_cast<int>(doc.Pdf().ContentsStart(num)));
        EXPECT_EQ(signature->GetContentsEnd(), static_cast<int>(doc.Pdf().ContentsEnd(num)));
        EXPECT_EQ(signature->MatchVersion(), 1);
        EXPECT_EQ(signature->Verify(), PDF::Signature::kVerified);
        if (c.lead.rfind("/Reason", 0) == 0) {
            EXPECT_EQ(signature->GetReason(), std::wstring(400, L'r'));
        }
    }
}

namespace {

// A signature dictionary that a rewrite moved into an object stream has no
// /Contents string in the file: it loads, matches no revision and fails on
// its covered bytes, instead of failing the whole document.
TEST(Signature, ReadsADictionaryKeptInAnObjectStream) {
    PdfBuilder pdf("1.5");
    pdf.SectionForm(PdfBuilder::Section::Stream);
    pdf.BasicDocument(1, "/AcroForm 6 0 R");
    pdf.Object(6, "<</Fields[7 0 R]/SigFlags 3>>");
    pdf.Object(7, "<</FT/Sig/T(Signature1)/Rect[0 0 0 0]/P 3 0 R/V 8 0 R>>");
    pdf.Compressed(8,
                   "<</Type/Sig/Filter/Adobe.PPKLite/SubFilter/adbe.pkcs7.detached/ByteRange[0 10 20 30]"
                   "/Contents<3082000A>/M(D:20240115143000Z)>>");
    pdf.EndRevision();
    const TempDir dir;
    pdf.Save(dir.File("compressed.pdf"));

    OpenedDocument doc(dir.File("compressed.pdf"));
    const auto signature = FirstSignature(doc);
    ASSERT_NE(signature, nullptr);
    EXPECT_EQ(signature->GetContentsStart(), -1);
    EXPECT_EQ(signature->GetContentsEnd(), -1);
    EXPECT_EQ(signature->GetRange(), (std::array<int, 4>{0, 10, 20, 30}));
    EXPECT_EQ(signature->GetTime(), 1705329000);
    EXPECT_EQ(signature->MatchVersion(), -1);
}

}  // namespace
