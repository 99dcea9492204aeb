#include <gtest/gtest.h>

#include <string>

#include "common/Util.h"
#include "gtk/StatusSigWindow.h"
#include "support/GuiDriver.h"

namespace {

using GtkTest::GuiDriver;

std::string Icon(const char* name) {
    return std::string(PENDREL_RESOURCE_DIR) + "/" + name;
}
const std::string kOk = Icon("Pendrel_OK.png");
const std::string kBad = Icon("Pendrel_Bad.png");
const std::string kUnknown = Icon("Pendrel_Unknown.png");

struct Shown {
    std::string icon;  // empty: no icon
    int message;       // 0: no text
};

struct CodesCase {
    StatusSigWindow::Codes codes;
    Shown time, chain, crl;
};

const CodesCase kCases[] = {
    {{0, 1, 2}, {kOk, 128}, {kBad, 132}, {kUnknown, 136}},
    {{1, 2, 0}, {kBad, 129}, {kUnknown, 133}, {kOk, 134}},
    {{2, 0, 1}, {kUnknown, 130}, {kOk, 131}, {kBad, 135}},
    // A code outside 0..2 shows nothing for that check.
    {{0, 3, -1}, {kOk, 128}, {"", 0}, {"", 0}},
};

class StatusSigWindowTest : public testing::Test {
protected:
    void SetUp() override { GtkTest::UseBuildResources(); }
    GuiDriver gui;
};

}  // namespace

TEST_F(StatusSigWindowTest, EachCheckShowsTheIconAndTextOfItsCode) {
    const std::string title = GtkTest::Text(165);
    for (const CodesCase& c : kCases) {
        SCOPED_TRACE(std::to_string(c.codes.time) + "/" + std::to_string(c.codes.chain) + "/" +
                     std::to_string(c.codes.crl));
        const struct {
            const char* image;
            const char* label;
            Shown expected;
        } checks[] = {{"timeImg", "timeLabel", c.time},
                      {"chainImg", "chainLabel", c.chain},
                      {"crlImg", "crlLabel", c.crl}};
        const std::string error = gui.Drive(
            [&](GuiDriver& g) {
                g.WaitForWindow(title);
                for (const auto& check : checks) {
                    SCOPED_TRACE(check.label);
                    if (check.expected.icon.empty()) {
                        EXPECT_TRUE(g.ImageEmpty(title, check.image));
                        EXPECT_EQ(g.LabelText(title, check.label), "");
                    } else {
                        EXPECT_TRUE(g.ImageShows(title, check.image, check.expected.icon));
                        EXPECT_EQ(g.LabelText(title, check.label), GtkTest::Text(check.expected.message));
                    }
                }
                g.ClickWidget(title, "okButton");
            },
            [&] { StatusSigWindow(c.codes, 0).Run(); });
        EXPECT_EQ(error, "");
    }
}

TEST_F(StatusSigWindowTest, WithoutACertificateShowsTheDescriptionsTextsAndClosesByCloseBox) {
    const std::string title = "Signature status";  // the description's own title, not message 1165
    std::string time;
    const std::string error = gui.Drive(
        [&](GuiDriver& g) {
            time = g.LabelText(title, "timeLabel");
            g.CloseBox(g.WaitForWindow(title));
        },
        [&] { StatusSigWindow(std::nullopt, 1).Run(); });
    EXPECT_EQ(error, "");
    EXPECT_EQ(time, "");
}

TEST_F(StatusSigWindowTest, ScreenshotsInBothLanguages) {
    for (const int language : {0, 1}) {
        SCOPED_TRACE(language);
        const std::string title = GtkTest::Text(165, language);
        const std::string error = gui.Drive(
            [&](GuiDriver& g) {
                g.Screenshot(title, GuiDriver::ScreenshotPath(std::string("StatusSigDlg-") +
                                                              (language == 0 ? "en" : "de") + ".png"));
                EXPECT_EQ(g.LabelText(title, "chainLabel"), GtkTest::Text(132, language));
                g.ClickWidget(title, "okButton");
            },
            [&] {
                StatusSigWindow(StatusSigWindow::Codes{0, 1, 2}, language).Run();
            });
        EXPECT_EQ(error, "");
    }
}

TEST_F(StatusSigWindowTest, AWebPageIsNamedOnTop) {
    for (const int language : {0, 1}) {
        SCOPED_TRACE(language);
        const std::string title = GtkTest::Text(165, language);
        bool shown = false;
        std::string line;
        const std::string error = gui.Drive(
            [&](GuiDriver& g) {
                shown = g.Visible(title, "requestedBy");
                line = g.LabelText(title, "requestedBy");
                g.ClickWidget(title, "okButton");
            },
            [&] { StatusSigWindow(StatusSigWindow::Codes{0, 0, 2}, language, "https://shop.example.test").Run(); });
        ASSERT_EQ(error, "");
        EXPECT_TRUE(shown);
        EXPECT_EQ(line, std::string(language == 0 ? "Requested by" : "Angefordert von") +
                            " https://shop.example.test");
    }
    // A local page's window has no such line.
    const std::string title = GtkTest::Text(165);
    bool shown = true;
    const std::string error = gui.Drive(
        [&](GuiDriver& g) {
            shown = g.Visible(title, "requestedBy");
            g.ClickWidget(title, "okButton");
        },
        [&] { StatusSigWindow(StatusSigWindow::Codes{0, 0, 2}, 0).Run(); });
    ASSERT_EQ(error, "");
    EXPECT_FALSE(shown);
}
