#include <gtest/gtest.h>

#include <algorithm>
#include <ctime>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "common/Util.h"
#include "crypto/Certificate.h"
#include "crypto/KeyUsage.h"
#include "crypto/openssl/CertStoreFile.h"
#include "gtk/ChooseCertDlgGtk.h"
#include "support/GuiDriver.h"
#include "support/Process.h"
#include "support/ScopedEnv.h"
#include "support/SoftHsm.h"
#include "support/TestPKI.h"

namespace {

using GtkTest::GuiDriver;
using TestSupport::TestPKI;
using Row = std::vector<std::string>;

std::string Title(int language = 0) {
    return GtkTest::Text(163, language);
}

std::vector<Row> Rows(GuiDriver& gui, int language = 0) {
    return gui.OnGui([language] {
        GtkTreeModel* model =
            gtk_tree_view_get_model(GTK_TREE_VIEW(GuiDriver::FindWidget(Title(language), "tableView")));
        std::vector<Row> rows;
        GtkTreeIter iter;
        for (bool more = gtk_tree_model_get_iter_first(model, &iter); more;
             more = gtk_tree_model_iter_next(model, &iter)) {
            Row cells;
            for (int column = 0; column < gtk_tree_model_get_n_columns(model); ++column) {
                gchar* text = nullptr;
                gtk_tree_model_get(model, &iter, column, &text, -1);
                cells.push_back(text != nullptr ? text : "");
                g_free(text);
            }
            rows.push_back(cells);
        }
        return rows;
    });
}

// The serial of the test PKI ("10 07") in decimal.
std::string Decimal(std::string hex) {
    hex.erase(std::remove(hex.begin(), hex.end(), ' '), hex.end());
    return std::to_string(std::stoull(hex, nullptr, 16));
}

// The local expiry date "dd.mm.yyyy" of the notAfter that `openssl x509` reports.
std::string ExpiryFromOpenSSL(const std::string& pem) {
    std::string out;
    EXPECT_EQ(TestSupport::RunProgram({"openssl", "x509", "-in", pem, "-noout", "-enddate"}, &out), 0);
    std::tm gmt{};
    if (strptime(out.c_str(), "notAfter=%b %d %H:%M:%S %Y GMT", &gmt) == nullptr) return "unparsed " + out;
    const std::time_t when = timegm(&gmt);
    std::tm local{};
    localtime_r(&when, &local);
    char text[48];
    std::snprintf(text, sizeof text, "%02d.%02d.%04d", local.tm_mday, local.tm_mon + 1, local.tm_year + 1900);
    return text;
}

const Row* FindSerial(const std::vector<Row>& rows, const std::string& serial) {
    for (const Row& row : rows)
        if (row[3] == serial) return &row;
    return nullptr;
}

class ChooseCertDlgGtkTest : public testing::Test {
protected:
    void SetUp() override {
        GtkTest::UseBuildResources();
        ASSERT_TRUE(store.Open(Crypto::CertStore::Personal));
        store.SetCheckTimeValidity(true);
    }
    GuiDriver gui;
    const TestPKI& pki = TestPKI::Shared();
    TestSupport::ScopedEnv keychain{"PENDREL_KEYCHAIN", pki.Keychain().c_str()};
    Crypto::CertStoreFile store;
};

}  // namespace

TEST_F(ChooseCertDlgGtkTest, OffersTheKeychainsIdentitiesAndAnswersTheChosenRow) {
    ChooseCertDlgGtk dialog;
    dialog.AddStore(&store);
    const std::string signerSerial = Decimal(pki.Get(TestPKI::Signer).serialHex);
    std::vector<Row> rows;
    bool answer = false;
    const std::string error = gui.Drive(
        [&](GuiDriver& g) {
            g.WaitForWindow(Title());
            rows = Rows(g);
            int row = 0;
            while (row < static_cast<int>(rows.size()) && rows[row][3] != signerSerial) ++row;
            if (row == static_cast<int>(rows.size())) throw std::runtime_error("no row of the signer");
            g.ClickRow(Title(), "tableView", row);
            g.ClickWidget(Title(), "okButton");
        },
        [&] { answer = dialog.Show(); });
    ASSERT_EQ(error, "");
    ASSERT_TRUE(answer);
    ASSERT_EQ(rows.size(), dialog.Candidates().size());
    ASSERT_GE(dialog.SelectedIndex(), 0);
    EXPECT_EQ(rows[dialog.SelectedIndex()][3], signerSerial);
    EXPECT_EQ(dialog.Candidates()[dialog.SelectedIndex()]->SerialNumber().str(), signerSerial);

    const Row* signer = FindSerial(rows, signerSerial);
    ASSERT_NE(signer, nullptr);
    EXPECT_EQ((*signer)[0], "Pendrel Test Signer");
    EXPECT_EQ((*signer)[1], "Pendrel Test CA Unit");  // the issuer's unit comes before its common name
    EXPECT_EQ((*signer)[2], ExpiryFromOpenSSL(pki.Get(TestPKI::Signer).certPem));
    // The time policy keeps the expired identity out.
    EXPECT_EQ(FindSerial(rows, Decimal(pki.Get(TestPKI::Expired).serialHex)), nullptr);
}

TEST_F(ChooseCertDlgGtkTest, TheListBuiltOnceStaysAfterPoliciesChange) {
    ChooseCertDlgGtk dialog;
    dialog.AddStore(&store);
    std::vector<Row> first, second;
    bool answer = false;
    std::string error = gui.Drive(
        [&](GuiDriver& g) {
            g.WaitForWindow(Title());
            first = Rows(g);
            g.ClickRow(Title(), "tableView", 1);
            g.ClickWidget(Title(), "okButton");
        },
        [&] { answer = dialog.Show(); });
    ASSERT_EQ(error, "");
    ASSERT_TRUE(answer);
    EXPECT_EQ(dialog.SelectedIndex(), 1);

    store.SetCheckTimeValidity(false);
    store.SetKeyUsage(Crypto::KeyUsage::KeyEncipherment);
    error = gui.Drive(
        [&](GuiDriver& g) {
            g.WaitForWindow(Title());
            second = Rows(g);
            g.ClickRow(Title(), "tableView", 0);
            g.ClickWidget(Title(), "cancelButton");
        },
        [&] { answer = dialog.Show(); });
    ASSERT_EQ(error, "");
    EXPECT_FALSE(answer);
    EXPECT_EQ(dialog.SelectedIndex(), 1);  // a cancel keeps the previous choice
    EXPECT_EQ(second, first);

    // A new chooser under the changed policies offers another list, so the
    // first one really was kept rather than rebuilt alike.
    const TestSupport::ScopedEnv none("PENDREL_DIALOGS", "none");
    ChooseCertDlgGtk fresh;
    fresh.AddStore(&store);
    EXPECT_FALSE(fresh.Show());
    EXPECT_NE(fresh.Candidates(), dialog.Candidates());
}

TEST_F(ChooseCertDlgGtkTest, WithoutWindowsAnswersCancelled) {
    const TestSupport::ScopedEnv none("PENDREL_DIALOGS", "none");
    ChooseCertDlgGtk dialog;
    dialog.AddStore(&store);
    EXPECT_FALSE(dialog.Show());
    EXPECT_EQ(dialog.SelectedIndex(), -1);
}

TEST_F(ChooseCertDlgGtkTest, ScreenshotsInBothLanguages) {
    ChooseCertDlgGtk dialog;
    dialog.AddStore(&store);
    for (const int language : {0, 1}) {
        SCOPED_TRACE(language);
        const std::string error = gui.Drive(
            [&](GuiDriver& g) {
                g.ClickRow(Title(language), "tableView", 0);
                g.Screenshot(Title(language),
                             GuiDriver::ScreenshotPath(std::string("ChooseCertDlgGtk-") +
                                                       (language == 0 ? "en" : "de") + ".png"));
                g.ClickWidget(Title(language), "cancelButton");
            },
            [&] {
                dialog.SetLanguage(language);
                dialog.Show();
            });
        EXPECT_EQ(error, "");
    }
}

// Identities of the keychain folder and of two tokens in one list: the last
// column names where each key lives, and the viewer says it too.
TEST_F(ChooseCertDlgGtkTest, ListsFolderAndTokenIdentitiesWithTheTokensLabel) {
    TestSupport::SoftHsm hsm;
    hsm.AddToken("Pendrel Token A");
    hsm.Import("Pendrel Token A", pki.Get(TestPKI::ECSigner), "01", "ec");
    hsm.AddToken("Pendrel Card B");
    hsm.Import("Pendrel Card B", pki.Get(TestPKI::Signer), "01", "signer");
    TestSupport::TempDir folder;
    std::filesystem::create_directory(folder.File("identities"));
    std::filesystem::copy_file(pki.Get(TestPKI::Signer).p12, folder.File("identities/signer.p12"));
    std::filesystem::copy_file(pki.Get(TestPKI::SignerPem).p12, folder.File("identities/pem.pem"));
    Crypto::CertStoreFile mixed(folder.Path());
    ASSERT_TRUE(mixed.Open(Crypto::CertStore::Personal));
    ChooseCertDlgGtk dialog;
    dialog.AddStore(&mixed);
    for (const int language : {0, 1}) {
        SCOPED_TRACE(language);
        dialog.SetLanguage(language);
        const std::string suffix = language == 0 ? "en" : "de";
        const std::string viewer = Util::LoadString(164, language);
        std::vector<Row> rows;
        std::string storedIn, header;
        const std::string error = gui.Drive(
            [&](GuiDriver& g) {
                g.WaitForWindow(Title(language));
                rows = Rows(g, language);
                header = g.OnGui([&] {
                    GtkTreeView* view = GTK_TREE_VIEW(GuiDriver::FindWidget(Title(language), "tableView"));
                    return std::string(gtk_tree_view_column_get_title(gtk_tree_view_get_column(view, 4)));
                });
                int row = 0;
                while (row < static_cast<int>(rows.size()) && rows[row][4] != "Pendrel Token A") ++row;
                if (row == static_cast<int>(rows.size())) throw std::runtime_error("no row of the token");
                g.ClickRow(Title(language), "tableView", row);
                g.Screenshot(Title(language),
                             GuiDriver::ScreenshotPath("ChooseCert-tokens-" + suffix + ".png"));
                g.ClickWidget(Title(language), "showCertButton");
                storedIn = g.LabelText(viewer, "textStoredIn");
                g.Screenshot(viewer, GuiDriver::ScreenshotPath("CertViewer-token-" + suffix + ".png"));
                g.ClickWidget(viewer, "buttonOk");
                g.ClickWidget(Title(language), "cancelButton");
            },
            [&] { dialog.Show(); });
        ASSERT_EQ(error, "");
        const std::string here = language == 0 ? "Keychain folder" : "Schl\xC3\xBCsselbundordner";
        ASSERT_EQ(rows.size(), 4u);
        // The folder's identities first, then the tokens' in slot order.
        EXPECT_EQ(rows[0][0], "Pendrel PEM Signer");  // pem.pem before signer.p12
        EXPECT_EQ(rows[0][4], here);
        EXPECT_EQ(rows[1][0], "Pendrel Test Signer");
        EXPECT_EQ(rows[1][4], here);
        std::vector<std::pair<std::string, std::string>> tokens = {{rows[2][0], rows[2][4]},
                                                                   {rows[3][0], rows[3][4]}};
        std::sort(tokens.begin(), tokens.end());
        EXPECT_EQ(tokens,
                  (std::vector<std::pair<std::string, std::string>>{
                      {"Pendrel EC Signer", "Pendrel Token A"}, {"Pendrel Test Signer", "Pendrel Card B"}}));
        EXPECT_EQ(storedIn, "Pendrel Token A");
        EXPECT_EQ(header, language == 0 ? "Stored in" : "Gespeichert in");
    }
}
