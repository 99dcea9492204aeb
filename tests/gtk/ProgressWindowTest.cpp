#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <stdexcept>
#include <thread>

#include "common/Util.h"
#include "gtk/ProgressWindow.h"
#include "support/GuiDriver.h"

namespace {

using GtkTest::GuiDriver;
using Clock = std::chrono::steady_clock;

// A download as the caller sees it: a future that a worker fulfils (or not).
struct Download {
    std::promise<int> promise;
    std::shared_future<int> future = promise.get_future().share();
    std::atomic<int> looks{0};

    ProgressWindow Window(int language = 0) {
        return ProgressWindow(
            [this](std::chrono::milliseconds wait) {
                ++looks;
                return future.wait_for(wait) == std::future_status::ready;
            },
            [this] {
                try {
                    future.get();
                    return true;
                } catch (const std::exception&) {
                    return false;
                }
            },
            language);
    }
};

class ProgressWindowTest : public testing::Test {
protected:
    void SetUp() override { GtkTest::UseBuildResources(); }
    GuiDriver gui;
};

}  // namespace

TEST_F(ProgressWindowTest, ClosesByItselfWhenTheDownloadDelivers) {
    Download download;
    const std::string title = GtkTest::Text(501);
    bool result = false;
    const std::string error = gui.Drive(
        [&](GuiDriver& g) {
            g.WaitForWindow(title);
            EXPECT_EQ(g.LabelText(title, "label"), GtkTest::Text(502));
            download.promise.set_value(7);  // as the worker thread does
        },
        [&] { result = download.Window().Run(); });
    ASSERT_EQ(error, "");
    EXPECT_TRUE(result);
    EXPECT_FALSE(gui.Showing(title));
}

TEST_F(ProgressWindowTest, ADownloadDoneBeforeTheWindowAppearsAnswersTrue) {
    Download download;
    download.promise.set_value(1);
    EXPECT_TRUE(download.Window().Run());
}

TEST_F(ProgressWindowTest, CancelReturnsFalseAtOnceWhileTheDownloadNeverEnds) {
    Download download;  // never fulfilled: a server that never answers
    const std::string title = GtkTest::Text(501);
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
            result = download.Window().Run();
            returned = Clock::now();
        });
    ASSERT_EQ(error, "");
    EXPECT_FALSE(result);
    EXPECT_LT(returned - clicked, std::chrono::seconds(5));  // the download would never have ended
}

TEST_F(ProgressWindowTest, ADownloadThatFailedKeepsTheWindowUntilCancel) {
    Download download;
    download.promise.set_exception(std::make_exception_ptr(std::runtime_error("no CRL")));
    const std::string title = GtkTest::Text(501);
    bool result = true;
    const std::string error = gui.Drive(
        [&](GuiDriver& g) {
            g.WaitForWindow(title);
            const int seen = download.looks;
            // The window keeps looking at the ended download and stays open.
            g.WaitUntil([&] { return download.looks > seen + 3; }, "the window to look again");
            if (!g.Showing(title)) throw std::runtime_error("the window closed without a result");
            g.CloseBox(g.WaitForWindow(title));
        },
        [&] { result = download.Window().Run(); });
    ASSERT_EQ(error, "");
    EXPECT_FALSE(result);
}

TEST_F(ProgressWindowTest, LooksAtTheDownloadWithoutSpinning) {
    Download download;
    const std::string title = GtkTest::Text(501);
    int looks = 0;
    const std::string error = gui.Drive(
        [&](GuiDriver& g) {
            g.WaitForWindow(title);
            const int seen = download.looks;
            const auto start = Clock::now();
            g.WaitUntil([&] { return download.looks >= seen + 10; }, "ten looks");
            looks = static_cast<int>((Clock::now() - start) / ProgressWindow::kPollInterval);
            g.ClickWidget(title, "cancel");
        },
        [&] { download.Window().Run(); });
    ASSERT_EQ(error, "");
    // Ten looks take about ten intervals: a timer paces the loop.
    EXPECT_GE(looks, 7);
}

TEST_F(ProgressWindowTest, ScreenshotsInBothLanguages) {
    for (const int language : {0, 1}) {
        SCOPED_TRACE(language);
        Download download;
        const std::string title = GtkTest::Text(501, language);
        const std::string error = gui.Drive(
            [&](GuiDriver& g) {
                g.Screenshot(title, GuiDriver::ScreenshotPath(std::string("CRLProgressDialog-") +
                                                              (language == 0 ? "en" : "de") + ".png"));
                EXPECT_EQ(g.ButtonText(title, "cancel"), GtkTest::Text(169, language));
                g.ClickWidget(title, "cancel");
            },
            [&] { download.Window(language).Run(); });
        EXPECT_EQ(error, "");
    }
}
