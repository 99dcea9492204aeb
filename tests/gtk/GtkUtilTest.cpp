#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <future>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "gtk/CertViewerWindow.h"
#include "gtk/ChooseCertWindow.h"
#include "gtk/GtkUtil.h"
#include "gtk/ProgressWindow.h"
#include "gtk/StatusSigWindow.h"
#include "gtk/StatusWindow.h"
#include "support/FakeXdgOpen.h"
#include "support/GuiDriver.h"
#include "support/TempDir.h"

namespace {

// Sets (or, with nullptr, removes) environment variables for one scope.
class EnvScope {
public:
    EnvScope(std::initializer_list<std::pair<const char*, const char*>> values) {
        for (const auto& [name, value] : values) {
            const char* old = std::getenv(name);
            _saved.push_back({name, old ? std::optional<std::string>(old) : std::nullopt});
            if (value != nullptr)
                ::setenv(name, value, 1);
            else
                ::unsetenv(name);
        }
    }
    ~EnvScope() {
        for (const auto& [name, value] : _saved) {
            if (value)
                ::setenv(name.c_str(), value->c_str(), 1);
            else
                ::unsetenv(name.c_str());
        }
    }
    EnvScope(const EnvScope&) = delete;
    EnvScope& operator=(const EnvScope&) = delete;

private:
    std::vector<std::pair<std::string, std::optional<std::string>>> _saved;
};

struct EnvCase {
    const char* what;
    const char* display;
    const char* wayland;
    const char* dialogs;
    bool wanted;
};

const EnvCase kEnvCases[] = {
    {"no display at all", nullptr, nullptr, nullptr, false},
    {"empty DISPLAY", "", nullptr, nullptr, false},
    {"X display", ":57", nullptr, nullptr, true},
    {"Wayland display", nullptr, "wayland-0", nullptr, true},
    {"PENDREL_DIALOGS=none with a display", ":57", "wayland-0", "none", false},
    {"PENDREL_DIALOGS other than none", ":57", nullptr, "all", true},
};

bool WaitEnded(const std::shared_future<int>& f, std::chrono::milliseconds d) {
    return f.wait_for(d) == std::future_status::ready;
}

bool HasResult(const std::shared_future<int>& f) {
    try {
        f.get();
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

}  // namespace

TEST(GtkUtil, WindowsWantedFollowsTheDisplayAndPendrelDialogs) {
    for (const EnvCase& c : kEnvCases) {
        SCOPED_TRACE(c.what);
        const EnvScope env{
            {"DISPLAY", c.display}, {"WAYLAND_DISPLAY", c.wayland}, {"PENDREL_DIALOGS", c.dialogs}};
        EXPECT_EQ(GtkUtil::WindowsWanted(), c.wanted);
    }
}

TEST(GtkUtil, WindowlessEveryWindowReturnsAtOnce) {
    GtkTest::UseBuildResources();
    for (const EnvCase& c : kEnvCases) {
        if (c.wanted) continue;
        SCOPED_TRACE(c.what);
        const EnvScope env{
            {"DISPLAY", c.display}, {"WAYLAND_DISPLAY", c.wayland}, {"PENDREL_DIALOGS", c.dialogs}};
        std::vector<CertView> certs(2);
        certs[0].subject = "Alice";
        EXPECT_EQ(ChooseCertWindow(certs, 0).Run(), -1);  // answered as cancelled
        StatusSigWindow(StatusSigWindow::Codes{0, 1, 2}, 0).Run();
        int asked = 0;
        const std::vector<SignatureView> signatures(1);
        StatusWindow(
            signatures,
            [&](size_t) {
                ++asked;
                return std::string("/tmp/x.pdf");
            },
            0)
            .Run();
        EXPECT_EQ(asked, 0);
        CertViewerWindow(certs[0], 0).Run();
    }
}

TEST(GtkUtil, WindowlessProgressWaitsForTheDownloadAndAnswersItsOutcome) {
    const EnvScope env{{"DISPLAY", nullptr}, {"WAYLAND_DISPLAY", nullptr}, {"PENDREL_DIALOGS", nullptr}};
    for (const bool delivers : {true, false}) {
        SCOPED_TRACE(delivers);
        std::promise<int> promise;
        const std::shared_future<int> future = promise.get_future().share();
        std::thread worker([&] {
            // The download ends on another thread, as the worker's does.
            if (delivers)
                promise.set_value(3);
            else
                promise.set_exception(std::make_exception_ptr(std::runtime_error("server gone")));
        });
        const ProgressWindow window([&](std::chrono::milliseconds d) { return WaitEnded(future, d); },
                                    [&] { return HasResult(future); }, 0);
        EXPECT_EQ(window.Run(), delivers);  // a failed download must not leave it waiting for ever
        worker.join();
    }
}

TEST(GtkUtil, OpenInViewerFailsWhenXdgOpenCannotBeStarted) {
    const TestSupport::TempDir empty;
    const EnvScope env{{"PATH", empty.Path().c_str()}};
    EXPECT_FALSE(GtkUtil::OpenInViewer("/tmp/some file.pdf"));
}

TEST(GtkUtil, OpenInViewerPassesThePathAsOneArgumentWithoutAShell) {
    const GtkTest::FakeXdgOpen opener;
    const std::string pwned = opener.Dir().File("pwned");
    const struct {
        std::string path;
        std::string received;
    } cases[] = {
        {"/tmp/PDFF1234.pdf", "/tmp/PDFF1234.pdf"},
        {"/tmp/a b/\"q\" 'r' $(touch " + pwned + ") `touch " + pwned + "`;touch " + pwned + " |x&.pdf",
         "/tmp/a b/\"q\" 'r' $(touch " + pwned + ") `touch " + pwned + "`;touch " + pwned + " |x&.pdf"},
        {"-rf.pdf", "./-rf.pdf"},  // never an option to the viewer
        {"--help", "./--help"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        opener.Reset();
        ASSERT_TRUE(GtkUtil::OpenInViewer(c.path));
        ASSERT_TRUE(opener.WaitOpened());
        EXPECT_EQ(TestSupport::ReadFile(opener.Record()), "1\n" + c.received);
    }
    EXPECT_FALSE(TestSupport::FileExists(pwned));
}

// In a child process of its own, so that GTK meets the unreachable display first.
TEST(GtkUtilDeathTest, AnUnreachableDisplayMeansNoWindows) {
    testing::FLAGS_gtest_death_test_style = "threadsafe";
    GtkTest::UseBuildResources();
    EXPECT_EXIT(
        {
            ::setenv("DISPLAY", ":65000", 1);
            ::unsetenv("WAYLAND_DISPLAY");
            ::setenv("GDK_BACKEND", "x11", 1);
            std::vector<CertView> certs(1);
            const bool cancelled = ChooseCertWindow(certs, 0).Run() == -1;
            StatusSigWindow(StatusSigWindow::Codes{0, 0, 0}, 0).Run();
            std::exit(cancelled && !GtkUtil::WindowsAvailable() ? 0 : 1);
        },
        testing::ExitedWithCode(0), "");
}
