#include "gtk/SecretWindow.h"

#include <gtk/gtk.h>

#include <cstring>

#include "common/Logger.h"
#include "common/Util.h"
#include "crypto/Secret.h"
#include "gtk/GtkUtil.h"
#include "gtk/ModalLoop.h"
#include "gtk/WindowDescription.h"

namespace {

bool IsPin(const Crypto::SecretRequest& request) {
    return request.kind == Crypto::SecretRequest::Pin;
}

void SetText(const GtkUtil::WindowDescription& ui, const char* id, const std::string& text) {
    if (GtkWidget* label = ui.Widget(id); label != nullptr && GTK_IS_LABEL(label))
        gtk_label_set_text(GTK_LABEL(label), text.c_str());
}

void Show(const GtkUtil::WindowDescription& ui, const char* id, bool visible) {
    if (GtkWidget* widget = ui.Widget(id)) gtk_widget_set_visible(widget, visible);
}

}  // namespace

struct SecretWindow::Handlers {
    static void Ok(GtkButton*, gpointer self) {
        GtkUtil::Guarded("SecretWindow::Ok", [self] { static_cast<SecretWindow*>(self)->Ok(); });
    }
    static void Cancel(GtkButton*, gpointer self) {
        GtkUtil::Guarded("SecretWindow::Cancel", [self] { static_cast<SecretWindow*>(self)->Cancel(); });
    }
    static void Changed(GtkEditable*, gpointer self) {
        GtkUtil::Guarded("SecretWindow::Changed", [self] { static_cast<SecretWindow*>(self)->Changed(); });
    }
};

SecretWindow::SecretWindow(const Crypto::SecretRequest& request) : _request(request) {}

SecretWindow::~SecretWindow() = default;

std::string SecretWindow::Title(const Crypto::SecretRequest& request) {
    return Util::LoadString(IsPin(request) ? 521 : 520, request.language);
}

Crypto::SecretPrompt::Answer SecretWindow::Run(Crypto::Secret& secret) {
    secret.Clear();
    _given = false;
    if (!GtkUtil::WindowsAvailable()) {
        GtkUtil::LogNotShown("SecretWindow::Run", "SecretPrompt");
        return Crypto::SecretPrompt::Unavailable;
    }
    _loop = std::make_unique<GtkUtil::ModalLoop>();
    _ui = GtkUtil::WindowDescription::Load("SecretPrompt", _request.language);
    GtkWidget* entry = _ui ? _ui->Widget("secret") : nullptr;
    GtkWidget* ok = _ui ? _ui->Widget("okButton") : nullptr;
    GtkWidget* cancel = _ui ? _ui->Widget("cancelButton") : nullptr;
    if (entry == nullptr || !GTK_IS_ENTRY(entry) || ok == nullptr || cancel == nullptr) {
        _ui.reset();  // a prompt without its entry or buttons cannot be answered
        return Crypto::SecretPrompt::Unavailable;
    }
    const bool pin = IsPin(_request);
    gtk_window_set_title(_ui->Window(), Title(_request).c_str());
    _ui->SetLabel("prompt", pin ? 523 : 522);
    SetText(*_ui, "name", pin ? _request.token : _request.certificate);
    _ui->SetLabel("signAsLabel", 524);
    SetText(*_ui, "signAs", _request.certificate);
    const bool signAs = pin && !_request.certificate.empty();
    Show(*_ui, "signAsLabel", signAs);
    Show(*_ui, "signAs", signAs);
    _ui->SetLabel("originLabel", 525);
    SetText(*_ui, "origin", _request.origin);
    Show(*_ui, "originLabel", !_request.origin.empty());
    Show(*_ui, "origin", !_request.origin.empty());
    _ui->SetLabel("retry", pin ? 527 : 526);
    Show(*_ui, "retry", _request.retry);
    _ui->SetLabel("finalTry", 528);
    Show(*_ui, "finalTry", pin && _request.finalTry);
    _ui->SetButton("okButton", 168);
    _ui->SetButton("cancelButton", 169);
    gtk_entry_set_input_purpose(GTK_ENTRY(entry), pin ? GTK_INPUT_PURPOSE_PIN : GTK_INPUT_PURPOSE_PASSWORD);

    g_signal_connect(ok, "clicked", G_CALLBACK(&Handlers::Ok), this);
    g_signal_connect(cancel, "clicked", G_CALLBACK(&Handlers::Cancel), this);
    g_signal_connect(entry, "changed", G_CALLBACK(&Handlers::Changed), this);
    gtk_widget_set_sensitive(ok, FALSE);
    gtk_widget_grab_default(ok);
    gtk_widget_grab_focus(entry);

    _secret = &secret;
    _loop->Run(_ui->Window());
    _secret = nullptr;
    // Whatever is still typed goes (GTK wipes the entry's memory as it frees it).
    gtk_editable_delete_text(GTK_EDITABLE(entry), 0, -1);
    _ui.reset();
    _loop.reset();
    Logger::Get()->SetFunc("SecretWindow::Run");
    Logger::Get()->Log(_given ? "A secret was entered" : "Cancelled by the user");
    return _given ? Crypto::SecretPrompt::Given : Crypto::SecretPrompt::Cancelled;
}

void SecretWindow::Changed() {
    GtkWidget* entry = _ui->Widget("secret");
    gtk_widget_set_sensitive(_ui->Widget("okButton"), gtk_entry_get_text_length(GTK_ENTRY(entry)) > 0);
}

void SecretWindow::Ok() {
    GtkWidget* entry = _ui->Widget("secret");
    const char* text = gtk_entry_get_text(GTK_ENTRY(entry));
    if (text == nullptr || *text == '\0' || _secret == nullptr) return;
    _secret->Assign(text, std::strlen(text));
    gtk_editable_delete_text(GTK_EDITABLE(entry), 0, -1);
    _given = true;
    _loop->Quit();
}

void SecretWindow::Cancel() {
    _given = false;
    _loop->Quit();
}
