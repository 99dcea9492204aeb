#include <gtest/gtest.h>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <vector>

#include "common/Util.h"
#include "gtk/StatusWindow.h"
#include "support/FakeXdgOpen.h"
#include "support/GuiDriver.h"
#include "support/TempDir.h"

namespace {

using GtkTest::GuiDriver;

std::string Icon(const char* name) {
    return std::string(PENDREL_RESOURCE_DIR) + "/" + name;
}
const std::string kOk = Icon("Pendrel_OK.png");
const std::string kBad = Icon("Pendrel_Bad.png");
const std::string kUnknown = Icon("Pendrel_Unknown.png");

SignatureView Signature(const std::string& name, const std::string& status, int code, std::time_t when) {
    SignatureView s;
    s.name = name;
    s.signer = "Signer of " + name;
    s.reason = name == "Sig2"
                   ? "Reason of Sig2, long enough to need more than one line: approved by the board of "
                     "directors after the review of all contract annexes"
                   : "Reason of " + name;
    s.location = "Location of " + name;
    s.contact = "contact-" + name + "@example.test";
    s.signingTime = when;
    s.certStatus = status;
    s.code = code;
    s.cert.subject = "Subject of " + name;
    s.cert.issuer = "Issuer of " + name;
    s.cert.serialDecimal = name == "Sig1" ? "4660" : "255";
    s.cert.serialHex = name == "Sig1" ? "1234" : "ff";
    return s;
}

// ctime's text without its newline, made here from the parts of the local time.
std::string CtimeText(std::time_t when) {
    static const char* const days[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static const char* const months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    std::tm t{};
    localtime_r(&when, &t);
    char text[64];
    std::snprintf(text, sizeof text, "%s %s %2d %02d:%02d:%02d %d", days[t.tm_wday], months[t.tm_mon],
                  t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec, t.tm_year + 1900);
    return text;
}

struct Check {
    const char* image;
    const char* label;
    std::string icon;
    int message;
};

struct Details {
    std::string signer, reason, location, contact, time, serial, subject, issuer;
};

Details Read(GuiDriver& g, const std::string& title) {
    return {g.LabelText(title, "textSigner"),      g.LabelText(title, "textReason"),
            g.LabelText(title, "textLocation"),    g.LabelText(title, "textContact"),
            g.LabelText(title, "textSigningTime"), g.LabelText(title, "textSerial"),
            g.LabelText(title, "textSubject"),     g.LabelText(title, "textIssuer")};
}

void ExpectDetails(const Details& d, const SignatureView& s, const std::string& time) {
    EXPECT_EQ(d.signer, s.signer);
    EXPECT_EQ(d.reason, s.reason);
    EXPECT_EQ(d.location, s.location);
    EXPECT_EQ(d.contact, s.contact);
    EXPECT_EQ(d.time, time);
    EXPECT_EQ(d.serial, s.cert.serialDecimal);
    EXPECT_EQ(d.subject, s.cert.subject);
    EXPECT_EQ(d.issuer, s.cert.issuer);
}

void ExpectChecks(GuiDriver& g, const std::string& title, const std::vector<Check>& checks) {
    for (const Check& c : checks) {
        SCOPED_TRACE(c.label);
        EXPECT_TRUE(g.ImageShows(title, c.image, c.icon));
        EXPECT_EQ(g.LabelText(title, c.label), GtkTest::Text(c.message));
    }
}

int Active(GuiDriver& g, const std::string& title) {
    return g.OnGui(
        [&] { return gtk_combo_box_get_active(GTK_COMBO_BOX(GuiDriver::FindWidget(title, "comboSelect"))); });
}

// Moves the drop-down to the next signature with the keyboard and waits until it shows `index`.
void SelectNext(GuiDriver& g, const std::string& title, int index) {
    g.PressKey(title, "comboSelect", "Down");
    g.WaitUntil(
        [&] {
            return gtk_combo_box_get_active(GTK_COMBO_BOX(GuiDriver::FindWidget(title, "comboSelect"))) ==
                   index;
        },
        "signature " + std::to_string(index));
}

class StatusWindowTest : public testing::Test {
protected:
    void SetUp() override { GtkTest::UseBuildResources(); }
    GuiDriver gui;
    const std::time_t when = 1700000000;
    const std::vector<SignatureView> signatures = {Signature("Sig1", "1X1X", 0, when),
                                                   Signature("Sig2", "01X1", 1, -1),
                                                   Signature("Sig3", "X0X0", 2, when + 3600)};
};

}  // namespace

TEST_F(StatusWindowTest, DropDownSwitchesTheShownSignatureWithItsChecks) {
    const std::string title = GtkTest::Text(165);
    std::vector<std::string> names;
    const std::string error = gui.Drive(
        [&](GuiDriver& g) {
            g.WaitForWindow(title);
            names = g.OnGui([&] {
                std::vector<std::string> found;
                GtkTreeModel* model =
                    gtk_combo_box_get_model(GTK_COMBO_BOX(GuiDriver::FindWidget(title, "comboSelect")));
                GtkTreeIter iter;
                for (bool more = gtk_tree_model_get_iter_first(model, &iter); more;
                     more = gtk_tree_model_iter_next(model, &iter)) {
                    gchar* text = nullptr;
                    gtk_tree_model_get(model, &iter, 0, &text, -1);
                    found.push_back(text ? text : "");
                    g_free(text);
                }
                return found;
            });
            EXPECT_EQ(Active(g, title), 0);
            ExpectDetails(Read(g, title), signatures[0], CtimeText(when));
            ExpectChecks(g, title,
                         {{"imageTime", "textTime", kOk, 128},
                          {"imageChain", "textChain", kUnknown, 133},
                          {"imageSig", "textSig", kOk, 137},
                          {"imageCrl", "textCrl", kUnknown, 136}});

            SelectNext(g, title, 1);
            ExpectDetails(Read(g, title), signatures[1], "Unknown");
            ExpectChecks(g, title,
                         {{"imageTime", "textTime", kBad, 129},
                          {"imageChain", "textChain", kOk, 131},
                          {"imageSig", "textSig", kBad, 138},
                          {"imageCrl", "textCrl", kOk, 134}});

            SelectNext(g, title, 2);
            ExpectDetails(Read(g, title), signatures[2], CtimeText(when + 3600));
            ExpectChecks(g, title,
                         {{"imageTime", "textTime", kUnknown, 130},
                          {"imageChain", "textChain", kBad, 132},
                          {"imageSig", "textSig", kUnknown, 138},
                          {"imageCrl", "textCrl", kBad, 135}});
            g.ClickWidget(title, "buttonOk");
        },
        [&] { StatusWindow(signatures, nullptr, 0).Run(); });
    ASSERT_EQ(error, "");
    EXPECT_EQ(names, (std::vector<std::string>{"Sig1", "Sig2", "Sig3"}));
}

TEST_F(StatusWindowTest, EntryWithoutSignerCertificateKeepsThePreviousDetails) {
    std::vector<SignatureView> list = signatures;
    list[1].hasSignerCert = false;
    const std::string title = GtkTest::Text(165);
    const std::string error = gui.Drive(
        [&](GuiDriver& g) {
            SelectNext(g, title, 1);
            ExpectDetails(Read(g, title), list[0], CtimeText(when));
            EXPECT_EQ(g.LabelText(title, "textSig"), GtkTest::Text(137));
            g.CloseBox(g.WaitForWindow(title));
        },
        [&] { StatusWindow(list, nullptr, 0).Run(); });
    ASSERT_EQ(error, "");
}

TEST_F(StatusWindowTest, ViewVersionHandsTheChosenRevisionToXdgOpenAsOneArgument) {
    const GtkTest::FakeXdgOpen opener;
    // Shell syntax in the path must reach the viewer unchanged and run nothing.
    const std::string pwned = opener.Dir().File("pwned");
    const std::string path = opener.Dir().File("rev 2 \"quoted\" 'single' $(touch " + pwned + ") `touch " +
                                               pwned + "` ; touch " + pwned + ".pdf");
    std::vector<size_t> asked;
    const auto versionFile = [&](size_t index) {
        asked.push_back(index);
        return index == 1 ? path : std::string("/nonexistent/wrong.pdf");
    };
    const std::string title = GtkTest::Text(165);
    bool opened = false;
    const std::string error = gui.Drive(
        [&](GuiDriver& g) {
            SelectNext(g, title, 1);
            g.ClickWidget(title, "btnViewVersion");
            opened = opener.WaitOpened();
            g.ClickWidget(title, "buttonOk");
        },
        [&] { StatusWindow(signatures, versionFile, 0).Run(); });
    ASSERT_EQ(error, "");
    ASSERT_TRUE(opened);
    EXPECT_EQ(asked, std::vector<size_t>{1});
    EXPECT_EQ(TestSupport::ReadFile(opener.Record()), "1\n" + path);
    EXPECT_FALSE(TestSupport::FileExists(pwned));
}

TEST_F(StatusWindowTest, ViewVersionWithoutARevisionFileOpensNothing) {
    const GtkTest::FakeXdgOpen opener;
    int asked = 0;
    const std::string title = GtkTest::Text(165);
    const std::string error = gui.Drive(
        [&](GuiDriver& g) {
            g.ClickWidget(title, "btnViewVersion");
            g.WaitUntil([&] { return asked == 1; }, "the revision request");
            g.ClickWidget(title, "buttonOk");
        },
        [&] {
            const StatusWindow::VersionFile versionFile = [&](size_t) {
                ++asked;
                return std::string();
            };
            StatusWindow(signatures, versionFile, 0).Run();
        });
    ASSERT_EQ(error, "");
    EXPECT_FALSE(TestSupport::FileExists(opener.Record()));
}

TEST_F(StatusWindowTest, NoSignaturesShowsAnEmptyListAndTheButtonsDoNothing) {
    const std::vector<SignatureView> none;
    int asked = 0;
    const std::string title = GtkTest::Text(165);
    std::string signer = "unset";
    const std::string error = gui.Drive(
        [&](GuiDriver& g) {
            g.ClickWidget(title, "btnViewVersion");
            g.ClickWidget(title, "buttonShowCertificate");
            EXPECT_EQ(Active(g, title), -1);
            signer = g.LabelText(title, "textSigner");
            if (!g.Showing(title)) throw std::runtime_error("the window closed");
            g.ClickWidget(title, "buttonOk");
        },
        [&] {
            const StatusWindow::VersionFile versionFile = [&](size_t) {
                ++asked;
                return std::string("/x.pdf");
            };
            StatusWindow(none, versionFile, 0).Run();
        });
    ASSERT_EQ(error, "");
    EXPECT_EQ(asked, 0);
    EXPECT_EQ(signer, "");
}

TEST_F(StatusWindowTest, ShowCertificateOpensTheSignersCertificate) {
    const std::string title = GtkTest::Text(165);
    const std::string viewer = GtkTest::Text(164);
    std::string serial;
    const std::string error = gui.Drive(
        [&](GuiDriver& g) {
            g.ClickWidget(title, "buttonShowCertificate");
            serial = g.LabelText(viewer, "textSerial");
            g.ClickWidget(viewer, "buttonOk");
            g.ClickWidget(title, "buttonOk");
        },
        [&] { StatusWindow(signatures, nullptr, 0).Run(); });
    ASSERT_EQ(error, "");
    EXPECT_EQ(serial, "4660 (hex 12 34)");
}

TEST_F(StatusWindowTest, ScreenshotsInBothLanguages) {
    for (const int language : {0, 1}) {
        SCOPED_TRACE(language);
        const std::string title = GtkTest::Text(165, language);
        const std::string error = gui.Drive(
            [&](GuiDriver& g) {
                SelectNext(g, title, 1);
                g.Screenshot(title, GuiDriver::ScreenshotPath(std::string("StatusDlg-") +
                                                              (language == 0 ? "en" : "de") + ".png"));
                EXPECT_EQ(g.LabelText(title, "labelSigningTime"), GtkTest::Text(207, language));
                g.ClickWidget(title, "buttonOk");
            },
            [&] { StatusWindow(signatures, nullptr, language).Run(); });
        EXPECT_EQ(error, "");
    }
}

TEST(StatusWindow, SigningTimeIsUnknownForMinusOneElseCtimeWithoutNewline) {
    EXPECT_EQ(StatusWindow::FormatSigningTime(-1), "Unknown");
    for (const std::time_t t : {std::time_t{0}, std::time_t{1700000000}, std::time_t{951782400}}) {
        SCOPED_TRACE(t);
        EXPECT_EQ(StatusWindow::FormatSigningTime(t), CtimeText(t));
    }
}
