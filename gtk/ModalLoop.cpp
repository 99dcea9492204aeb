#include "gtk/ModalLoop.h"

#include "gtk/GtkUtil.h"

namespace GtkUtil {

ModalLoop::ModalLoop() : _loop(g_main_loop_new(nullptr, FALSE)) {}

void ModalLoop::Run(GtkWindow* window, GtkWindow* parent) {
    const gulong closeBox =
        g_signal_connect(window, "delete-event", G_CALLBACK(&ModalLoop::DeleteEvent), this);
    const gulong escape = g_signal_connect(window, "key-press-event", G_CALLBACK(&ModalLoop::KeyPress), this);
    if (parent != nullptr) {
        gtk_window_set_transient_for(window, parent);
        gtk_window_set_position(window, GTK_WIN_POS_CENTER_ON_PARENT);
    } else {
        gtk_window_set_position(window, GTK_WIN_POS_CENTER);
    }
    gtk_window_set_modal(window, TRUE);
    gtk_widget_show(GTK_WIDGET(window));
    gtk_window_present(window);
    if (!_quit) g_main_loop_run(_loop.get());
    _quit = false;
    gtk_widget_hide(GTK_WIDGET(window));
    g_signal_handler_disconnect(window, closeBox);
    g_signal_handler_disconnect(window, escape);
}

void ModalLoop::Quit() {
    _quit = true;
    g_main_loop_quit(_loop.get());
}

gboolean ModalLoop::DeleteEvent(GtkWidget*, GdkEvent*, gpointer self) {
    Guarded("ModalLoop::DeleteEvent", [self] { static_cast<ModalLoop*>(self)->Quit(); });
    return TRUE;  // keep the window: its owner destroys it
}

gboolean ModalLoop::KeyPress(GtkWidget*, GdkEventKey* event, gpointer self) {
    if (event->keyval != GDK_KEY_Escape) return FALSE;
    Guarded("ModalLoop::KeyPress", [self] { static_cast<ModalLoop*>(self)->Quit(); });
    return TRUE;
}

}  // namespace GtkUtil
