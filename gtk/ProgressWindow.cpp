#include "gtk/ProgressWindow.h"

#include <gtk/gtk.h>

#include "common/Logger.h"
#include "gtk/GtkUtil.h"
#include "gtk/ModalLoop.h"
#include "gtk/WindowDescription.h"

namespace {

struct Session {
    const ProgressWindow::WaitEnded& waitEnded;
    const ProgressWindow::HasResult& hasResult;
    GtkUtil::ModalLoop& loop;
    GtkWidget* progress;
    bool done = false;
    unsigned ticks = 0;
};

bool Delivered(const Session& session) {
    return session.waitEnded(std::chrono::milliseconds(0)) && session.hasResult();
}

gboolean Tick(gpointer data) {
    GtkUtil::Guarded("ProgressWindow::Tick", [data] {
        auto* session = static_cast<Session*>(data);
        if (Delivered(*session)) {
            session->done = true;
            session->loop.Quit();
            return;
        }
        if (session->progress != nullptr && ++session->ticks % 4 == 0)
            gtk_progress_bar_pulse(GTK_PROGRESS_BAR(session->progress));
    });
    return G_SOURCE_CONTINUE;
}

void CancelClicked(GtkButton*, gpointer loop) {
    GtkUtil::Guarded("ProgressWindow::Cancel", [loop] { static_cast<GtkUtil::ModalLoop*>(loop)->Quit(); });
}

}  // namespace

bool ProgressWindow::Run() const {
    if (!GtkUtil::WindowsAvailable()) {
        GtkUtil::LogNotShown("ProgressWindow::Run", "CRLProgressDialog");
        while (!_waitEnded(std::chrono::milliseconds(200))) {
        }
        return _hasResult();
    }
    GtkUtil::ModalLoop loop;
    const auto ui = GtkUtil::WindowDescription::Load("CRLProgressDialog", _language);
    if (!ui) {
        while (!_waitEnded(std::chrono::milliseconds(200))) {
        }
        return _hasResult();
    }
    ui->SetTitle(501);
    ui->SetLabel("label", 502);
    ui->ShowOrigin(_origin);
    ui->SetButton("cancel", 169);
    GtkWidget* progress = ui->Widget("progress");
    if (progress != nullptr && !GTK_IS_PROGRESS_BAR(progress)) progress = nullptr;
    if (progress != nullptr) gtk_progress_bar_pulse(GTK_PROGRESS_BAR(progress));
    if (GtkWidget* cancel = ui->Widget("cancel"))
        g_signal_connect(cancel, "clicked", G_CALLBACK(CancelClicked), &loop);

    Session session{_waitEnded, _hasResult, loop, progress};
    if (Delivered(session)) {
        session.done = true;
        loop.Quit();  // shows the window for one pass, then closes it
    }
    const GtkUtil::SourceId timer(g_timeout_add(static_cast<guint>(kPollInterval.count()), Tick, &session));
    loop.Run(ui->Window());
    const bool result = session.done || Delivered(session);
    Logger::Get()->SetFunc("ProgressWindow::Run");
    Logger::Get()->Log(result ? "Download finished" : "Cancelled by the user");
    return result;
}
