#include "gtk/SignConsentWindow.h"

#include <gtk/gtk.h>

#include "common/Logger.h"
#include "common/Util.h"
#include "gtk/GtkUtil.h"
#include "gtk/ModalLoop.h"
#include "gtk/WindowDescription.h"

namespace {

void SetText(const GtkUtil::WindowDescription& ui, const char* id, const std::string& text) {
    if (GtkWidget* label = ui.Widget(id); label != nullptr && GTK_IS_LABEL(label))
        gtk_label_set_text(GTK_LABEL(label), text.c_str());
}

}  // namespace

struct SignConsentWindow::Handlers {
    static void Allow(GtkButton*, gpointer self) {
        GtkUtil::Guarded("SignConsentWindow::Allow", [self] { static_cast<SignConsentWindow*>(self)->Allow(); });
    }
    static void Deny(GtkButton*, gpointer self) {
        GtkUtil::Guarded("SignConsentWindow::Deny", [self] { static_cast<SignConsentWindow*>(self)->Deny(); });
    }
};

SignConsentWindow::SignConsentWindow(const Request& request) : _request(request) {}

SignConsentWindow::~SignConsentWindow() = default;

std::string SignConsentWindow::Title(int language) {
    return Util::LoadString(530, language);
}

SignConsentDlg::Answer SignConsentWindow::Run() {
    _answer = SignConsentDlg::Deny;
    if (!GtkUtil::WindowsAvailable()) {
        GtkUtil::LogNotShown("SignConsentWindow::Run", "SignConsent");
        return SignConsentDlg::Deny;
    }
    _loop = std::make_unique<GtkUtil::ModalLoop>();
    _ui = GtkUtil::WindowDescription::Load("SignConsent", _request.language);
    GtkWidget* allow = _ui ? _ui->Widget("allowButton") : nullptr;
    GtkWidget* deny = _ui ? _ui->Widget("denyButton") : nullptr;
    GtkWidget* always = _ui ? _ui->Widget("always") : nullptr;
    if (allow == nullptr || deny == nullptr || always == nullptr || !GTK_IS_TOGGLE_BUTTON(always)) {
        _ui.reset();  // a window without its buttons cannot be answered: denied
        return SignConsentDlg::Deny;
    }
    _ui->SetTitle(530);
    _ui->SetLabel("intro", 531);
    _ui->SetLabel("originLabel", 532);
    SetText(*_ui, "origin", _request.origin);
    _ui->SetLabel("documentLabel", 533);
    SetText(*_ui, "document", !_request.documentName.empty() ? _request.documentName : _ui->Text(540));
    _ui->SetLabel("sizeLabel", 534);
    SetText(*_ui, "size", std::to_string(_request.documentSize) + " " + _ui->Text(539));
    _ui->SetLabel("certificateLabel", 535);
    SetText(*_ui, "certificate", _request.certificate);
    _ui->SetButton("always", 538);
    gtk_widget_set_visible(always, _request.rememberable);
    _ui->SetLabel("warning", 541);
    _ui->SetButton("allowButton", 536);
    _ui->SetButton("denyButton", 537);

    g_signal_connect(allow, "clicked", G_CALLBACK(&Handlers::Allow), this);
    g_signal_connect(deny, "clicked", G_CALLBACK(&Handlers::Deny), this);
    // Deny is what Enter gives and where the focus starts.
    gtk_widget_grab_default(deny);
    gtk_widget_grab_focus(deny);

    _loop->Run(_ui->Window());
    _ui.reset();
    _loop.reset();
    Logger::Get()->SetFunc("SignConsentWindow::Run");
    Logger::Get()->Log("Signing for %s: %s", _request.origin.c_str(),
                       _answer == SignConsentDlg::Deny      ? "denied"
                       : _answer == SignConsentDlg::Allow ? "allowed"
                                                          : "allowed for good");
    return _answer;
}

void SignConsentWindow::Allow() {
    GtkWidget* always = _ui->Widget("always");
    const bool forGood = _request.rememberable && always != nullptr &&
                         gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(always));
    _answer = forGood ? SignConsentDlg::AllowAlways : SignConsentDlg::Allow;
    _loop->Quit();
}

void SignConsentWindow::Deny() {
    _answer = SignConsentDlg::Deny;
    _loop->Quit();
}
