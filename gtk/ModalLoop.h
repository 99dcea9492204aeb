#pragma once

#include <gtk/gtk.h>

#include "gtk/GtkPtr.h"

namespace GtkUtil {

// Runs one window modally: shows it centred (over its parent, if any) and
// processes events until Quit(), blocking the calling thread. The close box
// and the Escape key end the loop too, as closing without a choice (the
// window is kept: its owner destroys it).
class ModalLoop {
public:
    ModalLoop();
    ModalLoop(const ModalLoop&) = delete;
    ModalLoop& operator=(const ModalLoop&) = delete;

    void Run(GtkWindow* window, GtkWindow* parent = nullptr);
    // May be called before Run: then Run returns after showing the window once.
    void Quit();

private:
    static gboolean DeleteEvent(GtkWidget* widget, GdkEvent* event, gpointer self);
    static gboolean KeyPress(GtkWidget* widget, GdkEventKey* event, gpointer self);

    MainLoopPtr _loop;
    bool _quit = false;
};

}  // namespace GtkUtil
