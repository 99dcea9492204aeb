#include <gtest/gtest.h>

#include <cstdlib>
#include <future>
#include <string>
#include <vector>

#include "gtk/ChooseCertWindow.h"
#include "gtk/GtkUtil.h"
#include "gtk/ProgressWindow.h"
#include "gtk/StatusSigWindow.h"
#include "gtk/StatusWindow.h"
#include "gtk/WindowDescription.h"
#include "support/GuiDriver.h"
#include "support/TempDir.h"

namespace {

const char* const kHeader = "<?xml version=\"1.0\"?><interface>";

// Points the resources at a scratch folder for one scope.
class ResourceScope {
public:
    ResourceScope() : _old(std::getenv("PENDREL_RESOURCE_DIR") ? std::getenv("PENDREL_RESOURCE_DIR") : "") {
        ::setenv("PENDREL_RESOURCE_DIR", _dir.Path().c_str(), 1);
    }
    ~ResourceScope() { ::setenv("PENDREL_RESOURCE_DIR", _old.c_str(), 1); }
    ResourceScope(const ResourceScope&) = delete;
    ResourceScope& operator=(const ResourceScope&) = delete;
    void Write(const std::string& name, const std::string& text) const {
        TestSupport::WriteFile(_dir.File(name), text);
    }

private:
    TestSupport::TempDir _dir;
    std::string _old;
};

}  // namespace

TEST(WindowDescription, UnusableDescriptionsAreRefused) {
    GtkTest::GuiDriver gui;  // GTK needs its display
    ASSERT_TRUE(GtkUtil::WindowsAvailable());
    const ResourceScope resources;
    const struct {
        const char* what;
        const char* text;  // nullptr: no file
    } cases[] = {
        {"no file", nullptr},
        {"not XML", "this is not a window"},
        {"cut short", "<?xml version=\"1.0\"?><interface><object class=\"GtkWindow\" id=\"window\">"},
        {"no toplevel called window",
         "<?xml version=\"1.0\"?><interface><object class=\"GtkWindow\" id=\"other\"/>"
         "</interface>"},
        {"window is no window",
         "<?xml version=\"1.0\"?><interface><object class=\"GtkLabel\" id=\"window\"/>"
         "</interface>"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string name = std::string("Case") + std::to_string(&c - cases);
        if (c.text != nullptr) resources.Write(name + ".ui", c.text);
        EXPECT_EQ(GtkUtil::WindowDescription::Load(name, 0), nullptr);
    }
    resources.Write("Good.ui",
                    std::string(kHeader) +
                        "<object class=\"GtkWindow\" id=\"window\"><child><object class=\"GtkLabel\" "
                        "id=\"label\"/></child></object></interface>");
    const auto good = GtkUtil::WindowDescription::Load("Good", 0);
    ASSERT_NE(good, nullptr);
    EXPECT_NE(good->Widget("label"), nullptr);
    EXPECT_EQ(good->Widget("absent"), nullptr);
}

TEST(WindowDescription, WindowsWithoutUsableDescriptionsAnswerAtOnce) {
    GtkTest::GuiDriver gui;
    GtkTest::UseBuildResources();
    ASSERT_TRUE(GtkUtil::WindowsAvailable());
    const ResourceScope resources;  // holds no descriptions
    // A chooser whose table lacks its buttons cannot be answered by the user.
    resources.Write("ChooseCert.ui",
                    std::string(kHeader) +
                        "<object class=\"GtkListStore\" id=\"certList\"><columns><column "
                        "type=\"gchararray\"/></columns></object><object class=\"GtkWindow\" "
                        "id=\"window\"><child><object class=\"GtkTreeView\" id=\"tableView\"/>"
                        "</child></object></interface>");
    const std::vector<CertView> certs(2);
    EXPECT_EQ(ChooseCertWindow(certs, 0).Run(), -1);
    StatusSigWindow(StatusSigWindow::Codes{0, 0, 0}, 0).Run();
    const std::vector<SignatureView> signatures(1);
    StatusWindow(signatures, nullptr, 0).Run();
    std::promise<int> promise;
    promise.set_value(1);
    const std::shared_future<int> future = promise.get_future().share();
    EXPECT_TRUE(
        ProgressWindow(
            [&](std::chrono::milliseconds d) { return future.wait_for(d) == std::future_status::ready; },
            [] { return true; }, 0)
            .Run());
    EXPECT_FALSE(gui.Showing("Choose a certificate"));
}
