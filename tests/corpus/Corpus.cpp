#include "tests/corpus/Corpus.h"

#include <dirent.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>
#include <stdexcept>

#include "engine/VisualRepBase.h"
#include "pdf/FileManager.h"
#include "pdf/Surface.h"
#include "support/LogCapture.h"
#include "support/NssDb.h"
#include "support/Process.h"
#include "support/ScopedEnv.h"
#include "support/TempDir.h"
#include "support/TestPKI.h"
#include "support/ThirdPartyTools.h"
#include "tests/engine/PendrelBaseHarness.h"

namespace CorpusTest {

namespace {

std::vector<std::string> Split(const std::string& line, char separator) {
    std::vector<std::string> parts;
    std::stringstream in(line);
    std::string part;
    while (std::getline(in, part, separator)) parts.push_back(part);
    return parts;
}

std::vector<Document> Load(const std::string& folder) {
    std::ifstream list(folder + "/corpus.tsv");
    if (!list) throw std::runtime_error("no corpus list in " + folder);
    std::vector<Document> documents;
    std::string line;
    while (std::getline(list, line)) {
        const std::vector<std::string> parts = Split(line, '\t');
        if (parts.size() != 4) continue;
        Document d;
        d.file = parts[0];
        d.path = folder + "/" + d.file;
        d.producer = parts[1];
        d.how = parts[2];
        d.field = parts[3] == "-" ? "" : parts[3];
        const QpdfCheck check = CheckWithQpdf(d.path);
        // qpdf says so of documents it opens, and refuses those that need a password.
        d.encrypted = check.output.find("invalid password") != std::string::npos ||
                      check.output.find("\nR = ") != std::string::npos;
        d.qpdfRank = check.rank;
        d.qpdfWarnings = check.warnings;
        d.broken = (!d.encrypted && check.rank >= 2) ||
                   check.output.find("file is damaged") != std::string::npos ||
                   check.output.find("reconstruct") != std::string::npos;
        std::string pages;
        TestSupport::RunProgram({"qpdf", "--show-npages", d.path}, &pages);
        d.pages = std::atoi(pages.c_str());
        documents.push_back(d);
    }
    return documents;
}

std::string MakeCorpus(const std::string& folder) {
    std::string output;
    const int status =
        TestSupport::RunProgram({PENDREL_CORPUS_SCRIPT, folder, PENDREL_CORPUS_CAIRO}, &output);
    if (status != 0) throw std::runtime_error("make-corpus.sh failed: " + output);
    return output;
}

}  // namespace

const std::string& Folder() {
    static const std::string folder = [] {
        const char* const given = std::getenv("PENDREL_CORPUS_DIR");
        if (given != nullptr && *given != '\0') {
            if (!TestSupport::FileExists(std::string(given) + "/corpus.tsv"))
                std::printf("%s", MakeCorpus(given).c_str());
            return std::string(given);
        }
        static TestSupport::TempDir scratch;
        std::printf("%s", MakeCorpus(scratch.Path()).c_str());
        return scratch.Path();
    }();
    return folder;
}

const std::vector<Document>& Documents() {
    static const std::vector<Document> documents = Load(Folder());
    return documents;
}

QpdfCheck CheckWithQpdf(const std::string& path) {
    QpdfCheck check;
    const int status = TestSupport::RunProgram({"qpdf", "--check", path}, &check.output);
    check.rank = status == 0 ? 0 : status == 3 ? 1 : status == 2 ? 2 : 3;
    check.warnings = TestSupport::CountOf(check.output, "WARNING");
    return check;
}

Signed SignWithEngine(const std::string& input, const std::string& output, const SignHow& how) {
    const TestSupport::ScopedEnv keychain("PENDREL_KEYCHAIN",
                                          TestSupport::TestPKI::Shared().Keychain().c_str());
    const TestSupport::TempDir work;
    PDF::FileManager files(work.Path());
    const TestSupport::LogCapture log;
    Signed outcome;
    // Why, as the engine logged it: the document's refusal, else the last exception.
    const auto why = [&log] {
        const std::string text = log.Text();
        std::size_t at = text.rfind("Could not open the document: ");
        if (at == std::string::npos) at = text.rfind("Exception");
        if (at == std::string::npos) {
            // The last line without its bracketed time stamp.
            at = text.rfind("] ");
            if (at != std::string::npos) at += 2;
        }
        if (at == std::string::npos) return std::string("nothing logged");
        const std::size_t end = text.find('\n', at);
        return text.substr(at, end == std::string::npos ? std::string::npos : end - at);
    };

    PendrelTest::TestRequest request(&files);
    request.Load(input);
    if (request.Error() != 0) {
        outcome.code = request.Error();
        outcome.reason = "not opened: " + why();
        return outcome;
    }
    request.certificate = PendrelTest::LoadIdentity(TestSupport::TestPKI::Signer);
    request.SetSigId(how.field.empty() ? how.fieldName : how.field);
    request.SetReason(L"Corpus check");
    VisualRepBase visual;
    if (how.visible) {
        visual.Initialize(how.page, 200, 300, 600, 200, 240, 240, 255, request.certificate.get());
        visual.GetSurface()->SetFont("DejaVu Sans", 40, 0);
        visual.GetSurface()->SetPos(20, 20);
        visual.GetSurface()->WriteString(L"Signed by $Subject");
        request.visual = &visual;
    }
    PendrelTest::TestEngine engine;
    const auto result = engine.SignRequest(&request);
    outcome.code = result->Error();
    if (outcome.code != 1) {
        outcome.reason = why();
        return outcome;
    }
    if (TestSupport::RunProgram({"cp", result->File(), output}) != 0) {
        outcome.code = 0;
        outcome.reason = "the signed copy " + result->File() + " cannot be copied";
        return outcome;
    }
    outcome.path = output;
    return outcome;
}

std::vector<Picture> Render(const std::string& path, bool annotations) {
    const TestSupport::TempDir dir;
    std::vector<std::string> command = {"pdftoppm", "-r", "20"};
    if (!annotations) command.push_back("-hide-annotations");
    command.insert(command.end(), {path, dir.File("page")});
    if (TestSupport::RunProgram(command) != 0) return {};
    std::vector<std::string> names;
    if (DIR* const folder = opendir(dir.Path().c_str())) {
        while (const dirent* entry = readdir(folder))
            if (std::string(entry->d_name).rfind("page", 0) == 0) names.push_back(entry->d_name);
        closedir(folder);
    }
    std::sort(names.begin(), names.end());
    std::vector<Picture> pages;
    for (const std::string& name : names) {
        const std::string bytes = TestSupport::ReadFile(dir.File(name));
        std::istringstream in(bytes);
        std::string magic;
        Picture picture;
        int depth = 0;
        in >> magic >> picture.width >> picture.height >> depth;
        in.get();
        if (magic != "P6" || depth != 255) return {};
        const std::size_t size = static_cast<std::size_t>(picture.width) * picture.height * 3;
        const std::size_t start = static_cast<std::size_t>(in.tellg());
        if (bytes.size() < start + size) return {};
        picture.rgb = bytes.substr(start, size);
        pages.push_back(std::move(picture));
    }
    return pages;
}

std::vector<char> Difference(const Picture& a, const Picture& b) {
    std::vector<char> differs(static_cast<std::size_t>(a.width) * a.height, 0);
    for (std::size_t i = 0; i < differs.size(); ++i)
        differs[i] = a.rgb.compare(3 * i, 3, b.rgb, 3 * i, 3) != 0 ? 1 : 0;
    return differs;
}

const std::string& NssDb() {
    static TestSupport::TempDir dir;
    static const std::string db = TestSupport::MakeNssDb(dir);
    return db;
}

}  // namespace CorpusTest
