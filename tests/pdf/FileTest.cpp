#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "pdf/Env.h"
#include "pdf/Exception.h"
#include "pdf/File.h"
#include "pdf/Versions.h"
#include "support/LogCapture.h"
#include "support/OpenedDocument.h"
#include "support/PdfBuilder.h"
#include "support/Process.h"
#include "support/TempDir.h"
#include "support/ThirdPartyTools.h"

using TestSupport::LogCapture;
using TestSupport::OpenedDocument;
using TestSupport::OpenError;
using TestSupport::PdfBuilder;
using TestSupport::TempDir;

namespace {

std::string SaveBasic(const TempDir& dir, const std::string& name, const std::string& version,
                      const std::string& catalogExtra = "", const std::string& extraObject = "") {
    PdfBuilder pdf(version);
    pdf.BasicDocument(1, catalogExtra);
    if (!extraObject.empty()) pdf.Object(4, extraObject);
    pdf.EndRevision();
    const std::string path = dir.File(name);
    pdf.Save(path);
    return path;
}

struct VersionCase {
    std::string header;
    int code;  // 1: opens
    std::string logged;
};

const VersionCase kVersionCases[] = {
    {"0.9", PDF::Code::kBadVersion, "XREF->Version is 9, major 0, minor 9"},
    {"1.0", 1, "XREF->Version is 10, major 1, minor 0"},
    {"1.2", 1, "XREF->Version is 12, major 1, minor 2"},
    {"1.3", 1, "XREF->Version is 13, major 1, minor 3"},
    {"1.4", 1, "XREF->Version is 14, major 1, minor 4"},
    {"1.5", 1, "XREF->Version is 15, major 1, minor 5"},
    {"1.7", 1, "XREF->Version is 17, major 1, minor 7"},
    {"2.0", 1, "XREF->Version is 20, major 2, minor 0"},
    {"2.1", PDF::Code::kBadVersion, "XREF->Version is 21, major 2, minor 1"},
    {"3.0", PDF::Code::kBadVersion, "XREF->Version is 30, major 3, minor 0"},
};

TEST(File, AcceptsHeaderVersions10To20AfterLoggingTheVersion) {
    const TempDir dir;
    for (const VersionCase& c : kVersionCases) {
        SCOPED_TRACE("%PDF-" + c.header);
        const std::string path = SaveBasic(dir, "v" + c.header + ".pdf", c.header);
        const LogCapture log;
        std::string text;
        EXPECT_EQ(OpenError(path, &text), c.code);
        if (c.code == PDF::Code::kBadVersion) {
            EXPECT_EQ(text, "Invalid PDF format version");
        }
        if (log.Enabled()) {
            EXPECT_TRUE(log.Has("Open", c.logged)) << log.Text();
        }
    }
}

TEST(File, JudgesTheCatalogVersionLikeTheHeader) {
    const TempDir dir;
    const struct {
        std::string header;
        std::string catalogExtra;
        int code;
    } cases[] = {
        {"1.4", "/Version/1.7", 1},
        {"1.7", "/Version/2.0", 1},
        {"1.4", "/Version/1.3", 1},  // an earlier one changes nothing
        {"1.4", "/Version/2.2", PDF::Code::kBadVersion},
        {"1.4", "/Version/abc", PDF::Code::kBadVersion},
        {"1.4", "/Version(1.7)", 1},  // not a name: not a version
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.header + " " + c.catalogExtra);
        const std::string path = SaveBasic(dir, "catalog.pdf", c.header, c.catalogExtra);
        std::string text;
        EXPECT_EQ(OpenError(path, &text), c.code) << text;
    }
}

struct FormCase {
    std::string name;
    std::string catalogExtra;
    std::string object4;  // the indirect AcroForm, when there is one
    bool hasForm;
    bool formIndirect;
    std::vector<std::string> logged;
    std::vector<std::string> notLogged;
};

const FormCase kFormCases[] = {
    {"no AcroForm",
     "",
     "",
     false,
     false,
     {"No AcroForm!"},
     {"No SigFlags !", "Sigflags zero.", "xref version 14"}},
    {"direct, no SigFlags",
     "/AcroForm<</Fields[]>>",
     "",
     true,
     false,
     {"No SigFlags !", "Sigflags zero.", "xref len 4, xref capacity 4", "xref version 14"},
     {"Acroform is indirect... loading..", "Signature exists"}},
    {"indirect, SigFlags 0",
     "/AcroForm 4 0 R",
     "<</Fields[]/SigFlags 0>>",
     true,
     true,
     {"Acroform is indirect... loading..", "Sigflags zero."},
     {"No SigFlags !", "Signature exists", "Signature would be invalidated with incremental updates. "}},
    {"SigFlags 1",
     "/AcroForm<</Fields[]/SigFlags 1>>",
     "",
     true,
     false,
     {"Signature exists"},
     {"Signature would be invalidated with incremental updates. ", "Sigflags zero."}},
    {"SigFlags 2",
     "/AcroForm 4 0 R",
     "<</SigFlags 2/Fields[]>>",
     true,
     true,
     {"Signature would be invalidated with incremental updates. "},
     {"Signature exists", "Sigflags zero."}},
    {"SigFlags 3",
     "/AcroForm<</SigFlags 3/Fields[]>>",
     "",
     true,
     false,
     {"Signature exists", "Signature would be invalidated with incremental updates. "},
     {"Sigflags zero.", "No SigFlags !"}},
    {"AcroForm not a dictionary",
     "/AcroForm 4 0 R",
     "[1 2 3]",
     false,
     true,
     {"Acroform is indirect... loading..", "AcroForm load failed!\n"},
     {}},
};

TEST(File, ReportsTheAcroFormAndItsSignatureFlagsWithoutRefusingTheDocument) {
    const TempDir dir;
    for (const FormCase& c : kFormCases) {
        SCOPED_TRACE(c.name);
        const std::string path = SaveBasic(dir, "form.pdf", "1.4", c.catalogExtra, c.object4);
        const LogCapture log;
        OpenedDocument doc(path);
        EXPECT_EQ(doc.File().Form() != nullptr, c.hasForm);
        EXPECT_EQ(doc.File().FormIndirect() != nullptr, c.formIndirect);
        if (!log.Enabled()) continue;
        for (const std::string& line : c.logged)
            EXPECT_TRUE(log.Has("Open", line)) << line << "\n" << log.Text();
        for (const std::string& line : c.notLogged) EXPECT_FALSE(log.Has("Open", line)) << line;
    }
}

TEST(File, LogsTheStepsOfOpening) {
    const TempDir dir;
    const std::string path = SaveBasic(dir, "steps.pdf", "1.4");
    const LogCapture log;
    OpenedDocument doc(path);
    if (!log.Enabled()) GTEST_SKIP() << "logging is switched off";
    const std::string text = log.Text();
    const std::vector<std::string> inOrder = {
        "Open: Open cleared data\n", "Open: Open newxref, openning " + path + "\n",
        "Open: Open loaded xref\n",  "Open: XREF->Version is 14, major 1, minor 4\n",
        "Open: page count 1\n",      "Open: No AcroForm!\n"};
    std::size_t at = 0;
    for (const std::string& line : inOrder) {
        const std::size_t found = text.find(line, at);
        ASSERT_NE(found, std::string::npos) << line << text;
        at = found;
    }
}

TEST(File, ReportsRotationOfEachPageAsStoredOrInherited) {
    PdfBuilder pdf;
    pdf.Object(1, "<</Type/Catalog/Pages 2 0 R>>");
    pdf.Object(2, "<</Type/Pages/Kids[3 0 R 4 0 R 5 0 R 6 0 R]/Count 4/Rotate 180>>");
    pdf.Object(3, "<</Type/Page/Parent 2 0 R/Rotate 90>>");
    pdf.Object(4, "<</Type/Page/Parent 2 0 R/Rotate 270>>");
    pdf.Object(5, "<</Type/Page/Parent 2 0 R>>");
    pdf.Object(6, "<</Type/Page/Parent 2 0 R/Rotate 0>>");
    pdf.EndRevision();
    const TempDir dir;
    pdf.Save(dir.File("rotated.pdf"));
    OpenedDocument doc(dir.File("rotated.pdf"));
    ASSERT_EQ(doc.File().PageCount(), 4);
    const std::pair<int, int> cases[] = {{1, 90}, {2, 270}, {3, 180}, {4, 0}, {0, 0}, {5, 0}, {-1, 0}};
    for (const auto& [page, degrees] : cases)
        EXPECT_EQ(doc.File().GetPageRotationDegrees(page), degrees) << page;
}

TEST(File, ListsPagesOfANestedTreeInDocumentOrderAndSurvivesCycles) {
    PdfBuilder pdf;
    pdf.Object(1, "<</Type/Catalog/Pages 2 0 R>>");
    pdf.Object(2, "<</Type/Pages/Kids[3 0 R 6 0 R 2 0 R]/Count 3>>");  // lists itself as a kid
    pdf.Object(3, "<</Type/Pages/Parent 2 0 R/Kids[4 0 R 5 0 R]/Count 2>>");
    pdf.Object(4, "<</Type/Page/Parent 3 0 R/Rotate 90>>");
    pdf.Object(5, "<</Type/Page/Parent 3 0 R/Rotate 180>>");
    pdf.Object(6, "<</Type/Page/Parent 2 0 R/Rotate 270>>");
    pdf.EndRevision();
    const TempDir dir;
    pdf.Save(dir.File("tree.pdf"));
    OpenedDocument doc(dir.File("tree.pdf"));
    ASSERT_EQ(doc.File().PageCount(), 3);
    EXPECT_EQ(doc.File().GetPageRotationDegrees(1), 90);
    EXPECT_EQ(doc.File().GetPageRotationDegrees(2), 180);
    EXPECT_EQ(doc.File().GetPageRotationDegrees(3), 270);
}

TEST(File, RefusesWhatIsNotAReadableDocument) {
    const TempDir dir;
    PdfBuilder good;
    good.BasicDocument();
    good.EndRevision();
    const std::string bytes = good.Bytes();
    const std::size_t trailer = bytes.find("trailer");

    struct BadCase {
        std::string name;
        std::string bytes;
        int code;
        std::string text;
    };
    const BadCase cases[] = {
        {"empty file", "", -7, "Could not open file"},
        {"garbage", "this is not a PDF document at all\n", -7, "Could not open file"},
        {"truncated in the middle", bytes.substr(0, bytes.size() / 2), -7, "Could not open file"},
        {"truncated before startxref", bytes.substr(0, bytes.find("startxref")), -7, "Could not open file"},
        {"no trailer", bytes.substr(0, trailer) + bytes.substr(bytes.find(">>", trailer) + 2), -7,
         "Could not open file"},
        {"garbage instead of the trailer dictionary",
         bytes.substr(0, trailer) + "trailer\n(garbage) 12 ]" + bytes.substr(bytes.find(">>", trailer) + 2),
         -7, "Could not open file"},
        {"no header line", bytes.substr(bytes.find('\n') + 1), -7, "Could not open file"},
    };
    for (const BadCase& c : cases) {
        SCOPED_TRACE(c.name);
        TestSupport::WriteFile(dir.File("bad.pdf"), c.bytes);
        std::string text;
        EXPECT_EQ(OpenError(dir.File("bad.pdf"), &text), c.code);
        EXPECT_EQ(text, c.text);
    }
    std::string text;
    EXPECT_EQ(OpenError(dir.Path(), &text), -7) << "a directory";
    EXPECT_EQ(OpenError(dir.File("missing.pdf"), &text), -7) << "no file";
}

TEST(File, RefusesADocumentWhoseOffsetsHadToBeRepaired) {
    PdfBuilder pdf;
    pdf.BasicDocument();
    pdf.EndRevision();
    const std::string bytes = pdf.Bytes();
    const TempDir dir;

    // Every object and the table shifted: the table is not where startxref says.
    std::string shifted = bytes;
    shifted.insert(shifted.find("1 0 obj"), "% shifted by a comment\n");
    TestSupport::WriteFile(dir.File("shifted.pdf"), shifted);
    EXPECT_EQ(OpenError(dir.File("shifted.pdf")), -7);

    // The table is found, but the catalog's entry points three bytes too far:
    // MuPDF rebuilds the table when it loads the catalog.
    std::string wrongEntry = bytes;
    char entry[32];
    std::snprintf(entry, sizeof entry, "%010zu 00000 n", pdf.Offset(1));
    char moved[32];
    std::snprintf(moved, sizeof moved, "%010zu 00000 n", pdf.Offset(1) + 3);
    wrongEntry.replace(wrongEntry.find(entry), std::string(entry).size(), moved);
    TestSupport::WriteFile(dir.File("entry.pdf"), wrongEntry);
    std::string text;
    EXPECT_EQ(OpenError(dir.File("entry.pdf"), &text), -7);
    EXPECT_EQ(text, "Could not open file");
}

TEST(File, RefusesDocumentsOf2GiBOrMore) {
    const TempDir dir;
    const std::string path = SaveBasic(dir, "huge.pdf", "1.4");
    // A sparse file: no disk space is used.
    ASSERT_EQ(::truncate(path.c_str(), 0x80000000LL), 0);
    std::string text;
    EXPECT_EQ(OpenError(path, &text), PDF::Code::kTooLarge);
    EXPECT_NE(text.find("2 GiB"), std::string::npos);
}

TEST(File, OpensDocumentsRewrittenByQpdf) {
    if (std::system("qpdf --version >/dev/null 2>&1") != 0) GTEST_SKIP() << "qpdf not installed";
    const TempDir dir;
    const std::string source =
        SaveBasic(dir, "source.pdf", "1.3", "/AcroForm 4 0 R", "<</Fields[]/SigFlags 3>>");
    const std::string rewritten = dir.File("qpdf.pdf");
    const std::string command =
        "qpdf --object-streams=disable --force-version=1.4 '" + source + "' '" + rewritten + "'";
    ASSERT_EQ(std::system(command.c_str()), 0);
    OpenedDocument doc(rewritten);
    EXPECT_EQ(doc.File().Version(), 14);
    EXPECT_EQ(doc.File().PageCount(), 1);
    EXPECT_NE(doc.File().Form(), nullptr);
    EXPECT_NE(doc.Env().GetVersions(), nullptr);

    // Object streams and a cross-reference stream, even under a 1.4 header.
    const std::string streams = dir.File("streams.pdf");
    const std::string generate = "qpdf --object-streams=generate '" + source + "' '" + streams + "'";
    ASSERT_EQ(std::system(generate.c_str()), 0);
    std::string bytes = TestSupport::ReadFile(streams);
    ASSERT_EQ(bytes.compare(0, 8, "%PDF-1.5"), 0);
    bytes[7] = '4';
    TestSupport::WriteFile(streams, bytes);
    OpenedDocument packed(streams);
    EXPECT_EQ(packed.File().PageCount(), 1);
    EXPECT_NE(packed.File().Form(), nullptr);
    ASSERT_NE(packed.Env().GetVersions(), nullptr);
    EXPECT_EQ(packed.Env().GetVersions()->Count(), 1);
    EXPECT_TRUE(packed.Env().GetVersions()->NewestIsStream());
}

}  // namespace

namespace {

TEST(File, SaysInTheLogWhyADocumentCannotBeOpened) {
    const TempDir dir;
    PdfBuilder pdf;
    pdf.BasicDocument();
    pdf.EndRevision();
    std::string shifted = pdf.Bytes();
    shifted.insert(shifted.find("1 0 obj"), "% shifted by a comment\n");
    TestSupport::WriteFile(dir.File("shifted.pdf"), shifted);
    TestSupport::WriteFile(dir.File("headless.pdf"), pdf.Bytes().substr(pdf.Bytes().find('\n') + 1));
    TestSupport::WriteFile(dir.File("garbage.pdf"), "this is not a PDF document at all\n");
    pdf.Save(dir.File("plain.pdf"));
    ASSERT_EQ(TestSupport::RunProgram({"qpdf", "--encrypt", "user", "owner", "256", "--",
                                       dir.File("plain.pdf"), dir.File("password.pdf")}),
              0);

    const struct {
        const char* file;
        std::string reason;  // start of the logged reason
    } cases[] = {
        {"shifted.pdf", "its cross-reference data is damaged and would have to be rebuilt"},
        {"headless.pdf", "it does not begin with a %PDF- header"},
        {"password.pdf", "it is encrypted and needs a password"},
        {"garbage.pdf", ""},  // MuPDF's own words
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        const LogCapture log;
        std::string text;
        EXPECT_EQ(OpenError(dir.File(c.file), &text), -7);
        EXPECT_EQ(text, "Could not open file");
        if (!log.Enabled()) continue;
        EXPECT_TRUE(log.Has("Open", "Error openning xref")) << log.Text();
        EXPECT_TRUE(log.Contains("] Open: Could not open the document: " + c.reason)) << log.Text();
    }
}

TEST(File, OpensEncryptedDocumentsWithTheEmptyUserPassword) {
    const TempDir dir;
    PdfBuilder pdf;
    pdf.BasicDocument(2, "/AcroForm<</Fields[]>>");
    pdf.EndRevision();
    pdf.Save(dir.File("plain.pdf"));
    EXPECT_FALSE(OpenedDocument(dir.File("plain.pdf")).File().IsEncrypted());
    for (const TestSupport::Encryption& how : TestSupport::Encryptions()) {
        SCOPED_TRACE(how.name);
        ASSERT_EQ(TestSupport::Encrypt(dir.File("plain.pdf"), dir.File("encrypted.pdf"), how), 0);
        const LogCapture log;
        OpenedDocument doc(dir.File("encrypted.pdf"));
        EXPECT_TRUE(doc.File().IsEncrypted());
        EXPECT_EQ(doc.File().PageCount(), 2);
        EXPECT_NE(doc.File().Form(), nullptr);
        EXPECT_EQ(doc.Env().GetVersions()->Count(), 1);
        if (log.Enabled()) {
            const std::string method = std::string(how.name).substr(0, 3);  // "RC4" or "AES"
            EXPECT_TRUE(log.Contains("] Open: Document is encrypted (" + method)) << log.Text();
        }
    }
}

}  // namespace
