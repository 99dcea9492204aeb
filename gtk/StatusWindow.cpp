#include "gtk/StatusWindow.h"

#include <gtk/gtk.h>

#include "common/Logger.h"
#include "gtk/CertViewerWindow.h"
#include "gtk/GtkUtil.h"
#include "gtk/ModalLoop.h"
#include "gtk/StatusIcons.h"
#include "gtk/WindowDescription.h"

struct StatusWindow::Handlers {
    static void Changed(GtkComboBox* combo, gpointer self) {
        const long index = gtk_combo_box_get_active(combo);
        GtkUtil::Guarded("StatusWindow::Changed",
                         [self, index] { static_cast<StatusWindow*>(self)->ShowSignature(index); });
    }
    static void ShowCertificate(GtkButton*, gpointer self) {
        GtkUtil::Guarded("StatusWindow::ShowCertificate",
                         [self] { static_cast<StatusWindow*>(self)->ShowCertificate(); });
    }
    static void ViewVersion(GtkButton*, gpointer self) {
        GtkUtil::Guarded("StatusWindow::ViewVersion",
                         [self] { static_cast<StatusWindow*>(self)->ViewVersion(); });
    }
    static void Ok(GtkButton*, gpointer self) {
        GtkUtil::Guarded("StatusWindow::Ok", [self] { static_cast<StatusWindow*>(self)->_loop->Quit(); });
    }
};

StatusWindow::StatusWindow(const std::vector<SignatureView>& signatures, VersionFile versionFile,
                           int language, const std::string& origin)
    : _signatures(signatures), _versionFile(std::move(versionFile)), _language(language), _origin(origin) {}

StatusWindow::~StatusWindow() = default;

std::string StatusWindow::FormatSigningTime(std::time_t time) {
    if (time == static_cast<std::time_t>(-1)) return "Unknown";
    char text[64] = {0};
    if (ctime_r(&time, text) == nullptr) return "Unknown";
    std::string result = text;
    if (!result.empty() && result.back() == '\n') result.pop_back();
    return result;
}

void StatusWindow::Run() {
    if (!GtkUtil::WindowsAvailable()) {
        GtkUtil::LogNotShown("StatusWindow::Run", "StatusDlg");
        return;
    }
    _loop = std::make_unique<GtkUtil::ModalLoop>();
    _ui = GtkUtil::WindowDescription::Load("StatusDlg", _language);
    GtkWidget* combo = _ui ? _ui->Widget("comboSelect") : nullptr;
    if (combo == nullptr || !GTK_IS_COMBO_BOX_TEXT(combo) || _ui->Widget("buttonOk") == nullptr ||
        _ui->Widget("btnViewVersion") == nullptr || _ui->Widget("buttonShowCertificate") == nullptr) {
        _ui.reset();  // logged by the description
        return;
    }
    _icons = std::make_unique<GtkUtil::StatusIcons>();

    for (const SignatureView& signature : _signatures)
        gtk_combo_box_text_append_text(GTK_COMBO_BOX_TEXT(combo), signature.name.c_str());
    _ui->SetTitle(165);
    _ui->ShowOrigin(_origin);
    _ui->SetLabel("labelSelect", 167);
    _ui->SetButton("btnViewVersion", 201);
    _ui->SetLabel("labelSerial", 162);
    _ui->SetLabel("labelSubject", 159);
    _ui->SetLabel("labelIssuer", 160);
    _ui->SetFrame("boxDetails", 202);
    _ui->SetLabel("labelSigner", 203);
    _ui->SetLabel("labelReason", 204);
    _ui->SetLabel("labelLocation", 205);
    _ui->SetLabel("labelContact", 206);
    _ui->SetLabel("labelSigningTime", 207);
    _ui->SetButton("buttonShowCertificate", 170);
    _ui->SetButton("buttonOk", 168);
    ShowSignature(0);

    g_signal_connect(combo, "changed", G_CALLBACK(&Handlers::Changed), this);
    g_signal_connect(_ui->Widget("buttonShowCertificate"), "clicked", G_CALLBACK(&Handlers::ShowCertificate),
                     this);
    g_signal_connect(_ui->Widget("btnViewVersion"), "clicked", G_CALLBACK(&Handlers::ViewVersion), this);
    g_signal_connect(_ui->Widget("buttonOk"), "clicked", G_CALLBACK(&Handlers::Ok), this);

    gtk_widget_grab_focus(_ui->Widget("buttonOk"));  // not a value label, whose text would show selected
    _loop->Run(_ui->Window());
    _ui.reset();
    _icons.reset();
    _loop.reset();
}

long StatusWindow::SelectedIndex() const {
    return gtk_combo_box_get_active(GTK_COMBO_BOX(_ui->Widget("comboSelect")));
}

void StatusWindow::ShowSignature(long index) {
    if (index < 0 || static_cast<size_t>(index) >= _signatures.size()) return;
    const SignatureView& signature = _signatures[static_cast<size_t>(index)];
    if (!signature.hasSignature || !signature.hasSignerCert) return;

    const std::string signingTime = FormatSigningTime(signature.signingTime);
    const struct {
        const char* id;
        const std::string& text;
    } texts[] = {{"textSigner", signature.signer},        {"textReason", signature.reason},
                 {"textLocation", signature.location},    {"textContact", signature.contact},
                 {"textSigningTime", signingTime},        {"textSerial", signature.cert.serialDecimal},
                 {"textSubject", signature.cert.subject}, {"textIssuer", signature.cert.issuer}};
    for (const auto& t : texts)
        if (GtkWidget* label = _ui->Widget(t.id); label != nullptr && GTK_IS_LABEL(label))
            gtk_label_set_text(GTK_LABEL(label), t.text.c_str());

    const std::string& status = signature.certStatus;
    const auto at = [&status](size_t position) { return position < status.size() ? status[position] : 'X'; };
    using Icons = GtkUtil::StatusIcons;
    const struct {
        char status;
        const char* image;
        const char* label;
        Icons::MessageIds ids;
    } checks[] = {{at(0), "imageTime", "textTime", {128, 129, 130}},
                  {at(1), "imageChain", "textChain", {131, 132, 133}},
                  {Icons::SignatureChar(signature.code), "imageSig", "textSig", {137, 138, 138}},
                  {at(3), "imageCrl", "textCrl", {134, 135, 136}}};
    for (const auto& c : checks)
        _icons->Show(Icons::ForChar(c.status, c.ids), _ui->Widget(c.image), _ui->Widget(c.label), _language);

    GtkComboBox* combo = GTK_COMBO_BOX(_ui->Widget("comboSelect"));
    if (gtk_combo_box_get_active(combo) != index) gtk_combo_box_set_active(combo, static_cast<gint>(index));
}

void StatusWindow::ShowCertificate() {
    const long index = SelectedIndex();
    if (index < 0 || static_cast<size_t>(index) >= _signatures.size()) return;
    const SignatureView& signature = _signatures[static_cast<size_t>(index)];
    if (!signature.hasSignature || !signature.hasSignerCert) return;
    CertViewerWindow(signature.cert, _language).Run(_ui->Window());
}

void StatusWindow::ViewVersion() {
    const long index = SelectedIndex();
    if (!_versionFile || index < 0 || static_cast<size_t>(index) >= _signatures.size()) return;
    const std::string path = _versionFile(static_cast<size_t>(index));
    if (path.empty()) {
        // The signature matched no revision: there is nothing to open.
        Logger::Get()->SetFunc("StatusWindow::ViewVersion");
        Logger::Get()->Log("No revision file for signature %ld", index);
        return;
    }
    GtkUtil::OpenInViewer(path);
}
