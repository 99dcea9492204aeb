#include <gtest/gtest.h>

#include <boost/thread/thread.hpp>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <deque>
#include <future>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "common/Downloader.h"
#include "common/URLStream.h"
#include "support/HttpServer.h"
#include "support/TempDir.h"
#include "support/TestCrl.h"

namespace {

// What a downloader hands on: CopyToBuffer into a buffer of TotalSize bytes,
// cut to the count it returns.
std::string CopyOut(const Downloader& downloader, bool decodePem) {
    std::vector<unsigned char> buffer(downloader.TotalSize() + 1);
    const std::size_t count = downloader.CopyToBuffer(buffer.data(), decodePem);
    EXPECT_LE(count, downloader.TotalSize());
    return std::string(buffer.begin(), buffer.begin() + static_cast<long>(count));
}

std::string FileUrl(const std::string& path) {
    return "file://" + path;
}

class DownloaderTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        _dir = std::make_unique<TestSupport::TempDir>();
        _crl = std::make_unique<TestSupport::TestCrl>(TestSupport::MakeTestCrl(*_dir));
    }
    static void TearDownTestSuite() {
        _crl.reset();
        _dir.reset();
    }
    static std::unique_ptr<TestSupport::TempDir> _dir;
    static std::unique_ptr<TestSupport::TestCrl> _crl;
};
std::unique_ptr<TestSupport::TempDir> DownloaderTest::_dir;
std::unique_ptr<TestSupport::TestCrl> DownloaderTest::_crl;

struct DownloadCase {
    std::string name;
    std::string url;
    bool ok;
    std::string decoded;  // CopyToBuffer(.., true)
    std::string raw;      // CopyToBuffer(.., false)
};

TEST_F(DownloaderTest, DownloadsOverHttpAndFromFiles) {
    const std::string& der = _crl->der;
    const std::string& pem = _crl->pem;
    const std::string errorPage = "<html>server trouble</html>";
    TestSupport::HttpServer server;
    server.Serve("/crl.der", 200, der);
    server.Serve("/crl.pem", 200, pem);
    server.Serve("/empty", 200, "");
    server.Serve("/error", 500, errorPage);
    server.Serve("/crl.der?x=1", 200, der);
    server.ServeRaw("/closed", "");
    server.ServeRaw("/truncated", "HTTP/1.1 200 OK\r\nContent-Length: 100000\r\n\r\n" + der);

    TestSupport::WriteFile(_dir->File("crl.der"), der);
    TestSupport::WriteFile(_dir->File("crl.pem"), pem);
    TestSupport::WriteFile(_dir->File("empty"), "");
    TestSupport::WriteFile(_dir->File("with blank.der"), der);

    const DownloadCase cases[] = {
        {"DER over HTTP", server.Url("/crl.der"), true, der, der},
        {"PEM over HTTP is decoded on request", server.Url("/crl.pem"), true, der, pem},
        {"query string", server.Url("/crl.der?x=1"), true, der, der},
        {"empty body", server.Url("/empty"), false, "", ""},
        {"error page counts as data", server.Url("/error"), true, errorPage, errorPage},
        {"unknown path: the 404 page is data too", server.Url("/nothing"), true, "not found", "not found"},
        {"connection closed without answer", server.Url("/closed"), false, "", ""},
        {"DER file", FileUrl(_dir->File("crl.der")), true, der, der},
        {"PEM file", FileUrl(_dir->File("crl.pem")), true, der, pem},
        {"empty file", FileUrl(_dir->File("empty")), false, "", ""},
        {"escaped blank in file name", FileUrl(_dir->File("with%20blank.der")), true, der, der},
        {"missing file", FileUrl(_dir->File("missing")), false, "", ""},
        {"nobody listening", "http://127.0.0.1:1/crl", false, "", ""},
        {"no host", "http:///crl.der", false, "", ""},
        {"port beyond range", "http://127.0.0.1:99999/crl.der", false, "", ""},
        {"scheme the system does not use", "dict://127.0.0.1:" + std::to_string(server.Port()) + "/x", false,
         "", ""},
        {"empty URL", "", false, "", ""},
    };
    for (const DownloadCase& c : cases) {
        SCOPED_TRACE(c.name + ": " + c.url);
        Downloader downloader;
        EXPECT_EQ(downloader.DownloadFile(c.url), c.ok);
        if (!c.ok) continue;
        EXPECT_EQ(CopyOut(downloader, true), c.decoded);
        EXPECT_EQ(CopyOut(downloader, false), c.raw);
    }

    // A body cut short by the server is a failure, not a shorter list; what
    // arrived is kept but not reported as a download.
    Downloader truncated;
    EXPECT_FALSE(truncated.DownloadFile(server.Url("/truncated")));
}

TEST_F(DownloaderTest, NewDownloadReplacesThePreviousOneAndClearEmpties) {
    TestSupport::WriteFile(_dir->File("a"), "first");
    TestSupport::WriteFile(_dir->File("b"), "second");
    Downloader downloader;
    ASSERT_TRUE(downloader.DownloadFile(FileUrl(_dir->File("a"))));
    ASSERT_TRUE(downloader.DownloadFile(FileUrl(_dir->File("b"))));
    EXPECT_EQ(CopyOut(downloader, false), "second");
    downloader.ClearDownload();
    EXPECT_EQ(downloader.TotalSize(), 0u);
    EXPECT_EQ(downloader.CopyToBuffer(nullptr, true), 0u);
}

// Sets an environment variable for one scope and puts the old value back.
class EnvVar {
public:
    EnvVar(const char* name, const char* value) : _name(name) {
        if (const char* old = std::getenv(name)) _old = old;
        if (value != nullptr) {
            ::setenv(name, value, 1);
        } else {
            ::unsetenv(name);
        }
    }
    ~EnvVar() {
        if (_old) {
            ::setenv(_name, _old->c_str(), 1);
        } else {
            ::unsetenv(_name);
        }
    }
    EnvVar(const EnvVar&) = delete;
    EnvVar& operator=(const EnvVar&) = delete;

private:
    const char* _name;
    std::optional<std::string> _old;
};

TEST(Downloader, HttpUrlsGoThroughTheProxyFromTheEnvironmentInAnyCase) {
    TestSupport::HttpServer proxy;
    proxy.Serve("http://crl.example.invalid/list.crl", 200, "via proxy");
    const EnvVar http("http_proxy", proxy.Url("").c_str());
    const EnvVar noProxy("no_proxy", nullptr);
    const EnvVar noProxyUpper("NO_PROXY", nullptr);

    for (const char* url : {"http://crl.example.invalid/list.crl", "HTTP://crl.example.invalid/list.crl"}) {
        SCOPED_TRACE(url);
        Downloader downloader;
        ASSERT_TRUE(downloader.DownloadFile(url));
        EXPECT_EQ(CopyOut(downloader, false), "via proxy");
    }
    EXPECT_EQ(proxy.RequestCount("http://crl.example.invalid/list.crl"), 2);
}

// A stream that answers from a script: a text is data, "" is 0, and the
// script's last word is the final status.
class ScriptedStream : public URLStream {
public:
    ScriptedStream(std::deque<std::string> pieces, long end) : _pieces(std::move(pieces)), _end(end) {}
    long read(unsigned char* buffer, std::size_t size) override {
        if (_pieces.empty()) return _end;
        std::string& piece = _pieces.front();
        const std::size_t n = std::min(size, piece.size());
        std::copy(piece.begin(), piece.begin() + static_cast<long>(n), buffer);
        piece.erase(0, n);
        if (piece.empty()) _pieces.pop_front();
        return static_cast<long>(n);
    }

private:
    std::deque<std::string> _pieces;
    const long _end;
};

TEST(Downloader, CollectsPiecesFromACallersStream) {
    const std::string big(1300, 'z');  // more than one read of the downloader
    struct Case {
        const char* name;
        std::deque<std::string> pieces;
        long end;
        bool ok;
        std::string data;
    } cases[] = {
        {"pieces with pauses", {"", "ab", "", "", "cd"}, -1, true, "abcd"},
        {"larger than one read", {big, "!"}, -1, true, big + "!"},
        {"ends at once", {}, -1, false, ""},
        {"only pauses, then the end", {"", ""}, -1, false, ""},
        {"error after data", {"ab"}, -2, false, "ab"},
        {"error at once", {}, -2, false, ""},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedStream stream(c.pieces, c.end);
        Downloader downloader(stream);
        EXPECT_EQ(downloader.DownloadFile("ignored://"), c.ok);
        EXPECT_EQ(CopyOut(downloader, false), c.data);
    }
}

TEST(Downloader, InterruptEndsADownloadFromASilentServer) {
    TestSupport::HttpServer server;
    server.ServeSilence("/silent");
    const std::string url = server.Url("/silent");
    auto task = std::make_shared<std::packaged_task<bool()>>([url] {
        Downloader downloader;
        return downloader.DownloadFile(url);
    });
    std::future<bool> result = task->get_future();
    boost::thread worker([task] { (*task)(); });

    ASSERT_TRUE(server.WaitForRequest("/silent", std::chrono::seconds(10)));
    worker.interrupt();
    ASSERT_EQ(result.wait_for(std::chrono::seconds(5)), std::future_status::ready);
    EXPECT_THROW(result.get(), boost::thread_interrupted);
    worker.join();
}

TEST_F(DownloaderTest, ALimitRefusesLargerDownloadsAndEndlessSources) {
    const std::string body(200000, 'x');  // several read pieces and blocks
    TestSupport::HttpServer server;
    server.Serve("/body", 200, body);
    TestSupport::WriteFile(_dir->File("body"), body);
    const struct {
        std::string name;
        std::string url;
        std::size_t limit;
        bool ok;
    } cases[] = {
        {"exactly the limit over HTTP", server.Url("/body"), body.size(), true},
        {"one byte over over HTTP", server.Url("/body"), body.size() - 1, false},
        {"exactly the limit from a file", FileUrl(_dir->File("body")), body.size(), true},
        {"one byte over from a file", FileUrl(_dir->File("body")), body.size() - 1, false},
        {"an endless source", "file:///dev/zero", 1 << 20, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Downloader downloader;
        downloader.SetLimit(c.limit);
        EXPECT_EQ(downloader.DownloadFile(c.url), c.ok);
        EXPECT_EQ(downloader.TooLarge(), !c.ok);
        EXPECT_LE(downloader.TotalSize(), c.limit) << "nothing beyond the limit is kept";
        if (c.ok) {
            EXPECT_EQ(CopyOut(downloader, false), body);
        }
    }
}

TEST(Downloader, DownloadToHandsEachPieceOnAndKeepsNothing) {
    const std::string big(5000, 'q');
    const struct {
        const char* name;
        std::deque<std::string> pieces;
        long end;
        std::size_t refuseAfter;  // the sink answers false once it has this many bytes
        bool ok;
        std::string handed;
    } cases[] = {
        {"all pieces in order", {"ab", "", big, "cd"}, -1, SIZE_MAX, true, "ab" + big + "cd"},
        {"the sink stops the download", {"ab", "cd", "ef"}, -1, 4, false, "abcd"},
        {"a stream error after data", {"ab"}, -2, SIZE_MAX, false, "ab"},
        {"nothing at all", {}, -1, SIZE_MAX, false, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedStream stream(c.pieces, c.end);
        Downloader downloader(stream);
        std::string handed;
        const bool ok = downloader.DownloadTo("ignored://", [&](const unsigned char* data, std::size_t size) {
            handed.append(reinterpret_cast<const char*>(data), size);
            return handed.size() < c.refuseAfter;
        });
        EXPECT_EQ(ok, c.ok);
        EXPECT_EQ(handed, c.handed);
        EXPECT_EQ(CopyOut(downloader, false), "") << "nothing kept";
    }
}

}  // namespace
