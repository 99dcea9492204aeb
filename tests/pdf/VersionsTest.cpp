#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "pdf/Env.h"
#include "pdf/Exception.h"
#include "pdf/File.h"
#include "pdf/FileManager.h"
#include "pdf/Versions.h"
#include "support/LogCapture.h"
#include "support/OpenedDocument.h"
#include "support/PdfBuilder.h"
#include "support/Process.h"
#include "support/TempDir.h"

using TestSupport::LogCapture;
using TestSupport::OpenedDocument;
using TestSupport::OpenError;
using TestSupport::PdfBuilder;
using TestSupport::TempDir;

namespace {

// Ends of revisions read off the bytes: after each "%%EOF" and the line
// ending that follows it (CR LF, CR, LF or none).
std::vector<std::size_t> MarkerEnds(const std::string& bytes) {
    std::vector<std::size_t> ends;
    for (std::size_t at = bytes.find("%%EOF"); at != std::string::npos; at = bytes.find("%%EOF", at + 1)) {
        std::size_t end = at + 5;
        if (bytes.compare(end, 2, "\r\n") == 0)
            end += 2;
        else if (end < bytes.size() && (bytes[end] == '\r' || bytes[end] == '\n'))
            end += 1;
        ends.push_back(end);
    }
    return ends;
}

// A document of `endings.size()` revisions, each update rewriting the page
// and adding an object; revision k ends with endings[k] after its marker.
PdfBuilder Revisions(const std::vector<std::string>& endings) {
    PdfBuilder pdf("1.4");
    pdf.BasicDocument();
    for (std::size_t k = 0; k < endings.size(); ++k) {
        if (k > 0) {
            pdf.Object(
                3, "<</Type/Page/Parent 2 0 R/MediaBox[0 0 612 792]/Rotate " + std::to_string(90 * k) + ">>");
            pdf.Add("(update " + std::to_string(k) + ")");
        }
        pdf.EofLineEnd(endings[k]);
        pdf.EndRevision();
    }
    return pdf;
}

struct EndingCase {
    std::string name;
    std::vector<std::string> endings;
};

const EndingCase kEndingCases[] = {
    {"one revision, LF", {"\n"}},
    {"one revision, CR LF", {"\r\n"}},
    {"one revision, CR", {"\r"}},
    {"one revision, nothing after the marker", {""}},
    {"two revisions", {"\r\n", "\n"}},
    {"two revisions, first without line end", {"", "\r"}},
    {"three revisions", {"\n", "\r", "\r\n"}},
    {"three revisions, last without line end", {"\r\n", "\n", ""}},
};

TEST(Versions, EndsEachRevisionAfterItsMarkerAndLineEnding) {
    const TempDir dir;
    for (const EndingCase& c : kEndingCases) {
        SCOPED_TRACE(c.name);
        const PdfBuilder pdf = Revisions(c.endings);
        pdf.Save(dir.File("revisions.pdf"));
        const std::vector<std::size_t> expected = MarkerEnds(pdf.Bytes());
        ASSERT_EQ(expected.size(), c.endings.size());

        OpenedDocument doc(dir.File("revisions.pdf"));
        const PDF::Versions* const versions = doc.Env().GetVersions();
        ASSERT_NE(versions, nullptr);
        ASSERT_EQ(versions->Count(), static_cast<int>(expected.size()));
        for (int r = 0; r < versions->Count(); ++r)  // newest first
            EXPECT_EQ(versions->Get(versions->Count() - 1 - r), static_cast<int>(expected[r]))
                << "revision " << r;
        EXPECT_EQ(versions->Get(0), static_cast<int>(pdf.Bytes().size()));
        EXPECT_THROW(versions->Get(versions->Count()), std::out_of_range);
    }
}

using Section = PdfBuilder::Section;

// A 1.5 document whose revisions use the given sections; every update
// rewrites the page and adds an object, compressed where the section can
// hold compressed objects.
PdfBuilder Sections(const std::vector<Section>& forms) {
    PdfBuilder pdf("1.5");
    for (std::size_t k = 0; k < forms.size(); ++k) {
        const bool packs = forms[k] != Section::Table;
        pdf.SectionForm(forms[k]);
        if (k == 0) {
            pdf.Object(1, "<</Type/Catalog/Pages 2 0 R>>");
            const std::string pages = "<</Type/Pages/Kids[3 0 R]/Count 1>>";
            packs ? pdf.Compressed(2, pages) : pdf.Object(2, pages);
        }
        pdf.Object(3,
                   "<</Type/Page/Parent 2 0 R/MediaBox[0 0 612 792]/Rotate " + std::to_string(90 * k) + ">>");
        const std::string note = "(revision " + std::to_string(k) + ")";
        packs ? pdf.Compressed(pdf.NextNumber(), note) : static_cast<void>(pdf.Add(note));
        pdf.EndRevision();
    }
    return pdf;
}

TEST(Versions, EndsRevisionsOfEverySectionForm) {
    const struct {
        std::string name;
        std::vector<Section> forms;
    } cases[] = {
        {"stream", {Section::Stream}},
        {"hybrid", {Section::Hybrid}},
        {"stream, then stream", {Section::Stream, Section::Stream}},
        {"table, then stream", {Section::Table, Section::Stream}},
        {"stream, then table", {Section::Stream, Section::Table}},
        {"hybrid, then table, then stream", {Section::Hybrid, Section::Table, Section::Stream}},
    };
    const TempDir dir;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const PdfBuilder pdf = Sections(c.forms);
        pdf.Save(dir.File("sections.pdf"));
        const std::vector<std::size_t> expected = MarkerEnds(pdf.Bytes());
        ASSERT_EQ(expected.size(), c.forms.size());

        OpenedDocument doc(dir.File("sections.pdf"));
        EXPECT_EQ(doc.File().GetPageRotationDegrees(1), 90 * static_cast<int>(c.forms.size() - 1));
        const PDF::Versions* const versions = doc.Env().GetVersions();
        ASSERT_EQ(versions->Count(), static_cast<int>(expected.size()));
        for (int r = 0; r < versions->Count(); ++r)
            EXPECT_EQ(versions->Get(versions->Count() - 1 - r), static_cast<int>(expected[r])) << r;
        EXPECT_EQ(versions->NewestIsStream(), c.forms.back() == Section::Stream);
    }
}

TEST(Versions, BuiltSectionFormsPassAnIndependentCheck) {
    const PdfBuilder pdf = Sections({Section::Hybrid, Section::Stream, Section::Table, Section::Stream});
    const TempDir dir;
    pdf.Save(dir.File("checked.pdf"));
    std::string report;
    EXPECT_EQ(TestSupport::RunProgram({"qpdf", "--check", dir.File("checked.pdf")}, &report), 0) << report;
    EXPECT_NE(report.find("No syntax or stream encoding errors found"), std::string::npos) << report;
}

TEST(Versions, ALinearizedFileIsOneRevision) {
    // qpdf puts a first-page section at the top whose /Prev names the main
    // section at the end; the file's startxref names the first-page one.
    PdfBuilder built("1.4");
    built.BasicDocument(3);
    built.EndRevision();
    const TempDir dir;
    built.Save(dir.File("built.pdf"));
    const struct {
        std::string name;
        std::vector<std::string> options;
        bool stream;
    } cases[] = {
        {"tables", {"--object-streams=disable"}, false},
        {"streams", {"--object-streams=generate"}, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::string> command = {"qpdf", "--linearize"};
        command.insert(command.end(), c.options.begin(), c.options.end());
        command.push_back(dir.File("built.pdf"));
        command.push_back(dir.File("linear.pdf"));
        ASSERT_EQ(TestSupport::RunProgram(command), 0);
        const std::string bytes = TestSupport::ReadFile(dir.File("linear.pdf"));

        OpenedDocument doc(dir.File("linear.pdf"));
        const PDF::Versions* const versions = doc.Env().GetVersions();
        ASSERT_EQ(versions->Count(), 1);
        EXPECT_EQ(versions->Get(0), static_cast<int>(MarkerEnds(bytes).back()));
        EXPECT_EQ(versions->NewestIsStream(), c.stream);

        // An update after it is a revision of its own.
        std::string withUpdate = bytes + "3 0 obj\n(update)\nendobj\n";
        const std::size_t xref = withUpdate.size();
        char entry[32];
        std::snprintf(entry, sizeof entry, "%010zu 00000 n \n", bytes.size());
        const std::size_t firstXref = std::stoul(bytes.substr(bytes.rfind("startxref") + 10));
        withUpdate += std::string("xref\n3 1\n") + entry + "trailer\n<</Size 99/Root " +
                      (c.stream ? std::string("6 0 R") : std::string("3 0 R")) + "/Prev " +
                      std::to_string(firstXref) + ">>\nstartxref\n" + std::to_string(xref) + "\n%%EOF\n";
        TestSupport::WriteFile(dir.File("updated.pdf"), withUpdate);
        std::string text;
        ASSERT_EQ(OpenError(dir.File("updated.pdf"), &text), 1) << text;
        OpenedDocument again(dir.File("updated.pdf"));
        const PDF::Versions* const both = again.Env().GetVersions();
        ASSERT_EQ(both->Count(), 2);
        EXPECT_EQ(both->Get(0), static_cast<int>(withUpdate.size()));
        EXPECT_EQ(both->Get(1), static_cast<int>(bytes.size()));
        EXPECT_FALSE(both->NewestIsStream());
    }
}

TEST(Versions, RefusesACrossReferenceStreamItCannotDelimit) {
    const PdfBuilder pdf = Sections({Section::Stream});
    const std::string& bytes = pdf.Bytes();
    const TempDir dir;

    // MuPDF reads past a missing marker; the revision walk does not. A
    // comment before startxref is passed over by both.
    std::string noMarker = bytes;
    noMarker.replace(noMarker.rfind("%%EOF"), 5, "%%EOX");
    std::string comment = bytes;
    comment.insert(comment.rfind("startxref"), "% written by hand\n");
    const std::pair<std::string, int> files[] = {{noMarker, PDF::Code::kBadXRef}, {comment, 1}};
    for (const auto& [file, expected] : files) {
        TestSupport::WriteFile(dir.File("bad.pdf"), file);
        std::string text;
        EXPECT_EQ(OpenError(dir.File("bad.pdf"), &text), expected) << text;
        if (expected == PDF::Code::kBadXRef) {
            EXPECT_EQ(text, "EOF not found");
        }
    }

    // Sent to objects that are not cross-reference streams.
    pdf.Save(dir.File("good.pdf"));
    OpenedDocument doc(dir.File("good.pdf"));
    PDF::Versions* const versions = doc.Env().GetVersions();
    const int objectStream = static_cast<int>(pdf.Offset(pdf.NextNumber() - 2));
    for (const int offset : {static_cast<int>(pdf.Offset(1)), objectStream}) {
        SCOPED_TRACE(bytes.substr(offset, 12));
        try {
            versions->ParseVersion(offset);
            ADD_FAILURE() << "no exception";
        } catch (const PDF::Exception& e) {
            EXPECT_EQ(e.Code(), PDF::Code::kBadXRef);
            EXPECT_STREQ(e.what(), "Cross-reference stream expected");
        }
    }
    EXPECT_EQ(versions->Count(), 1);
}

TEST(Versions, LogsWhereItFoundTheMarker) {
    const PdfBuilder pdf = Revisions({"\n"});
    const TempDir dir;
    pdf.Save(dir.File("one.pdf"));
    const LogCapture log;
    OpenedDocument doc(dir.File("one.pdf"));
    if (!log.Enabled()) GTEST_SKIP() << "logging is switched off";
    // After the trailer's ">>": "\nstartxref\n<offset>\n%%EOF\n".
    const std::string& bytes = pdf.Bytes();
    const std::size_t after = bytes.rfind(">>") + 2;
    const int n = static_cast<int>(bytes.size() - after);
    const std::string line = "Found version with range n=" + std::to_string(n) +
                             "   i=" + std::to_string(n - 6) + "   to_add=6 , " +
                             std::to_string(bytes.size());
    EXPECT_TRUE(log.Has("ParseVersion", line)) << line << "\n" << log.Text();
}

TEST(Versions, NeedsTheMarkerWithin128BytesOfTheTrailer) {
    const TempDir dir;
    for (const std::size_t comment : {100u, 150u}) {
        SCOPED_TRACE(std::to_string(comment) + "-byte comment before startxref");
        PdfBuilder pdf;
        pdf.BasicDocument();
        pdf.BeforeStartxref("\n%" + std::string(comment - 2, 'c') + "\n");
        pdf.EndRevision();
        pdf.Save(dir.File("comment.pdf"));
        std::string text;
        const int code = OpenError(dir.File("comment.pdf"), &text);
        if (comment < 128) {
            EXPECT_EQ(code, 1) << text;
        } else {
            EXPECT_EQ(code, PDF::Code::kBadXRef);
            EXPECT_EQ(text, "EOF not found");
        }
    }
}

TEST(Versions, RefusesPrevChainsThatLoopOrLeaveTheFile) {
    const TempDir dir;
    struct PrevCase {
        std::string name;
        std::string prev;  // of the second revision
    };
    // MuPDF follows /Prev first and has to rebuild the table: unreadable.
    const PrevCase cases[] = {
        {"beyond 32 bits", "99999999999"},
        {"negative", "-5"},
        {"past the end of the file", "900000"},
    };
    for (const PrevCase& c : cases) {
        SCOPED_TRACE(c.name);
        PdfBuilder pdf;
        pdf.BasicDocument();
        pdf.EndRevision();
        pdf.Add("(update)");
        pdf.Prev(c.prev);
        pdf.EndRevision();
        pdf.Save(dir.File("prev.pdf"));
        std::string text;
        const int code = OpenError(dir.File("prev.pdf"), &text);
        EXPECT_EQ(code, -7) << text;
    }

    // The first revision names the second as its predecessor: MuPDF stops at
    // the section it has seen, the revision walk refuses the loop.
    PdfBuilder pdf;
    pdf.BasicDocument();
    pdf.Prev("0000000000");
    pdf.EndRevision();
    pdf.Add("(update)");
    pdf.EndRevision();
    std::string bytes = pdf.Bytes();
    char offset[16];
    std::snprintf(offset, sizeof offset, "%010zu", pdf.LastStartXRef());
    bytes.replace(bytes.find("/Prev 0000000000"), 16, std::string("/Prev ") + offset);
    TestSupport::WriteFile(dir.File("loop.pdf"), bytes);
    std::string text;
    const int code = OpenError(dir.File("loop.pdf"), &text);
    EXPECT_TRUE(code == PDF::Code::kBadXRef || code == PDF::Code::kOpenFailed) << code << " " << text;

    if (code == PDF::Code::kBadXRef) {
        EXPECT_EQ(text, "Cross-reference chain loops");
    }
}

TEST(Versions, OutputWritesExactlyTheBytesOfARevision) {
    const PdfBuilder pdf = Revisions({"\n", "\r\n", "\n"});
    const TempDir dir;
    pdf.Save(dir.File("three.pdf"));
    OpenedDocument doc(dir.File("three.pdf"));
    const PDF::Versions* const versions = doc.Env().GetVersions();
    const std::vector<std::size_t> ends = MarkerEnds(pdf.Bytes());

    for (int revision = 0; revision < 3; ++revision) {
        SCOPED_TRACE("revision " + std::to_string(revision));
        const std::string path = versions->Output(revision);
        ASSERT_FALSE(path.empty());
        EXPECT_EQ(path.rfind(PDF::FileManager::TempDirectory(), 0), 0u) << path;
        EXPECT_EQ(TestSupport::ReadFile(path), pdf.Bytes().substr(0, ends[revision]));
        std::remove(path.c_str());
    }
    EXPECT_EQ(versions->Output(5), "");
    EXPECT_EQ(versions->Output(3), "");
    EXPECT_EQ(versions->Output(-1), "");
}

TEST(Versions, ParseVersionRefusesWhatIsNotATrailerFollowedByTheMarker) {
    PdfBuilder pdf;
    pdf.BasicDocument();
    pdf.EndRevision();
    // Comments after the marker: MuPDF never reads them, the walk is sent there.
    std::string bytes = pdf.Bytes();
    const std::string comments[] = {
        "%A trailer 5\n",
        "%B talk\n",
        "%C trailer <<(key) 5>>\n",
        "%D trailer <</Size 5>>" + std::string(200, 'x') + "\n",
        "%E NOTHING\n",
    };
    std::vector<int> offsets;
    for (const std::string& comment : comments) {
        offsets.push_back(static_cast<int>(bytes.size()));
        bytes += comment;
    }
    const TempDir dir;
    TestSupport::WriteFile(dir.File("comments.pdf"), bytes);
    OpenedDocument doc(dir.File("comments.pdf"));
    PDF::Versions* const versions = doc.Env().GetVersions();

    struct ParseCase {
        int offset;
        int code;
        std::string text;  // start of it
    };
    const ParseCase cases[] = {
        {offsets[0], PDF::Code::kBadXRef, "Trailer dictionary expected"},
        {offsets[1], PDF::Code::kBadXRef, "Trailer expected"},
        {offsets[2], 0, "PDF Error "},
        {offsets[3], PDF::Code::kBadXRef, "EOF not found"},
        {offsets[4], PDF::Code::kBadXRef, "Could not find trailer"},
    };
    for (const ParseCase& c : cases) {
        SCOPED_TRACE(bytes.substr(c.offset, 12));
        try {
            versions->ParseVersion(c.offset);
            ADD_FAILURE() << "no exception";
        } catch (const PDF::Exception& e) {
            EXPECT_EQ(e.Code(), c.code);
            EXPECT_EQ(std::string(e.what()).compare(0, c.text.size(), c.text), 0) << e.what();
        }
    }
    EXPECT_EQ(versions->Count(), 1);  // nothing was added
}

TEST(Versions, BuiltRevisionsPassAnIndependentCheck) {
    if (std::system("qpdf --version >/dev/null 2>&1") != 0) GTEST_SKIP() << "qpdf not installed";
    const PdfBuilder pdf = Revisions({"\r\n", "\r", "\n"});
    const TempDir dir;
    pdf.Save(dir.File("checked.pdf"));
    const std::string command = "qpdf --check '" + dir.File("checked.pdf") + "' >/dev/null 2>&1";
    EXPECT_EQ(std::system(command.c_str()), 0);
}

TEST(Versions, CheckNeedsAnAttachedOpenDocument) {
    PDF::Env env;
    std::string text;
    int code = 1;
    try {
        PDF::Versions(&env).Check();
    } catch (const PDF::Exception& e) {
        code = e.Code();
        text = e.what();
    }
    EXPECT_EQ(code, PDF::Code::kNoDocument);
    EXPECT_EQ(text, "File is not defined.");

    PDF::File unopened(&env);
    EXPECT_THROW(env.SetFile(&unopened), PDF::Exception);
    EXPECT_EQ(env.GetFile(), nullptr);

    try {
        PDF::Versions(nullptr).Check();
    } catch (const PDF::Exception& e) {
        code = e.Code();
        text = e.what();
    }
    EXPECT_EQ(code, PDF::Code::kNoEnvironment);
    EXPECT_EQ(text, "Environment is empty.");
}

}  // namespace
