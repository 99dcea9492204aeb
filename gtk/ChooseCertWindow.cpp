#include "gtk/ChooseCertWindow.h"

#include <gtk/gtk.h>

#include "common/Logger.h"
#include "common/Util.h"
#include "gtk/CertViewerWindow.h"
#include "gtk/GtkPtr.h"
#include "gtk/GtkUtil.h"
#include "gtk/ModalLoop.h"
#include "gtk/WindowDescription.h"

namespace {

// Columns of the list store "certList" and of the table "tableView", in
// order; the last names where the key lives (a token's label).
const char* const kColumns[] = {"IssuedTo", "IssuedBy", "ExpDate", "Serial", "StoredIn"};
const int kColumnTitles[] = {159, 160, 161, 162, 180};

}  // namespace

struct ChooseCertWindow::Handlers {
    static void Ok(GtkButton*, gpointer self) {
        GtkUtil::Guarded("ChooseCertWindow::Ok", [self] { static_cast<ChooseCertWindow*>(self)->Ok(); });
    }
    static void Cancel(GtkButton*, gpointer self) {
        GtkUtil::Guarded("ChooseCertWindow::Cancel",
                         [self] { static_cast<ChooseCertWindow*>(self)->Cancel(); });
    }
    static void ShowCert(GtkButton*, gpointer self) {
        GtkUtil::Guarded("ChooseCertWindow::ShowCert",
                         [self] { static_cast<ChooseCertWindow*>(self)->ShowCert(); });
    }
    // A double-click in the rows area: on a row answers it, below the rows answers -1.
    static gboolean TablePress(GtkWidget* widget, GdkEventButton* event, gpointer self) {
        if (event->type != GDK_2BUTTON_PRESS || event->button != 1) return FALSE;
        GtkTreeView* table = GTK_TREE_VIEW(widget);
        if (event->window != gtk_tree_view_get_bin_window(table)) return FALSE;
        GtkTreePath* found = nullptr;
        long row = -1;
        if (gtk_tree_view_get_path_at_pos(table, static_cast<gint>(event->x), static_cast<gint>(event->y),
                                          &found, nullptr, nullptr, nullptr)) {
            const GtkUtil::TreePathPtr path(found);
            const gint* indices = gtk_tree_path_get_indices(path.get());
            if (indices != nullptr) row = indices[0];
        }
        GtkUtil::Guarded("ChooseCertWindow::DoubleClick",
                         [self, row] { static_cast<ChooseCertWindow*>(self)->DoubleClick(row); });
        return TRUE;
    }
    // A double-click on a column header is a double-click off the rows.
    static gboolean HeaderPress(GtkWidget*, GdkEventButton* event, gpointer self) {
        if (event->type != GDK_2BUTTON_PRESS || event->button != 1) return FALSE;
        GtkUtil::Guarded("ChooseCertWindow::DoubleClick",
                         [self] { static_cast<ChooseCertWindow*>(self)->DoubleClick(-1); });
        return TRUE;
    }
    // Enter on a row, like a double-click on it.
    static void RowActivated(GtkTreeView*, GtkTreePath* path, GtkTreeViewColumn*, gpointer self) {
        const gint* indices = gtk_tree_path_get_indices(path);
        const long row = indices != nullptr ? indices[0] : -1;
        GtkUtil::Guarded("ChooseCertWindow::RowActivated",
                         [self, row] { static_cast<ChooseCertWindow*>(self)->DoubleClick(row); });
    }
};

ChooseCertWindow::ChooseCertWindow(const std::vector<CertView>& certs, int language, const std::string& origin)
    : _certs(certs), _language(language), _origin(origin) {}

ChooseCertWindow::~ChooseCertWindow() = default;

long ChooseCertWindow::Run() {
    _selectedRow = -1;
    if (!GtkUtil::WindowsAvailable()) {
        GtkUtil::LogNotShown("ChooseCertWindow::Run", "ChooseCert");
        return -1;
    }
    _loop = std::make_unique<GtkUtil::ModalLoop>();
    _ui = GtkUtil::WindowDescription::Load("ChooseCert", _language);
    GObject* store = _ui ? _ui->Object("certList") : nullptr;
    GtkWidget* table = _ui ? _ui->Widget("tableView") : nullptr;
    if (store == nullptr || !GTK_IS_LIST_STORE(store) || table == nullptr || !GTK_IS_TREE_VIEW(table) ||
        _ui->Widget("okButton") == nullptr || _ui->Widget("cancelButton") == nullptr ||
        _ui->Widget("showCertButton") == nullptr) {
        _ui.reset();  // a chooser without its table or buttons cannot be answered
        return -1;
    }
    _ui->SetTitle(163);
    _ui->SetLabel("label", 158);
    _ui->ShowOrigin(_origin);
    _ui->SetButton("okButton", 168);
    _ui->SetButton("cancelButton", 169);
    _ui->SetButton("showCertButton", 170);
    for (size_t i = 0; i < sizeof kColumns / sizeof kColumns[0]; ++i)
        _ui->SetColumn(kColumns[i], kColumnTitles[i]);

    GtkListStore* list = GTK_LIST_STORE(store);
    for (const CertView& cert : _certs) {
        const std::string expires = Util::TimeToDateString(cert.notAfter);
        GtkTreeIter row;
        gtk_list_store_append(list, &row);
        gtk_list_store_set(list, &row, 0, cert.subject.c_str(), 1, cert.issuer.c_str(), 2, expires.c_str(), 3,
                           cert.serialDecimal.c_str(), 4, cert.storedIn.c_str(), -1);
    }

    g_signal_connect(_ui->Widget("okButton"), "clicked", G_CALLBACK(&Handlers::Ok), this);
    g_signal_connect(_ui->Widget("cancelButton"), "clicked", G_CALLBACK(&Handlers::Cancel), this);
    g_signal_connect(_ui->Widget("showCertButton"), "clicked", G_CALLBACK(&Handlers::ShowCert), this);
    g_signal_connect(table, "button-press-event", G_CALLBACK(&Handlers::TablePress), this);
    g_signal_connect(table, "row-activated", G_CALLBACK(&Handlers::RowActivated), this);
    for (const char* id : kColumns) {
        GObject* column = _ui->Object(id);
        if (column == nullptr || !GTK_IS_TREE_VIEW_COLUMN(column)) continue;
        if (GtkWidget* header = gtk_tree_view_column_get_button(GTK_TREE_VIEW_COLUMN(column)))
            g_signal_connect(header, "button-press-event", G_CALLBACK(&Handlers::HeaderPress), this);
    }

    // A table that takes the focus selects its first row by itself; the
    // user's choice must not be made for them, so OK starts with the focus.
    gtk_widget_grab_focus(_ui->Widget("okButton"));
    gtk_tree_selection_unselect_all(gtk_tree_view_get_selection(GTK_TREE_VIEW(table)));

    _loop->Run(_ui->Window());
    _ui.reset();
    _loop.reset();
    Logger::Get()->SetFunc("ChooseCertWindow::Run");
    Logger::Get()->Log("Selected row %ld of %zu", _selectedRow, _certs.size());
    return _selectedRow >= 0 && static_cast<size_t>(_selectedRow) < _certs.size() ? _selectedRow : -1;
}

long ChooseCertWindow::SelectedRow() const {
    GtkWidget* table = _ui->Widget("tableView");
    GtkTreeModel* model = nullptr;
    GtkTreeIter iter;
    if (!gtk_tree_selection_get_selected(gtk_tree_view_get_selection(GTK_TREE_VIEW(table)), &model, &iter))
        return -1;
    const GtkUtil::TreePathPtr path(gtk_tree_model_get_path(model, &iter));
    const gint* indices = path ? gtk_tree_path_get_indices(path.get()) : nullptr;
    const long row = indices != nullptr ? indices[0] : -1;
    return row;
}

void ChooseCertWindow::Ok() {
    _selectedRow = SelectedRow();
    if (_selectedRow != -1) _loop->Quit();
}

void ChooseCertWindow::DoubleClick(long row) {
    _selectedRow = row;
    _loop->Quit();
}

void ChooseCertWindow::Cancel() {
    _selectedRow = -1;
    _loop->Quit();
}

void ChooseCertWindow::ShowCert() {
    const long row = SelectedRow();
    if (row < 0 || static_cast<size_t>(row) >= _certs.size()) return;
    CertViewerWindow(_certs[static_cast<size_t>(row)], _language).Run(_ui->Window());
}
