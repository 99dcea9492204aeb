#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>
#include <cstdio>
#include <string>
#include <vector>

#include "engine/PropBase.h"
#include "pdf/Env.h"
#include "pdf/File.h"
#include "pdf/FileManager.h"
#include "support/HttpServer.h"
#include "support/LogCapture.h"
#include "support/OpenedDocument.h"
#include "support/PdfBuilder.h"
#include "support/ScopedEnv.h"
#include "support/TempDir.h"

using TestSupport::FileExists;
using TestSupport::LogCapture;
using TestSupport::PdfBuilder;
using TestSupport::ReadFile;
using TestSupport::TempDir;
using TestSupport::WriteFile;

namespace {

class TestProp final : public PropBase {
public:
    explicit TestProp(PDF::FileManager* files) : PropBase(files) {}
    VisualRepBase* GetVisualRep() override { return nullptr; }
    Crypto::Certificate* GetCertificate() override { return nullptr; }
};

std::string DocumentBytes(int pages, const std::string& version = "1.4") {
    PdfBuilder pdf(version);
    pdf.BasicDocument(pages);
    pdf.EndRevision();
    return pdf.Bytes();
}

// Base64 by coreutils, independent of our decoder; `wrap` 0 for one line.
std::string ReferenceBase64(const std::string& path, int wrap) {
    std::string out;
    FILE* pipe = ::popen(("base64 -w" + std::to_string(wrap) + " '" + path + "'").c_str(), "r");
    char buffer[4096];
    std::size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, got);
    ::pclose(pipe);
    return out;
}

bool Registered(const PDF::FileManager& files, const std::string& path) {
    for (const std::string& name : files.Files())
        if (name == path) return true;
    return false;
}

// The environment holds exactly the request's document.
void ExpectAttached(TestProp& prop) {
    ASSERT_NE(prop.Document(), nullptr);
    EXPECT_EQ(prop.Env().GetFile(), prop.Document());
    EXPECT_NE(prop.Env().GetVersions(), nullptr);
}

void ExpectNoDocument(TestProp& prop) {
    EXPECT_EQ(prop.Document(), nullptr);
    EXPECT_EQ(prop.Env().GetFile(), nullptr);
}

class PropBaseTest : public ::testing::Test {
protected:
    PropBaseTest() {
        ::mkdir(_dir.File("work").c_str(), 0700);
        WriteFile(_onePage, DocumentBytes(1));
        // a size that leaves one byte over: its Base64 text ends in "=="
        std::string twoPages = DocumentBytes(2);
        while (twoPages.size() % 3 != 1) twoPages += '\n';
        WriteFile(_twoPages, twoPages);
    }

    // The one-page document is still the open one (compared by its file: a
    // document opened in its place may take the same address).
    void ExpectStillOnePage(TestProp& prop) {
        ASSERT_NE(prop.Document(), nullptr);
        EXPECT_EQ(prop.Document()->Path(), _onePage);
        EXPECT_EQ(prop.Document()->PageCount(), 1);
        ExpectAttached(prop);
    }

    // A request with the one-page document loaded.
    void LoadOnePage(TestProp& prop) {
        prop.SetFile(_onePage);
        prop.LoadFileFromURL();
        ASSERT_EQ(prop.Error(), 0);
        ASSERT_EQ(prop.Pages(), 1);
    }

    const TempDir _dir;
    PDF::FileManager _files{_dir.File("work")};
    const std::string _onePage = _dir.File("one.pdf");
    const std::string _twoPages = _dir.File("two pages é.pdf");
};

TEST_F(PropBaseTest, StartsEmpty) {
    TestProp prop(&_files);
    EXPECT_EQ(prop.Error(), 0);
    EXPECT_EQ(prop.Pages(), 0);
    ExpectNoDocument(prop);
    EXPECT_EQ(prop.Options(), 0);
    EXPECT_EQ(prop.Lang(), 0);
}

// Every load starts from a request holding the one-page document: a load
// that stops before opening keeps it, one that opens replaces it.
TEST_F(PropBaseTest, FileValuesGiveTheirCodesAndKeepTheDocumentOnlyWhenStoppedBeforeOpening) {
    // "/./" segments lengthen a path without changing the file it names
    const auto padded = [&](std::size_t length) {
        std::string path = _dir.Path() + "/";
        while (path.size() + 2 + std::string("two pages é.pdf").size() <= length) path += "./";
        path += "two pages é.pdf";
        if (path.size() < length) path.insert(_dir.Path().size(), "/");  // "//" is one more byte
        return path;
    };
    WriteFile(_dir.File("text.pdf"), "this is not a PDF document\n");
    WriteFile(_dir.File("v21.pdf"), DocumentBytes(1, "2.1"));
    {
        // the catalog does not parse: the library call fails with code 0
        PdfBuilder pdf;
        pdf.BasicDocument(1);
        pdf.Object(1, "<< /Type /Catalog /Pages 2 0 R");
        pdf.EndRevision();
        pdf.Save(_dir.File("broken.pdf"));
        ASSERT_EQ(TestSupport::OpenError(_dir.File("broken.pdf")), 0);
    }
    std::string escaped = "file://" + _dir.Path() + "/two%20pages%20%C3%A9.pdf";

    const struct {
        std::string name;
        std::string file;
        int error;
        int pages;  // what Pages() reports
        bool kept;  // the earlier document is still open
        std::string fileAfter;
    } cases[] = {
        {"empty", "", -1, -1, true, ""},
        {"512 bytes", padded(512), 0, 2, false, padded(512)},
        {"513 bytes", padded(513), -2, -2, true, padded(513)},
        {"PDF: prefix", "PDF:" + _twoPages, -2, -2, true, "PDF:" + _twoPages},
        {"pdf: in lower case is a path", "pdf:" + _twoPages, -7, -7, false, "pdf:" + _twoPages},
        {"file URL with escapes", escaped, 0, 2, false, _twoPages},
        {"missing file", _dir.File("missing.pdf"), -7, -7, false, _dir.File("missing.pdf")},
        {"not a PDF", _dir.File("text.pdf"), -7, -7, false, _dir.File("text.pdf")},
        {"PDF 2.1", _dir.File("v21.pdf"), -58, -58, false, _dir.File("v21.pdf")},
        {"library failure, not \"no error\"", _dir.File("broken.pdf"), -7, -7, false,
         _dir.File("broken.pdf")},
    };
    ASSERT_EQ(padded(512).size(), 512u);
    ASSERT_EQ(padded(513).size(), 513u);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TestProp prop(&_files);
        LoadOnePage(prop);
        PDF::File* const before = prop.Document();

        const LogCapture log;
        prop.SetFile(c.file);
        prop.LoadFileFromURL();
        EXPECT_EQ(prop.Error(), c.error);
        EXPECT_EQ(prop.Pages(), c.pages);
        // A document that is not opened says why.
        if (log.Enabled() && (c.error == -7 || c.error == -58)) {
            EXPECT_TRUE(log.Contains("SetFile: SetFile - Could not open the document (")) << log.Text();
        }
        EXPECT_EQ(prop.File(), c.fileAfter);
        if (c.kept) {
            EXPECT_EQ(prop.Document(), before);
            ExpectAttached(prop);
            EXPECT_EQ(prop.LocalFile(), _onePage);
        } else if (c.error == 0) {
            ExpectAttached(prop);
            EXPECT_EQ(prop.LocalFile(), c.fileAfter);
            EXPECT_EQ(prop.Document()->Path(), c.fileAfter);
        } else {
            ExpectNoDocument(prop);
        }
        EXPECT_TRUE(_files.Files().empty()) << "local files need no working copy";
    }
}

TEST_F(PropBaseTest, DownloadsRemoteDocumentsIntoRegisteredWorkingCopies) {
    const TestSupport::ScopedEnv stall("PENDREL_NET_STALL_TIMEOUT", "0.3");
    TestSupport::HttpServer server;
    const std::string twoPages = DocumentBytes(2);
    server.Serve("/doc.pdf", 200, twoPages);
    server.Serve("/empty.pdf", 200, "");
    server.Serve("/error-page", 404, "<html>not found</html>");
    server.ServeSilence("/silent.pdf");
    server.ServeRaw("/cut.pdf", "HTTP/1.1 200 OK\r\nContent-Length: 100000\r\n\r\n" + twoPages);
    std::string upper = server.Url("/doc.pdf");
    upper.replace(0, 4, "HTTP");

    const struct {
        std::string name;
        std::string url;
        int error;
        std::string copy;  // the working copy's bytes; a failed download leaves none
    } cases[] = {
        {"document, scheme in capitals", upper, 0, twoPages},
        {"no bytes", server.Url("/empty.pdf"), -6, ""},
        {"an error page is data, but no document", server.Url("/error-page"), -7, "<html>not found</html>"},
        {"a server that never answers", server.Url("/silent.pdf"), -6, ""},
        {"a body cut short", server.Url("/cut.pdf"), -6, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TestProp prop(&_files);
        LoadOnePage(prop);
        PDF::File* const before = prop.Document();
        const std::size_t registered = _files.Files().size();
        const LogCapture log;

        prop.SetFile(c.url);
        prop.LoadFileFromURL();
        EXPECT_EQ(prop.Error(), c.error);
        EXPECT_EQ(prop.File(), c.url);
        // a new working copy in the manager's folder, registered, holding what was served
        ASSERT_EQ(_files.Files().size(), registered + 1);
        EXPECT_EQ(_files.Files().back(), prop.LocalFile());
        EXPECT_EQ(prop.LocalFile().rfind(_files.Directory(), 0), 0u);
        if (c.error == -6) {
            // the earlier document stays open; no partial copy stays behind
            EXPECT_FALSE(FileExists(prop.LocalFile()));
            EXPECT_EQ(prop.Document(), before);
            ExpectAttached(prop);
            if (log.Active()) {
                EXPECT_TRUE(log.Has("LoadFileFromURL", "SetFile - Error while downloading the file"));
            }
            continue;
        }
        ASSERT_TRUE(FileExists(prop.LocalFile()));
        EXPECT_EQ(ReadFile(prop.LocalFile()), c.copy);
        struct stat st {};
        ASSERT_EQ(::stat(prop.LocalFile().c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0600u);
        if (c.error == 0) {
            ExpectAttached(prop);
            EXPECT_EQ(prop.Pages(), 2);
            EXPECT_EQ(prop.Document()->Path(), prop.LocalFile());
        } else {
            ExpectNoDocument(prop);
        }
    }
}

TEST_F(PropBaseTest, AWorkingCopyThatCannotBeCreatedGivesMinus5) {
    PDF::FileManager nowhere(_dir.File("missing-folder"));
    TestSupport::HttpServer server;
    server.Serve("/doc.pdf", 200, DocumentBytes(2));
    TestProp prop(&nowhere);
    LoadOnePage(prop);
    PDF::File* const before = prop.Document();
    const LogCapture log;
    prop.SetFile(server.Url("/doc.pdf"));
    prop.LoadFileFromURL();
    EXPECT_EQ(prop.Error(), -5);
    EXPECT_EQ(prop.Document(), before);
    EXPECT_EQ(server.RequestCount("/doc.pdf"), 0) << "nothing is downloaded without a place for it";
    if (log.Active()) {
        EXPECT_TRUE(
            log.Has("LoadFileFromURL", "SetFile - Could not open local filename " + prop.LocalFile()));
    }
}

TEST_F(PropBaseTest, FedBase64InAnyPiecesGivesTheDocumentsBytes) {
    const std::string bytes = ReadFile(_twoPages);
    const std::string plain = ReferenceBase64(_twoPages, 0);
    const std::string wrapped = ReferenceBase64(_twoPages, 76);
    std::string crlf;
    for (const char ch : wrapped) crlf += ch == '\n' ? std::string("\r\n") : std::string(1, ch);
    ASSERT_NE(plain.find('='), std::string::npos) << "the last group is padded";

    const auto split = [](const std::string& text, std::vector<std::size_t> cuts) {
        std::vector<std::string> pieces;
        std::size_t start = 0;
        for (const std::size_t cut : cuts) {
            pieces.push_back(text.substr(start, cut - start));
            start = cut;
        }
        pieces.push_back(text.substr(start));
        return pieces;
    };
    const auto every = [](const std::string& text, std::size_t size) {
        std::vector<std::string> pieces;
        for (std::size_t at = 0; at < text.size(); at += size) pieces.push_back(text.substr(at, size));
        return pieces;
    };
    const struct {
        std::string name;
        std::vector<std::string> pieces;
    } cases[] = {
        {"whole", {plain}},
        {"split after one character of a group", split(plain, {401})},
        {"split after two characters of a group", split(plain, {402})},
        {"split after three characters of a group", split(plain, {403})},
        {"split inside the padded last group", split(plain, {plain.size() - 1})},
        {"one character at a time", every(plain, 1)},
        {"pieces of 7", every(plain, 7)},
        {"with line feeds, split inside groups", every(wrapped, 100)},
        {"with CR LF line breaks", every(crlf, 512)},
        {"a line break alone as a piece", split(wrapped, {76, 77})},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TestProp prop(&_files);
        for (const std::string& piece : c.pieces) {
            prop.Feed(piece.data(), piece.size());
            EXPECT_TRUE(prop.Feeding());
            EXPECT_EQ(prop.Document(), nullptr);
        }
        prop.Feed("", 0);
        EXPECT_FALSE(prop.Feeding());
        EXPECT_EQ(prop.Error(), 0);
        EXPECT_EQ(prop.Pages(), 2);
        ExpectAttached(prop);
        EXPECT_TRUE(Registered(_files, prop.LocalFile()));
        EXPECT_EQ(ReadFile(prop.LocalFile()), bytes);
    }
}

// Names handed out over a folder in which someone else creates a file under
// each name right after it was chosen (and before it could be created).
class PlantingFileManager final : public PDF::FileManager {
public:
    PlantingFileManager(const std::string& folder, std::string planted)
        : PDF::FileManager(folder), _planted(std::move(planted)) {}
    std::string GenerateFileName() const override {
        const std::string name = PDF::FileManager::GenerateFileName();
        WriteFile(name, _planted);
        return name;
    }

private:
    std::string _planted;
};

TEST_F(PropBaseTest, AFeedWhoseFileCannotBeCreatedLoadsNothing) {
    const std::string foreign = DocumentBytes(3);
    PDF::FileManager nowhere(_dir.File("missing-folder"));
    PlantingFileManager planting(_dir.File("work"), foreign);
    const std::string text = ReferenceBase64(_twoPages, 76);
    const struct {
        const char* name;
        PDF::FileManager* files;
    } cases[] = {{"folder missing", &nowhere}, {"name taken by a planted file", &planting}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TestProp prop(c.files);
        LoadOnePage(prop);
        PDF::File* const before = prop.Document();
        const LogCapture log;
        prop.Feed(text.data(), 10);
        EXPECT_EQ(prop.Error(), -5);
        const std::string name = prop.LocalFile();
        prop.Feed(text.data() + 10, text.size() - 10);
        EXPECT_EQ(prop.LocalFile(), name) << "later pieces do not start another file";
        EXPECT_EQ(c.files->Files().size(), 1u);
        EXPECT_EQ(prop.Document(), before) << "the earlier document stays while feeding";
        prop.Feed("", 0);
        // Nothing is opened, least of all a file this request did not make.
        EXPECT_EQ(prop.Error(), -5);
        EXPECT_EQ(prop.Pages(), -5);
        ExpectStillOnePage(prop);
        // An end of data on its own does not open it either.
        prop.Feed(nullptr, 0);
        EXPECT_EQ(prop.Pages(), -5);
        ExpectStillOnePage(prop);
        if (c.files == &planting) {
            EXPECT_EQ(ReadFile(name), foreign) << "the planted file is left as it is";
        }
        if (log.Active()) {
            EXPECT_TRUE(log.Has("Feed", "SetFile - Could not open local filename " + name));
        }
    }
}

TEST_F(PropBaseTest, ADownloadWhoseFileCannotBeCreatedLeavesNothingToReopen) {
    TestSupport::HttpServer server;
    server.Serve("/doc.pdf", 200, DocumentBytes(2));
    PlantingFileManager planting(_dir.File("work"), DocumentBytes(3));
    TestProp prop(&planting);
    LoadOnePage(prop);
    prop.SetFile(server.Url("/doc.pdf"));
    prop.LoadFileFromURL();
    EXPECT_EQ(prop.Error(), -5);
    prop.Feed(nullptr, 0);  // would reload what lies under the working copy's name
    EXPECT_EQ(prop.Pages(), -5);
    ExpectStillOnePage(prop);
    // A local file the page names is its own choice again.
    prop.SetFile(_twoPages);
    prop.LoadFileFromURL();
    prop.Feed(nullptr, 0);
    EXPECT_EQ(prop.Pages(), 2);
}

TEST_F(PropBaseTest, AnEndOfDataWithoutPiecesReopensTheLocalFile) {
    {
        TestProp prop(&_files);
        LoadOnePage(prop);
        WriteFile(_onePage, DocumentBytes(3));
        prop.Feed(nullptr, 0);
        EXPECT_EQ(prop.Error(), 0);
        EXPECT_EQ(prop.Pages(), 3);
        ExpectAttached(prop);
    }
    TestProp fresh(&_files);
    fresh.Feed(nullptr, 0);
    EXPECT_EQ(fresh.Error(), -7) << "an empty name does not open";
    ExpectNoDocument(fresh);
    EXPECT_TRUE(_files.Files().empty());
}

TEST_F(PropBaseTest, ReloadOpensTheDocumentsFileAfresh) {
    TestSupport::HttpServer server;
    server.Serve("/empty.pdf", 200, "");
    TestProp prop(&_files);
    EXPECT_FALSE(prop.Reload()) << "nothing to reload";
    EXPECT_EQ(prop.Error(), 0);

    LoadOnePage(prop);
    PDF::File* const first = prop.Document();
    ASSERT_EQ(prop.Env().NewOid(), 4);  // the trailer's /Size: the first new number
    prop.Env().NewOid();
    // a failed download names an empty working copy, yet the document stays
    prop.SetFile(server.Url("/empty.pdf"));
    prop.LoadFileFromURL();
    ASSERT_EQ(prop.Error(), -6);
    ASSERT_EQ(prop.Document(), first);

    WriteFile(_onePage, DocumentBytes(3));
    EXPECT_TRUE(prop.Reload());
    ExpectAttached(prop);
    EXPECT_EQ(prop.LocalFile(), _onePage);
    EXPECT_EQ(prop.Document()->PageCount(), 3);
    EXPECT_EQ(prop.Env().NewOid(), 6) << "object numbers start again from the new /Size";

    std::remove(_onePage.c_str());
    EXPECT_FALSE(prop.Reload());
    EXPECT_EQ(prop.Error(), -7);
    ExpectNoDocument(prop);
}

TEST_F(PropBaseTest, DestructionLogsAndDetachesEverything) {
    const LogCapture log;
    std::string line;
    {
        TestProp prop(&_files);
        LoadOnePage(prop);
        char address[64];
        std::snprintf(address, sizeof address, "*** Destructor, object %p", static_cast<void*>(&prop));
        line = address;
        // destroyed in the middle of a feed: the stream is closed
        prop.Feed("JVBERi0x", 8);
    }
    if (log.Active()) {
        EXPECT_TRUE(log.Has("~PropBase", line));
        const std::string text = log.Text();
        // the document goes before the environment
        EXPECT_LT(text.find("] ~PropBase: "), text.find("] ~File: "));
        EXPECT_LT(text.rfind("] ~File: "), text.rfind("] ~Env: "));
    }
}

// Files may grow to `bytes` only while it lives (writes beyond fail with EFBIG).
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        ::getrlimit(RLIMIT_FSIZE, &_saved);
        _handler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = _saved;
        limit.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &_saved);
        std::signal(SIGXFSZ, _handler);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    rlimit _saved{};
    void (*_handler)(int) = SIG_DFL;
};

TEST_F(PropBaseTest, AWorkingCopyThatCannotBeWrittenInFullIsNeverOpened) {
    TestSupport::HttpServer server;
    const std::string bytes = ReadFile(_twoPages);
    server.Serve("/doc.pdf", 200, bytes);
    const std::string text = ReferenceBase64(_twoPages, 76);
    ASSERT_GT(bytes.size(), 300u);

    const struct {
        std::string name;
        bool feed;
    } cases[] = {{"download", false}, {"feed", true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TestProp prop(&_files);
        LoadOnePage(prop);
        PDF::File* const before = prop.Document();
        {
            const FileSizeLimit limit(300);  // the log file cannot grow either meanwhile
            if (c.feed) {
                for (std::size_t at = 0; at < text.size(); at += 64)
                    prop.Feed(text.data() + at, std::min<std::size_t>(64, text.size() - at));
                prop.Feed("", 0);
            } else {
                prop.SetFile(server.Url("/doc.pdf"));
                prop.LoadFileFromURL();
            }
        }
        EXPECT_EQ(prop.Error(), -5);
        EXPECT_EQ(prop.Document(), before) << "stopped before opening: the earlier document stays";
        ExpectAttached(prop);
        EXPECT_LE(ReadFile(prop.LocalFile()).size(), 300u);
    }
}

}  // namespace

// The working files of the request's documents go with the request: fed and
// downloaded copies, the replaced ones and a half-fed one. Files the page
// named itself and files planted under a working name stay.
TEST_F(PropBaseTest, DestructionDeletesTheWorkingCopiesItMadeAndNothingElse) {
    const std::string text = ReferenceBase64(_twoPages, 76);
    TestSupport::HttpServer server;
    server.Serve("/doc.pdf", 200, DocumentBytes(2));
    std::vector<std::string> made;
    {
        TestProp prop(&_files);
        LoadOnePage(prop);
        for (int i = 0; i < 2; ++i) {
            prop.Feed(text.data(), text.size());
            prop.Feed("", 0);
            ASSERT_EQ(prop.Pages(), 2);
            made.push_back(prop.LocalFile());
        }
        prop.SetFile(server.Url("/doc.pdf"));
        prop.LoadFileFromURL();
        ASSERT_EQ(prop.Pages(), 2);
        made.push_back(prop.LocalFile());
        prop.Feed(text.data(), 100);  // a feed the page never ended
        made.push_back(prop.LocalFile());
        for (const std::string& path : made) ASSERT_TRUE(FileExists(path)) << path;
    }
    for (const std::string& path : made) EXPECT_FALSE(FileExists(path)) << path;
    EXPECT_TRUE(FileExists(_onePage));

    const std::string foreign = DocumentBytes(3);
    PlantingFileManager planting(_dir.File("work"), foreign);
    std::string planted;
    {
        TestProp prop(&planting);
        prop.Feed(text.data(), text.size());
        prop.Feed("", 0);
        EXPECT_EQ(prop.Error(), -5);
        planted = prop.LocalFile();
    }
    EXPECT_EQ(ReadFile(planted), foreign) << "a file this request did not make is left as it is";
}
