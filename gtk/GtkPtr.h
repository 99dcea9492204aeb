#pragma once

#include <gtk/gtk.h>

#include <memory>

// Owners for the GLib/GTK handles the windows keep.
namespace GtkUtil {

struct GObjectUnref {
    void operator()(gpointer object) const noexcept {
        if (object != nullptr) g_object_unref(object);
    }
};
template <typename T>
using GObjectPtr = std::unique_ptr<T, GObjectUnref>;

// A toplevel window is held by GTK's window list, not by its builder:
// it goes only when destroyed.
struct WidgetDestroyer {
    void operator()(GtkWidget* widget) const noexcept { gtk_widget_destroy(widget); }
};
using WindowPtr = std::unique_ptr<GtkWidget, WidgetDestroyer>;

struct MainLoopUnref {
    void operator()(GMainLoop* loop) const noexcept { g_main_loop_unref(loop); }
};
using MainLoopPtr = std::unique_ptr<GMainLoop, MainLoopUnref>;

struct ErrorFree {
    void operator()(GError* error) const noexcept { g_error_free(error); }
};
using ErrorPtr = std::unique_ptr<GError, ErrorFree>;

struct TreePathFree {
    void operator()(GtkTreePath* path) const noexcept { gtk_tree_path_free(path); }
};
using TreePathPtr = std::unique_ptr<GtkTreePath, TreePathFree>;

// A main-loop source attached by g_timeout_add & co., removed with its owner.
class SourceId {
public:
    SourceId() = default;
    explicit SourceId(guint id) : _id(id) {}
    ~SourceId() { Remove(); }
    SourceId(const SourceId&) = delete;
    SourceId& operator=(const SourceId&) = delete;
    void Remove() {
        if (_id != 0) g_source_remove(_id);
        _id = 0;
    }

private:
    guint _id = 0;
};

}  // namespace GtkUtil
