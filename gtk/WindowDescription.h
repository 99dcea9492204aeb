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
    // Null (and logged) when the description is missing or broken. Its texts
    // come in message language `language`.
    static std::unique_ptr<WindowDescription> Load(const std::string& name, int language);

    WindowDescription(const WindowDescription&) = delete;
    WindowDescription& operator=(const WindowDescription&) = delete;

    GtkWindow* Window() const { return GTK_WINDOW(_window.get()); }
    // The object of that id; logs and answers null when there is none.
    GObject* Object(const char* id) const;
    GtkWidget* Widget(const char* id) const;

    // Texts from the message file in the window's language.
    std::string Text(int messageId) const;
    int Language() const { return _language; }
    void SetTitle(int messageId) const;
    void SetLabel(const char* id, int messageId) const;
    void SetButton(const char* id, int messageId) const;
    void SetFrame(const char* id, int messageId) const;
    void SetColumn(const char* id, int messageId) const;
    // The line naming the web page that asked for the window ("Requested by
    // https://...", message 529) in the label "requestedBy", shown only for
    // a web page (a non-empty origin).
    void ShowOrigin(const std::string& origin) const;

private:
    WindowDescription(GObjectPtr<GtkBuilder> builder, GtkWidget* window, int language);

    GObjectPtr<GtkBuilder> _builder;
    WindowPtr _window;
    int _language;
};

}  // namespace GtkUtil
