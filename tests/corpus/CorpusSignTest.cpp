// Every document of the corpus is signed through the engine, and every
// signed copy is judged by other programs: pdfsig, mutool, qpdf, and the
// rendered pages against the input's.
#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "support/PdfsigReport.h"
#include "support/Process.h"
#include "support/TempDir.h"
#include "support/ThirdPartyTools.h"
#include "tests/corpus/Corpus.h"

using CorpusTest::Document;
using CorpusTest::Picture;

namespace {

// Widens the pixels set in `mask` by `by` in every direction: the edge of a
// signature box blends with the page around it.
std::vector<char> Widen(const std::vector<char>& mask, int width, int height, int by) {
    std::vector<char> wide(mask.size(), 0);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            if (mask[static_cast<std::size_t>(y) * width + x] == 0) continue;
            for (int dy = -by; dy <= by; ++dy)
                for (int dx = -by; dx <= by; ++dx) {
                    const int nx = x + dx;
                    const int ny = y + dy;
                    if (nx >= 0 && ny >= 0 && nx < width && ny < height)
                        wide[static_cast<std::size_t>(ny) * width + nx] = 1;
                }
        }
    return wide;
}

// The signed copy renders as the input, page by page; on the signature's
// page only the signature box (what its widget draws) may differ.
void ExpectSameRendering(const Document& input, const std::string& signedPath, int signaturePage) {
    const std::vector<Picture> before = CorpusTest::Render(input.path);
    const std::vector<Picture> after = CorpusTest::Render(signedPath);
    ASSERT_FALSE(before.empty()) << "the input does not render";
    ASSERT_EQ(after.size(), before.size()) << "pages rendered";
    std::vector<Picture> withoutWidgets;
    if (signaturePage > 0) withoutWidgets = CorpusTest::Render(signedPath, false);
    for (std::size_t i = 0; i < before.size(); ++i) {
        SCOPED_TRACE("page " + std::to_string(i + 1));
        const Picture& a = before[i];
        const Picture& b = after[i];
        ASSERT_EQ(a.width, b.width);
        ASSERT_EQ(a.height, b.height);
        std::vector<char> changed = CorpusTest::Difference(a, b);
        if (static_cast<int>(i) + 1 == signaturePage) {
            ASSERT_EQ(withoutWidgets.size(), after.size());
            const std::vector<char> box =
                Widen(CorpusTest::Difference(b, withoutWidgets[i]), b.width, b.height, 1);
            std::size_t boxPixels = 0;
            for (char c : box) boxPixels += c;
            EXPECT_GT(boxPixels, 0u) << "the visible signature draws nothing";
            EXPECT_LT(boxPixels, box.size() / 4) << "the signature box covers much of the page";
            for (std::size_t p = 0; p < changed.size(); ++p)
                if (box[p] != 0) changed[p] = 0;
        }
        std::size_t outside = 0;
        for (char c : changed) outside += c;
        EXPECT_EQ(outside, 0u) << "pixels changed outside the signature box";
    }
}

// pdfsig, mutool and qpdf accept the signed copy of `input`.
void ExpectAccepted(const Document& input, const std::string& signedPath) {
    std::string report;
    const auto signatures = TestSupport::ReadPdfsig(CorpusTest::NssDb(), signedPath, report);
    ASSERT_EQ(signatures.size(), 1u) << report;
    const TestSupport::PdfsigReport& ours = signatures.begin()->second;
    EXPECT_EQ(ours.verdict, TestSupport::Pdfsig::Valid) << report;
    EXPECT_EQ(ours.chain, '1') << report;
    EXPECT_TRUE(ours.totalDocument) << report;

    report.clear();
    EXPECT_EQ(TestSupport::RunProgram({"mutool", "sign", "-v", signedPath}, &report), 0) << report;
    EXPECT_EQ(TestSupport::CountOf(report, "The document is unchanged since signing."), 1u) << report;

    const CorpusTest::QpdfCheck check = CorpusTest::CheckWithQpdf(signedPath);
    EXPECT_LE(check.rank, input.qpdfRank) << check.output;
    EXPECT_LE(check.warnings, input.qpdfWarnings) << check.output;
}

TEST(Corpus, EveryDocumentIsSignedAndEverySignedCopyPassesEveryCheck) {
    const std::vector<Document>& documents = CorpusTest::Documents();
    ASSERT_FALSE(documents.empty());
    struct Tally {
        int eligible = 0;
        int signedCount = 0;
        int documents = 0;
    };
    std::map<std::string, Tally> producers;
    std::vector<std::string> refused;
    int eligible = 0;
    int signedCount = 0;
    const TestSupport::TempDir out;
    for (std::size_t i = 0; i < documents.size(); ++i) {
        const Document& d = documents[i];
        SCOPED_TRACE(d.file + " (" + d.producer + ", " + d.how + ")");
        // Half the copies get a visible signature on the last page; a sign-here
        // form is signed into its field.
        CorpusTest::SignHow how;
        how.field = d.field;
        how.visible = !d.field.empty() || i % 2 == 1;
        how.page = d.pages > 0 ? d.pages : 1;
        const std::string signedPath = out.File(std::to_string(i) + ".pdf");
        const CorpusTest::Signed outcome = CorpusTest::SignWithEngine(d.path, signedPath, how);
        Tally& tally = producers[d.producer];
        ++tally.documents;
        const bool counts = !d.encrypted && !d.broken;
        eligible += counts ? 1 : 0;
        tally.eligible += counts ? 1 : 0;
        if (outcome.code != 1) {
            refused.push_back(d.file +
                              (d.encrypted ? " [encrypted]"
                               : d.broken  ? " [broken]"
                                           : "") +
                              ": code " + std::to_string(outcome.code) + ", " + outcome.reason);
            // An encrypted document is refused with a code of its own, or as
            // one that cannot be opened when it needs a password.
            if (d.encrypted) {
                EXPECT_TRUE(outcome.code == -65 ||
                            (outcome.code == -7 && outcome.reason.find("password") != std::string::npos))
                    << outcome.code << " " << outcome.reason;
            }
            continue;
        }
        EXPECT_FALSE(d.encrypted) << "an encrypted document was signed";
        if (counts) {
            ++signedCount;
            ++tally.signedCount;
        }
        ExpectAccepted(d, signedPath);
        ExpectSameRendering(d, signedPath, how.visible ? how.page : 0);
    }

    for (const auto& [name, tally] : producers)
        std::printf("%-12s %3d documents, signed %3d of %3d eligible\n", name.c_str(), tally.documents,
                    tally.signedCount, tally.eligible);
    for (const std::string& line : refused) std::printf("refused %s\n", line.c_str());
    const double share = eligible > 0 ? 100.0 * signedCount / eligible : 0.0;
    std::printf("signed %d of %d (%.1f%%)\n", signedCount, eligible, share);
    std::fflush(stdout);
    EXPECT_GE(share, 95.0);
    // Every producer the install script brings gave documents.
    for (const char* producer : {"libreoffice", "ghostscript", "chromium", "cairo", "groff", "pdftex"}) {
        EXPECT_GT(producers[producer].documents, 0) << producer << " gave no document";
    }
}

}  // namespace
