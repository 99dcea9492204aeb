// Corpus documents signed by other programs (pdfsig plain and PAdES, mutool
// sign), ours on top of theirs and theirs on top of ours: our verify agrees
// with pdfsig on every signature both read, and reads every one pdfsig reads.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "engine/CertInfoBase.h"
#include "pdf/FileManager.h"
#include "support/NssDb.h"
#include "support/PdfsigReport.h"
#include "support/Process.h"
#include "support/ScopedEnv.h"
#include "support/TempDir.h"
#include "support/TestPKI.h"
#include "tests/corpus/Corpus.h"
#include "tests/engine/PendrelBaseHarness.h"

using CorpusTest::Document;
using TestSupport::Pdfsig;
using TestSupport::TestPKI;

namespace {

// The common name of a subject "CN=..., O=..." or "/CN=.../O=...".
std::string CommonName(const std::string& subject) {
    std::size_t at = subject.find("CN=");
    if (at == std::string::npos) return subject;
    at += 3;
    const std::size_t end = subject.find_first_of(",/", at);
    return subject.substr(at, end == std::string::npos ? std::string::npos : end - at);
}

class CorpusInterop : public ::testing::Test {
protected:
    CorpusInterop() : _keychain("PENDREL_KEYCHAIN", TestPKI::Shared().Keychain().c_str()) {}

    // pdfsig signs into a new field `name`, or into the empty field `field`
    // when given (it makes PAdES signatures only so); false when it refuses.
    bool PdfsigSigns(const std::string& in, const std::string& out, const std::string& name, bool etsi,
                     const std::string& field = "") {
        std::vector<std::string> command = {"pdfsig", "-nssdir", _signingDb, "-nick",
                                            "signer", "-reason", "Interop"};
        if (field.empty())
            command.insert(command.end(), {"-add-signature", "-new-signature-field-name", name});
        else
            command.insert(command.end(), {"-sign", field});
        if (etsi) command.push_back("-etsi");
        command.insert(command.end(), {in, out});
        std::string output;
        const bool done = TestSupport::RunProgram(command, &output) == 0 && TestSupport::FileExists(out);
        if (!done) std::printf("pdfsig did not sign %s: %s\n", in.c_str(), output.c_str());
        return done;
    }

    // mutool signs every empty signature field of `in` (named by number:
    // unnamed, it tries the signed ones too).
    bool MutoolSigns(const std::string& in, const std::string& out) {
        std::string listing;
        TestSupport::RunProgram({"mutool", "sign", in}, &listing);
        std::vector<std::string> command = {
            "mutool", "sign", "-s", TestPKI::Shared().Get(TestPKI::Signer).p12, "-P", "", "-o", out, in};
        const std::size_t fixed = command.size();
        std::size_t at = 0;
        while ((at = listing.find(": Signature is not signed.", at)) != std::string::npos) {
            std::size_t start = listing.rfind('\n', at);
            start = start == std::string::npos ? 0 : start + 1;
            command.push_back(std::to_string(std::stoi(listing.substr(start, at - start))));
            ++at;
        }
        if (command.size() == fixed) return false;
        std::string output;
        const bool done = TestSupport::RunProgram(command, &output) == 0 && TestSupport::FileExists(out);
        if (!done) std::printf("mutool did not sign %s: %s\n", in.c_str(), output.c_str());
        return done;
    }

    // Our verify and pdfsig on `path`: every signature pdfsig reads is ours
    // too, with the same verdict, signer and coverage; `expected` of them.
    void Agree(const std::string& path, std::size_t expected) {
        ++_judged;
        std::string report;
        const auto theirs = TestSupport::ReadPdfsig(CorpusTest::NssDb(), path, report);
        SCOPED_TRACE(report);
        std::size_t read = 0;  // pdfsig lists empty fields too
        for (const auto& entry : theirs) read += entry.second.verdict != Pdfsig::NotRead ? 1 : 0;
        EXPECT_EQ(read, expected);

        PDF::FileManager files(_work.Path());
        PendrelTest::TestRequest request(&files);
        request.Load(path);
        ASSERT_EQ(request.Error(), 0);
        PendrelTest::TestEngine engine;
        const auto result = engine.VerifyRequest(&request);
        ASSERT_EQ(result->Error(), 1);
        ASSERT_NE(result->List(), nullptr);
        const SignatureBase& ours = *result->List();
        for (const auto& [name, report] : theirs) {
            SCOPED_TRACE("signature " + name);
            if (report.verdict == Pdfsig::NotRead) continue;
            const SignatureBase::SigInfo* found = nullptr;
            for (std::size_t i = 0; i < ours.Count(); ++i)
                if (ours.At(i).sigId == name) found = &ours.At(i);
            ASSERT_NE(found, nullptr) << "pdfsig reads it, we do not";
            ++_signatures;
            ASSERT_EQ(found->status.size(), 4u);
            EXPECT_EQ(found->status[2] == '1', report.verdict == Pdfsig::Valid) << found->status;
            if (report.chain != 'X') {
                EXPECT_EQ(found->status[1], report.chain) << found->status;
            }
            ASSERT_NE(found->certificate, nullptr);
            EXPECT_EQ(CommonName(found->certificate->GetCertificate()->Subject()), report.signer);
            EXPECT_EQ(found->docRevision == ours.RevisionCount() - 1, report.totalDocument)
                << "revision " << found->docRevision << " of " << ours.RevisionCount();
        }
    }

    TestSupport::ScopedEnv _keychain;
    TestSupport::TempDir _work;
    TestSupport::TempDir _out;
    TestSupport::TempDir _nss;
    std::string _signingDb = TestSupport::MakeSigningNssDb(_nss, TestPKI::Shared().Get(TestPKI::Signer).p12);
    int _judged = 0;
    int _signatures = 0;
};

TEST_F(CorpusInterop, VerifyAgreesWithPdfsigOnSignaturesOfOthers) {
    int documents = 0;
    for (const Document& d : CorpusTest::Documents()) {
        // The producers' own documents, and the object-stream rewrites of the
        // sign-here forms.
        if (d.encrypted || d.broken || d.producer == "damaged") continue;
        const bool rewrite = d.file.find('~') != std::string::npos;
        if (rewrite && (d.field.empty() || d.file.find("~qpdf-objstm") == std::string::npos)) continue;
        SCOPED_TRACE(d.file);
        ++documents;
        const std::string base = _out.File(std::to_string(documents));
        CorpusTest::SignHow ours;
        ours.fieldName = "Ours";

        // pdfsig, plain and (into a sign-here field) PAdES; ours on top of pdfsig's.
        if (PdfsigSigns(d.path, base + "-p.pdf", "Poppler", false)) {
            Agree(base + "-p.pdf", 1);
            const CorpusTest::Signed onTop =
                CorpusTest::SignWithEngine(base + "-p.pdf", base + "-po.pdf", ours);
            EXPECT_EQ(onTop.code, 1) << onTop.reason;
            if (onTop.code == 1) Agree(base + "-po.pdf", 2);
        }
        if (!d.field.empty() && PdfsigSigns(d.path, base + "-e.pdf", "", true, d.field))
            Agree(base + "-e.pdf", 1);

        // pdfsig and mutool on top of ours.
        const CorpusTest::Signed first = CorpusTest::SignWithEngine(d.path, base + "-o.pdf", ours);
        ASSERT_EQ(first.code, 1) << first.reason;
        if (PdfsigSigns(base + "-o.pdf", base + "-op.pdf", "Poppler", false)) Agree(base + "-op.pdf", 2);
        if (!d.field.empty() && PdfsigSigns(base + "-o.pdf", base + "-oe.pdf", "", true, d.field))
            Agree(base + "-oe.pdf", 2);
        if (!d.field.empty()) {
            if (MutoolSigns(d.path, base + "-m.pdf")) Agree(base + "-m.pdf", 1);
            if (MutoolSigns(base + "-o.pdf", base + "-om.pdf")) Agree(base + "-om.pdf", 2);
        }
    }
    std::printf("verify agrees with pdfsig on %d signatures in %d files made from %d documents\n",
                _signatures, _judged, documents);
    EXPECT_GT(documents, 20);
}

}  // namespace
