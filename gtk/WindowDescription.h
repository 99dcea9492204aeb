#pragma once

#include <gtk/gtk.h>

#include <memory>
#include <string>

#include "gtk/GtkPtr.h"

namespace GtkUtil {

// One window loaded from its GtkBuilder description "<name>.ui" in the
// resource folder. The toplevel must have the id "window". Owns the builder
// and the window; the window is destroyed first.
class WindowDescription {
public:
    // Null (and logged) when the description is missing or broken.
    static std::unique_ptr<WindowDescription> Load(const std::string& name);

    WindowDescription(const WindowDescription&) = delete;
    WindowDescription& operator=(const WindowDescription&) = delete;

    GtkWindow* Window() const { return GTK_WINDOW(_window.get()); }
    // The object of that id; logs and answers null when there is none.
    GObject* Object(const char* id) const;
    GtkWidget* Widget(const char* id) const;

    // Texts from the message file (current language).
    void SetTitle(int messageId) const;
    void SetLabel(const char* id, int messageId) const;
    void SetButton(const char* id, int messageId) const;
    void SetFrame(const char* id, int messageId) const;
    void SetColumn(const char* id, int messageId) const;

private:
    WindowDescription(GObjectPtr<GtkBuilder> builder, GtkWidget* window);

    GObjectPtr<GtkBuilder> _builder;
    WindowPtr _window;
};

}  // namespace GtkUtil
