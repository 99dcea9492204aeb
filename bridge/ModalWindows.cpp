#include "bridge/ModalWindows.h"

#include <gtk/gtk.h>

namespace ModalWindows {

int CloseAll() {
    int closed = 0;
    GList* windows = gtk_window_list_toplevels();
    for (GList* item = windows; item != nullptr; item = item->next) {
        GtkWindow* window = GTK_WINDOW(item->data);
        if (gtk_window_get_modal(window) && gtk_widget_get_visible(GTK_WIDGET(window))) {
            gtk_window_close(window);
            ++closed;
        }
    }
    g_list_free(windows);
    return closed;
}

}  // namespace ModalWindows
