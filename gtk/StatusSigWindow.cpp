#include "gtk/StatusSigWindow.h"

#include <gtk/gtk.h>

#include "gtk/GtkUtil.h"
#include "gtk/ModalLoop.h"
#include "gtk/StatusIcons.h"
#include "gtk/WindowDescription.h"

namespace {

void OkClicked(GtkButton*, gpointer loop) {
    GtkUtil::Guarded("StatusSigWindow::Ok", [loop] { static_cast<GtkUtil::ModalLoop*>(loop)->Quit(); });
}

}  // namespace

void StatusSigWindow::Run() const {
    if (!GtkUtil::WindowsAvailable()) {
        GtkUtil::LogNotShown("StatusSigWindow::Run", "StatusSigDlg");
        return;
    }
    GtkUtil::ModalLoop loop;
    const auto ui = GtkUtil::WindowDescription::Load("StatusSigDlg", _language);
    if (!ui) return;
    ui->ShowOrigin(_origin);
    if (_codes) {
        ui->SetTitle(165);
        ui->SetButton("okButton", 168);
        const GtkUtil::StatusIcons icons;
        struct Row {
            int code;
            const char* image;
            const char* label;
            GtkUtil::StatusIcons::MessageIds ids;
        };
        const Row rows[] = {{_codes->time, "timeImg", "timeLabel", {128, 129, 130}},
                            {_codes->chain, "chainImg", "chainLabel", {131, 132, 133}},
                            {_codes->crl, "crlImg", "crlLabel", {134, 135, 136}}};
        for (const Row& row : rows) {
            GtkUtil::StatusIcons::Check check{};
            if (GtkUtil::StatusIcons::ForCode(row.code, row.ids, check))
                icons.Show(check, ui->Widget(row.image), ui->Widget(row.label), _language);
        }
    }
    if (GtkWidget* ok = ui->Widget("okButton")) g_signal_connect(ok, "clicked", G_CALLBACK(OkClicked), &loop);
    loop.Run(ui->Window());
}
