#pragma once

#include <gtk/gtk.h>

#include "gtk/GtkPtr.h"

namespace GtkUtil {

// Runs one window modally: shows it centred (over its parent, if any) and
// processes events until Quit(), blocking the calling thread. The close box
// ends the loop too (the window is kept: its owner destroys it).
class ModalLoop {
public:
    ModalLoop();
    ModalLoop(const ModalLoop&) = delete;
    ModalLoop& operator=(const ModalLoop&) = delete;

    void Run(GtkWindow* window, GtkWindow* parent = nullptr);
    // May be called before Run: then Run returns after showing the window once.
    void Quit();

    // Called when the user closes the window with its close box, before the
    // loop ends.
    void OnCloseBox(void (*handler)(void* data), void* data) {
        _closeHandler = handler;
        _closeData = data;
    }

private:
    static gboolean DeleteEvent(GtkWidget* widget, GdkEvent* event, gpointer self);

    MainLoopPtr _loop;
    bool _quit = false;
    void (*_closeHandler)(void*) = nullptr;
    void* _closeData = nullptr;
};

}  // namespace GtkUtil
