#include <gtest/gtest.h>

#include <ctime>
#include <string>
#include <vector>

#include "common/Util.h"
#include "gtk/ChooseCertWindow.h"
#include "support/GuiDriver.h"

namespace {

using GtkTest::GuiDriver;

std::time_t LocalNoon(int day, int month, int year) {
    std::tm t{};
    t.tm_mday = day;
    t.tm_mon = month - 1;
    t.tm_year = year - 1900;
    t.tm_hour = 12;
    t.tm_isdst = -1;
    return std::mktime(&t);
}

std::vector<CertView> Candidates() {
    std::vector<CertView> certs(3);
    certs[0].subject = "Alice Example";
    certs[0].issuer = "Example Issuing CA";
    certs[0].serialDecimal = "4660";  // 0x1234
    certs[0].serialHex = "1234";
    certs[0].notAfter = LocalNoon(5, 3, 2031);
    certs[0].subjectDN = "CN=Alice Example,O=Example Org,C=DE";
    certs[0].issuerDN = "CN=Example Issuing CA,O=Example Org,C=DE";
    certs[0].notBefore = LocalNoon(1, 2, 2024);
    certs[0].sha1 = "a9993e364706816aba3e25717850c26c9cd0d89d";
    certs[0].sha256 = "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";
    certs[0].keyType = "RSA";
    certs[0].keyBits = 2048;
    certs[0].keyUsage = {"digitalSignature", "nonRepudiation"};
    certs[0].crlDistributionPoints = {"http://crl.example.test/ca.crl",
                                      "ldap://ldap.example.test/cn=CA,o=Example?certificateRevocationList"};
    certs[1].subject = "Bob Beispiel";
    certs[1].issuer = "Beispiel Root CA";
    certs[1].serialDecimal = "1";
    certs[1].notAfter = LocalNoon(31, 12, 2029);
    certs[2].subject = "Carol Müller";
    certs[2].issuer = "Example Issuing CA";
    certs[2].serialDecimal = "340282366920938463463374607431768211455";
    certs[2].notAfter = LocalNoon(1, 1, 2030);
    return certs;
}

std::string Title(int language = 0) {
    return GtkTest::Text(163, language);
}

std::vector<std::string> Row(GuiDriver& gui, int row) {
    return gui.OnGui([&] {
        GtkTreeModel* model =
            gtk_tree_view_get_model(GTK_TREE_VIEW(GuiDriver::FindWidget(Title(), "tableView")));
        GtkTreeIter iter;
        std::vector<std::string> cells;
        if (!gtk_tree_model_iter_nth_child(model, &iter, nullptr, row)) return cells;
        for (int column = 0; column < 4; ++column) {
            gchar* text = nullptr;
            gtk_tree_model_get(model, &iter, column, &text, -1);
            cells.push_back(text != nullptr ? text : "");
            g_free(text);
        }
        return cells;
    });
}

class ChooseCertWindowTest : public testing::Test {
protected:
    void SetUp() override { GtkTest::UseBuildResources(); }
    GuiDriver gui;
    const std::vector<CertView> certs = Candidates();
};

}  // namespace

TEST_F(ChooseCertWindowTest, RowsShowSubjectIssuerExpiryAndDecimalSerial) {
    long answer = -2;
    std::vector<std::vector<std::string>> rows;
    const std::string error = gui.Drive(
        [&](GuiDriver& g) {
            g.WaitForWindow(Title());
            for (int row = 0; row < 4; ++row) rows.push_back(Row(g, row));
            g.ClickWidget(Title(), "cancelButton");
        },
        [&] { answer = ChooseCertWindow(certs, 0).Run(); });
    ASSERT_EQ(error, "");
    EXPECT_EQ(answer, -1);
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[0],
              (std::vector<std::string>{"Alice Example", "Example Issuing CA", "05.03.2031", "4660"}));
    EXPECT_EQ(rows[1], (std::vector<std::string>{"Bob Beispiel", "Beispiel Root CA", "31.12.2029", "1"}));
    EXPECT_EQ(rows[2], (std::vector<std::string>{"Carol Müller", "Example Issuing CA", "01.01.2030",
                                                 "340282366920938463463374607431768211455"}));
    EXPECT_TRUE(rows[3].empty());
}

// Each case: what the user does, and what the chooser answers.
struct SelectionCase {
    const char* what;
    std::function<void(GuiDriver&)> steps;
    long answer;
};

TEST_F(ChooseCertWindowTest, AnswersPerTheUsersChoice) {
    const std::string t = Title();
    const SelectionCase cases[] = {
        {"row then OK",
         [&](GuiDriver& g) {
             g.ClickRow(t, "tableView", 1);
             g.ClickWidget(t, "okButton");
         },
         1},
        // The first OK must leave the window open, or the later row and OK are never seen.
        {"OK without a row, then row and OK",
         [&](GuiDriver& g) {
             g.ClickWidget(t, "okButton");
             g.ClickRow(t, "tableView", 2);
             g.ClickWidget(t, "okButton");
         },
         2},
        {"double-click on a row", [&](GuiDriver& g) { g.ClickRow(t, "tableView", 2, 2); }, 2},
        {"double-click on the first row", [&](GuiDriver& g) { g.ClickRow(t, "tableView", 0, 2); }, 0},
        {"double-click on a column header", [&](GuiDriver& g) { g.ClickHeader(t, "tableView", 1, 2); }, -1},
        {"row then Cancel",
         [&](GuiDriver& g) {
             g.ClickRow(t, "tableView", 1);
             g.ClickWidget(t, "cancelButton");
         },
         -1},
        {"row then Escape",
         [&](GuiDriver& g) {
             g.ClickRow(t, "tableView", 1);
             g.PressKey(t, "tableView", "Escape");
         },
         -1},
        {"row then the close box",
         [&](GuiDriver& g) {
             g.ClickRow(t, "tableView", 1);
             g.CloseBox(g.WaitForWindow(t));
         },
         -1},
    };
    for (const SelectionCase& c : cases) {
        SCOPED_TRACE(c.what);
        long answer = -2;
        const std::string error = gui.Drive(c.steps, [&] { answer = ChooseCertWindow(certs, 0).Run(); });
        ASSERT_EQ(error, "");
        EXPECT_EQ(answer, c.answer);
    }
}

TEST_F(ChooseCertWindowTest, EmptyListOkDoesNothingCancelAnswersNone) {
    const std::vector<CertView> none;
    long answer = -2;
    const std::string error = gui.Drive(
        [&](GuiDriver& g) {
            g.ClickWidget(Title(), "okButton");
            g.ClickWidget(Title(), "showCertButton");
            if (!g.Showing(Title())) throw std::runtime_error("OK closed the empty chooser");
            g.ClickWidget(Title(), "cancelButton");
        },
        [&] { answer = ChooseCertWindow(none, 0).Run(); });
    ASSERT_EQ(error, "");
    EXPECT_EQ(answer, -1);
}

TEST_F(ChooseCertWindowTest, ShowCertificateOpensTheViewerForTheSelectedRow) {
    const std::string viewer = GtkTest::Text(164);
    std::string serial, sha1, subjectDN, key, usage, crl;
    long answer = -2;
    const std::string error = gui.Drive(
        [&](GuiDriver& g) {
            g.ClickRow(Title(), "tableView", 0);
            g.ClickWidget(Title(), "showCertButton");
            g.WaitForWindow(viewer);
            serial = g.LabelText(viewer, "textSerial");
            sha1 = g.LabelText(viewer, "textSha1");
            subjectDN = g.LabelText(viewer, "textSubjectDN");
            key = g.LabelText(viewer, "textKey");
            usage = g.LabelText(viewer, "textKeyUsage");
            crl = g.LabelText(viewer, "textCrl");
            g.Screenshot(viewer, GuiDriver::ScreenshotPath("CertViewer-en.png"));
            g.ClickWidget(viewer, "buttonOk");
            g.ClickWidget(Title(), "cancelButton");
        },
        [&] { answer = ChooseCertWindow(certs, 0).Run(); });
    ASSERT_EQ(error, "");
    EXPECT_EQ(answer, -1);
    EXPECT_EQ(serial, "4660 (hex 12 34)");
    EXPECT_EQ(sha1, "A9:99:3E:36:47:06:81:6A:BA:3E:25:71:78:50:C2:6C\n9C:D0:D8:9D");
    EXPECT_EQ(subjectDN, "CN=Alice Example,O=Example Org,C=DE");
    EXPECT_EQ(key, "RSA, 2048 bits");
    EXPECT_EQ(usage, "digitalSignature, nonRepudiation");
    EXPECT_EQ(crl, certs[0].crlDistributionPoints[0] + "\n" + certs[0].crlDistributionPoints[1]);
}

TEST_F(ChooseCertWindowTest, ScreenshotsInBothLanguages) {
    for (const int language : {0, 1}) {
        SCOPED_TRACE(language);
        const std::string suffix = language == 0 ? "en" : "de";
        const std::string title = Title(language);
        const std::string viewer = GtkTest::Text(164, language);
        std::string header;
        const std::string error = gui.Drive(
            [&](GuiDriver& g) {
                header = g.OnGui([&] {
                    GtkTreeView* view = GTK_TREE_VIEW(GuiDriver::FindWidget(title, "tableView"));
                    return std::string(gtk_tree_view_column_get_title(gtk_tree_view_get_column(view, 3)));
                });
                g.ClickRow(title, "tableView", 2);
                g.Screenshot(title, GuiDriver::ScreenshotPath("ChooseCert-" + suffix + ".png"));
                g.ClickRow(title, "tableView", 0);
                g.ClickWidget(title, "showCertButton");
                g.Screenshot(viewer, GuiDriver::ScreenshotPath("CertViewer-" + suffix + ".png"));
                g.CloseBox(g.WaitForWindow(viewer));
                g.ClickWidget(title, "cancelButton");
            },
            [&] { ChooseCertWindow(certs, language).Run(); });
        ASSERT_EQ(error, "");
        EXPECT_EQ(header, language == 0 ? "Serial number" : "Seriennummer");
    }
}

TEST_F(ChooseCertWindowTest, AWebPageIsNamedAboveTheList) {
    const struct {
        int language;
        std::string origin;
        bool shown;
        std::string line;
    } cases[] = {
        {0, "https://shop.example.test", true, "Requested by https://shop.example.test"},
        {1, "http://127.0.0.1:8123", true, "Angefordert von http://127.0.0.1:8123"},
        {0, "", false, ""},  // a local page
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        const std::string title = Title(c.language);
        bool shown = !c.shown;
        std::string line;
        const std::string error = gui.Drive(
            [&](GuiDriver& g) {
                shown = g.Visible(title, "requestedBy");
                line = g.LabelText(title, "requestedBy");
                if (c.shown)
                    g.Screenshot(title, GuiDriver::ScreenshotPath(std::string("ChooseCert-web-") +
                                                                    (c.language == 0 ? "en" : "de") + ".png"));
                g.ClickWidget(title, "cancelButton");
            },
            [&] { ChooseCertWindow(certs, c.language, c.origin).Run(); });
        ASSERT_EQ(error, "");
        EXPECT_EQ(shown, c.shown);
        if (c.shown) {
            EXPECT_EQ(line, c.line);
        }
    }
}
