#include "gtk/WindowDescription.h"

#include "common/Logger.h"
#include "common/Util.h"

namespace GtkUtil {

std::unique_ptr<WindowDescription> WindowDescription::Load(const std::string& name, int language) {
    const std::string path = Util::ResourcePath(name + ".ui");
    GObjectPtr<GtkBuilder> builder(gtk_builder_new());
    GError* raw = nullptr;
    const bool loaded = gtk_builder_add_from_file(builder.get(), path.c_str(), &raw) != 0;
    const ErrorPtr error(raw);
    GObject* window = loaded ? gtk_builder_get_object(builder.get(), "window") : nullptr;
    if (window == nullptr || !GTK_IS_WINDOW(window)) {
        Logger::Get()->SetFunc("WindowDescription::Load");
        Logger::Get()->Log("Window description %s not usable: %s", path.c_str(),
                           error ? error->message : "no toplevel \"window\"");
        // A toplevel the builder made is still held by GTK's window list.
        if (window != nullptr && GTK_IS_WIDGET(window)) gtk_widget_destroy(GTK_WIDGET(window));
        return nullptr;
    }
    return std::unique_ptr<WindowDescription>(
        new WindowDescription(std::move(builder), GTK_WIDGET(window), language));
}

WindowDescription::WindowDescription(GObjectPtr<GtkBuilder> builder, GtkWidget* window, int language)
    : _builder(std::move(builder)), _window(window), _language(language) {}

GObject* WindowDescription::Object(const char* id) const {
    GObject* object = gtk_builder_get_object(_builder.get(), id);
    if (object == nullptr) {
        Logger::Get()->SetFunc("WindowDescription::Object");
        Logger::Get()->Log("No element \"%s\" in the window description", id);
    }
    return object;
}

GtkWidget* WindowDescription::Widget(const char* id) const {
    GObject* object = Object(id);
    return object != nullptr && GTK_IS_WIDGET(object) ? GTK_WIDGET(object) : nullptr;
}

std::string WindowDescription::Text(int messageId) const {
    return Util::LoadString(messageId, _language);
}

void WindowDescription::SetTitle(int messageId) const {
    gtk_window_set_title(Window(), Text(messageId).c_str());
}

void WindowDescription::SetLabel(const char* id, int messageId) const {
    if (GObject* object = Object(id); object != nullptr && GTK_IS_LABEL(object))
        gtk_label_set_text(GTK_LABEL(object), Text(messageId).c_str());
}

void WindowDescription::SetButton(const char* id, int messageId) const {
    if (GObject* object = Object(id); object != nullptr && GTK_IS_BUTTON(object))
        gtk_button_set_label(GTK_BUTTON(object), Text(messageId).c_str());
}

void WindowDescription::SetFrame(const char* id, int messageId) const {
    if (GObject* object = Object(id); object != nullptr && GTK_IS_FRAME(object))
        gtk_frame_set_label(GTK_FRAME(object), Text(messageId).c_str());
}

void WindowDescription::SetColumn(const char* id, int messageId) const {
    if (GObject* object = Object(id); object != nullptr && GTK_IS_TREE_VIEW_COLUMN(object))
        gtk_tree_view_column_set_title(GTK_TREE_VIEW_COLUMN(object), Text(messageId).c_str());
}

void WindowDescription::ShowOrigin(const std::string& origin) const {
    GObject* object = Object("requestedBy");
    if (object == nullptr || !GTK_IS_LABEL(object)) return;
    gtk_label_set_text(GTK_LABEL(object), (Text(529) + " " + origin).c_str());
    gtk_widget_set_visible(GTK_WIDGET(object), !origin.empty());
}

}  // namespace GtkUtil
