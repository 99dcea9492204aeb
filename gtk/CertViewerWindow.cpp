#include "gtk/CertViewerWindow.h"

#include <gtk/gtk.h>

#include <cctype>
#include <cstdio>

#include "common/Util.h"
#include "gtk/GtkUtil.h"
#include "gtk/ModalLoop.h"
#include "gtk/WindowDescription.h"

namespace {

std::string Joined(const std::vector<std::string>& items, const char* separator) {
    std::string text;
    for (const std::string& item : items) {
        if (!text.empty()) text += separator;
        text += item;
    }
    return text;
}

void SetValue(const GtkUtil::WindowDescription& ui, const char* id, const std::string& text) {
    if (GtkWidget* label = ui.Widget(id); label != nullptr && GTK_IS_LABEL(label))
        gtk_label_set_text(GTK_LABEL(label), text.c_str());
}

void CloseClicked(GtkButton*, gpointer loop) {
    GtkUtil::Guarded("CertViewerWindow::Close", [loop] { static_cast<GtkUtil::ModalLoop*>(loop)->Quit(); });
}

}  // namespace

std::string CertViewerWindow::FormatFingerprint(const std::string& hex) {
    std::string text;
    size_t pairs = 0;
    for (size_t i = 0; i + 1 < hex.size(); i += 2) {
        if (pairs > 0) text += pairs % 16 == 0 ? '\n' : ':';
        text += static_cast<char>(std::toupper(static_cast<unsigned char>(hex[i])));
        text += static_cast<char>(std::toupper(static_cast<unsigned char>(hex[i + 1])));
        ++pairs;
    }
    return text;
}

std::string CertViewerWindow::FormatSerial(const std::string& decimal, const std::string& hex) {
    if (hex.empty()) return decimal;
    std::string bytes;
    // Group from the right so that an odd digit count keeps its leading nibble alone.
    const size_t first = hex.size() % 2 == 0 ? 2 : 1;
    bytes = hex.substr(0, first);
    for (size_t i = first; i < hex.size(); i += 2) bytes += " " + hex.substr(i, 2);
    for (char& c : bytes) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return decimal + " (hex " + bytes + ")";
}

std::string CertViewerWindow::FormatTime(std::time_t time) {
    if (time == static_cast<std::time_t>(-1)) return std::string();
    std::tm local{};
    if (localtime_r(&time, &local) == nullptr) return std::string();
    char text[40];
    std::snprintf(text, sizeof text, "%02d.%02d.%04d %02d:%02d:%02d", local.tm_mday, local.tm_mon + 1,
                  local.tm_year + 1900, local.tm_hour, local.tm_min, local.tm_sec);
    return text;
}

void CertViewerWindow::Run(GtkWindow* parent) const {
    if (!GtkUtil::WindowsAvailable()) {
        GtkUtil::LogNotShown("CertViewerWindow::Run", "CertViewer");
        return;
    }
    GtkUtil::ModalLoop loop;  // outlives the window, whose button points at it
    const auto ui = GtkUtil::WindowDescription::Load("CertViewer", _language);
    if (!ui) return;
    ui->SetTitle(164);
    ui->SetLabel("labelSubject", 159);
    ui->SetLabel("labelSubjectDN", 171);
    ui->SetLabel("labelIssuer", 160);
    ui->SetLabel("labelIssuerDN", 172);
    ui->SetLabel("labelSerial", 162);
    ui->SetLabel("labelNotBefore", 173);
    ui->SetLabel("labelNotAfter", 161);
    ui->SetLabel("labelSha1", 174);
    ui->SetLabel("labelSha256", 175);
    ui->SetLabel("labelKey", 176);
    ui->SetLabel("labelKeyUsage", 177);
    ui->SetLabel("labelCrl", 178);
    ui->SetLabel("labelStoredIn", 180);
    ui->SetButton("buttonOk", 168);

    SetValue(*ui, "textSubject", _cert.subject);
    SetValue(*ui, "textSubjectDN", _cert.subjectDN);
    SetValue(*ui, "textIssuer", _cert.issuer);
    SetValue(*ui, "textIssuerDN", _cert.issuerDN);
    SetValue(*ui, "textSerial", FormatSerial(_cert.serialDecimal, _cert.serialHex));
    SetValue(*ui, "textNotBefore", FormatTime(_cert.notBefore));
    SetValue(*ui, "textNotAfter", FormatTime(_cert.notAfter));
    SetValue(*ui, "textSha1", FormatFingerprint(_cert.sha1));
    SetValue(*ui, "textSha256", FormatFingerprint(_cert.sha256));
    std::string key = _cert.keyType;
    if (_cert.keyBits > 0)
        key += (key.empty() ? "" : ", ") + std::to_string(_cert.keyBits) + " " + ui->Text(179);
    SetValue(*ui, "textKey", key);
    SetValue(*ui, "textKeyUsage", Joined(_cert.keyUsage, ", "));
    SetValue(*ui, "textCrl", Joined(_cert.crlDistributionPoints, "\n"));
    SetValue(*ui, "textStoredIn", _cert.storedIn);
    // A certificate without a key (a signer's, a root) has no place to show.
    for (const char* id : {"labelStoredIn", "textStoredIn"})
        if (GtkWidget* widget = ui->Widget(id)) gtk_widget_set_visible(widget, !_cert.storedIn.empty());

    if (GtkWidget* ok = ui->Widget("buttonOk")) {
        g_signal_connect(ok, "clicked", G_CALLBACK(CloseClicked), &loop);
        gtk_widget_grab_focus(ok);  // not a value label, whose text would show selected
    }
    loop.Run(ui->Window(), parent);
}
