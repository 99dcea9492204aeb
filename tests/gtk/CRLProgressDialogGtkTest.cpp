#include <gtest/gtest.h>

#include <boost/thread/thread.hpp>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "common/Util.h"
#include "crypto/openssl/CRLDownloaderOpenSSL.h"
#include "gtk/CRLProgressDialogGtk.h"
#include "support/ChildProcess.h"
#include "support/GuiDriver.h"
#include "support/HttpServer.h"
#include "support/PdfBuilder.h"
#include "support/ScopedEnv.h"
#include "support/TempDir.h"
#include "support/TestPKI.h"
#include "support/XServer.h"

namespace {

using GtkTest::GuiDriver;
using Clock = std::chrono::steady_clock;

// A download task on a worker thread that finishes (with a result or an
// exception) only when the test releases it.
class HeldTask {
public:
    enum class End { Result, Failure };

    HeldTask()
        : _task([this] {
              std::unique_lock<std::mutex> lock(_mutex);
              _released.wait(lock, [this] { return _end.has_value(); });
              if (*_end == End::Failure) throw std::runtime_error("the download failed");
              Crypto::CRLStatusItem item;
              item.ok = true;
              item.code = 0;
              item.data = std::vector<unsigned char>{0x30, 0x00};
              return item;
          }),
          _future(_task.get_future()),
          _worker([this] { _task(); }) {}

    ~HeldTask() {
        Release(End::Failure);
        _worker.join();
    }

    void Release(End end) {
        {
            const std::lock_guard<std::mutex> lock(_mutex);
            if (_end) return;
            _end = end;
        }
        _released.notify_all();
    }

    Crypto::CRLFuture& Future() { return _future; }

private:
    std::mutex _mutex;
    std::condition_variable _released;
    std::optional<End> _end;
    Crypto::CRLTask _task;
    Crypto::CRLFuture _future;
    boost::thread _worker;
};

class CRLProgressDialogGtkTest : public testing::Test {
protected:
    void SetUp() override {
        GtkTest::UseBuildResources();
        title = GtkTest::Text(501);
    }
    void TearDown() override { Crypto::CRLProgressDialog::SetFactory(nullptr); }
    GuiDriver gui;
    std::string title;
};

}  // namespace

TEST_F(CRLProgressDialogGtkTest, ClosesByItselfWhenTheTaskCompletes) {
    HeldTask task;
    bool result = false;
    const std::string error = gui.Drive(
        [&](GuiDriver& g) {
            g.WaitForWindow(title);
            EXPECT_EQ(g.LabelText(title, "label"), GtkTest::Text(502));
            EXPECT_EQ(g.ButtonText(title, "cancel"), GtkTest::Text(169));
            task.Release(HeldTask::End::Result);
        },
        [&] { result = CRLProgressDialogGtk(task.Future()).ShowDialog(); });
    ASSERT_EQ(error, "");
    EXPECT_TRUE(result);
    EXPECT_TRUE(task.Future().has_value());
    EXPECT_FALSE(gui.Showing(title));
}

TEST_F(CRLProgressDialogGtkTest, CancelReturnsFalseAtOnceWhileTheTaskNeverCompletes) {
    HeldTask task;  // released only by its destructor, after the dialog
    bool result = true;
    Clock::time_point clicked;
    Clock::time_point returned;
    const std::string error = gui.Drive(
        [&](GuiDriver& g) {
            g.WaitForWindow(title);
            clicked = Clock::now();
            g.ClickWidget(title, "cancel");
        },
        [&] {
            result = CRLProgressDialogGtk(task.Future()).ShowDialog();
            returned = Clock::now();
        });
    ASSERT_EQ(error, "");
    EXPECT_FALSE(result);
    EXPECT_FALSE(task.Future().is_ready());
    EXPECT_LT(returned - clicked, std::chrono::seconds(2));
}

TEST_F(CRLProgressDialogGtkTest, ATaskThatFailedKeepsTheWindowUntilCancel) {
    HeldTask task;
    bool result = true;
    const std::string error = gui.Drive(
        [&](GuiDriver& g) {
            g.WaitForWindow(title);
            task.Release(HeldTask::End::Failure);
            g.WaitUntil([&] { return task.Future().is_ready(); }, "the task to end");
            // The window keeps looking at the ended task for a few passes.
            const auto seen = Clock::now();
            g.WaitUntil([&] { return Clock::now() - seen > std::chrono::milliseconds(200); }, "some passes");
            if (!g.Showing(title)) throw std::runtime_error("the window closed without a result");
            g.ClickWidget(title, "cancel");
        },
        [&] { result = CRLProgressDialogGtk(task.Future()).ShowDialog(); });
    ASSERT_EQ(error, "");
    EXPECT_FALSE(result);
}

TEST_F(CRLProgressDialogGtkTest, InstallMakesDownloadsShowTheWindowWhenWindowsAreAvailable) {
    HeldTask task;
    CRLProgressDialogGtk::Install();
    const auto window = Crypto::CRLProgressDialog::Create(task.Future(), 1);
    EXPECT_NE(dynamic_cast<CRLProgressDialogGtk*>(window.get()), nullptr);
    EXPECT_EQ(window->Language(), 1) << "the language of the request that downloads";
    const TestSupport::ScopedEnv none("PENDREL_DIALOGS", "none");
    const auto windowless = Crypto::CRLProgressDialog::Create(task.Future(), 0);
    EXPECT_NE(dynamic_cast<Crypto::CRLProgressWait*>(windowless.get()), nullptr);
    task.Release(HeldTask::End::Result);
    EXPECT_TRUE(windowless->ShowDialog());
}

// The whole download as a verification runs it: the installed window shows
// while the worker asks a server.
TEST_F(CRLProgressDialogGtkTest, InstalledWindowDuringARealDownload) {
    using TestSupport::HttpServer;
    CRLProgressDialogGtk::Install();
    HttpServer server;
    server.Serve("/ca.crl", 200, TestSupport::ReadFile(TestSupport::TestPKI::Shared().EmptyCRLDer()));
    HttpServer silent(HttpServer::Mode::Silent);
    const struct {
        const char* what;
        std::string url;
        bool delivered;
    } cases[] = {{"answering server", server.Url("/ca.crl"), true},
                 {"server that never answers, cancelled", silent.Url("/ca.crl"), false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const TestSupport::TestPKI pki(TestSupport::TestPKI::Options{c.url});
        const std::string der = TestSupport::ReadFile(pki.Get(TestSupport::TestPKI::Signer).certDer);
        std::vector<unsigned char> crl;
        int code = 0;
        bool result = !c.delivered;
        const std::string error = gui.Drive(
            [&](GuiDriver& g) {
                if (c.delivered) return;  // the window may come and go before it is seen
                g.WaitForWindow(title);
                if (!silent.WaitForRequest("/ca.crl", GuiDriver::kDeadline))
                    throw std::runtime_error("no request arrived");
                g.ClickWidget(title, "cancel");
            },
            [&] {
                result = Crypto::CRLDownloaderOpenSSL::DownloadCRL(
                    std::vector<unsigned char>(der.begin(), der.end()), crl, code);
            });
        ASSERT_EQ(error, "");
        EXPECT_EQ(result, c.delivered);
        EXPECT_EQ(crl.empty(), !c.delivered);
        EXPECT_FALSE(gui.Showing(title));
    }
}

TEST_F(CRLProgressDialogGtkTest, ScreenshotsInBothLanguages) {
    for (const int language : {0, 1}) {
        SCOPED_TRACE(language);
        HeldTask task;
        const std::string shownTitle = GtkTest::Text(501, language);
        const std::string error = gui.Drive(
            [&](GuiDriver& g) {
                g.Screenshot(shownTitle, GuiDriver::ScreenshotPath(std::string("CRLProgressDialogGtk-") +
                                                                   (language == 0 ? "en" : "de") + ".png"));
                g.ClickWidget(shownTitle, "cancel");
            },
            [&] {
                CRLProgressDialogGtk dialog(task.Future());
                dialog.SetLanguage(language);
                dialog.ShowDialog();
            });
        EXPECT_EQ(error, "");
    }
}

// The whole plug-in in the stand-in browser: the user cancels the progress
// window while the worker still waits for a server that never answers, and
// the page ends at once (the browser shuts the plug-in down and unloads it).
// The process must end normally every time; a worker left running in an
// unloaded library would kill it in a fair share of the runs.
TEST_F(CRLProgressDialogGtkTest, PageEndsCleanlyRightAfterACancelledDownload) {
    using TestSupport::HttpServer;
    const TestSupport::TempDir dir;
    TestSupport::PdfBuilder pdf;
    pdf.BasicDocument();
    pdf.EndRevision();
    TestSupport::WriteFile(dir.File("in.pdf"), pdf.Bytes());
    TestSupport::WriteFile(dir.File("page.js"),
                           "var request = plugin.createPropObject();\n"
                           "request.file = args[0];\n"
                           "var signer = plugin.createCertInfoObject();\n"
                           "signer.subject = 'Pendrel Test Signer';\n"
                           "if (!signer.search()) throw new Error('no signer');\n"
                           "request.certificate = signer;\n"
                           "request.options = 8;\n"
                           "print('signed: error ' + plugin.sign(request).error);\n");
    const TestSupport::ScopedEnv tmp("TMPDIR", dir.Path().c_str());
    const std::string window = "^" + title + "$";

    constexpr int kRuns = 12;  // a 1-in-4 fault survives twelve runs in 3 % of the cases
    for (int run = 0; run < kRuns; ++run) {
        SCOPED_TRACE("run " + std::to_string(run));
        HttpServer silent(HttpServer::Mode::Silent);
        const TestSupport::TestPKI pki(TestSupport::TestPKI::Options{silent.Url("/ca.crl")});
        const TestSupport::ScopedEnv keychain("PENDREL_KEYCHAIN", pki.Keychain().c_str());
        TestSupport::ChildProcess host({std::string(PENDREL_BINARY_DIR) + "/pendrel-host", "--plugin",
                                        std::string(PENDREL_BINARY_DIR) + "/libpendrelpdf.so",
                                        dir.File("page.js"), dir.File("in.pdf")});
        const GtkTest::ToolResult found = GtkTest::RunTool(
            {"timeout", "20", "xdotool", "search", "--sync", "--onlyvisible", "--name", window});
        ASSERT_EQ(found.status, 0) << host.Output();
        const std::string id = found.out.substr(0, found.out.find('\n'));
        ASSERT_TRUE(silent.WaitForRequest("/ca.crl", GuiDriver::kDeadline));
        EXPECT_EQ(GtkTest::RunTool({"xdotool", "windowfocus", "--sync", id, "key", "Escape"}).status, 0);
        EXPECT_EQ(host.Wait(GuiDriver::kDeadline), 0) << host.Output();
        EXPECT_NE(host.Output().find("signed: error"), std::string::npos) << host.Output();
    }
}
