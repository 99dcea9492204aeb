#include "support/GuiDriver.h"

#include <X11/Xlib.h>
#include <sys/stat.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>

#include "common/Util.h"
#include "support/XServer.h"

namespace GtkTest {

namespace {

std::string RegexFor(const std::string& title) {
    std::string pattern = "^";
    for (const char c : title) {
        if (std::strchr(".^$*+?()[]{}|\\", c) != nullptr) pattern += '\\';
        pattern += c;
    }
    return pattern + "$";
}

struct Found {
    GtkWidget* widget;
    const std::string& id;
};

void FindIn(GtkWidget* widget, gpointer data) {
    auto* found = static_cast<Found*>(data);
    if (found->widget != nullptr) return;
    const char* name = GTK_IS_BUILDABLE(widget) ? gtk_buildable_get_name(GTK_BUILDABLE(widget)) : nullptr;
    if (name != nullptr && found->id == name) {
        found->widget = widget;
        return;
    }
    if (GTK_IS_CONTAINER(widget)) gtk_container_forall(GTK_CONTAINER(widget), FindIn, data);
}

struct Point {
    int x;
    int y;
};

// Widget coordinates inside `widget` to coordinates of its toplevel.
Point InToplevel(GtkWidget* widget, int x, int y) {
    GtkWidget* top = gtk_widget_get_toplevel(widget);
    int tx = 0;
    int ty = 0;
    if (!gtk_widget_translate_coordinates(widget, top, x, y, &tx, &ty))
        throw std::runtime_error("widget not inside its window");
    return {tx, ty};
}

Point Centre(GtkWidget* widget) {
    GtkAllocation a;
    gtk_widget_get_allocation(widget, &a);
    return InToplevel(widget, a.width / 2, a.height / 2);
}

struct PostedCall {
    std::function<void()> fn;
};

gboolean RunPosted(gpointer data) {
    static_cast<PostedCall*>(data)->fn();
    return G_SOURCE_REMOVE;
}

void FreePosted(gpointer data) {
    delete static_cast<PostedCall*>(data);
}

std::atomic<int> drawCount{0};

gboolean CountDraw(GtkWidget*, cairo_t*, gpointer) {
    ++drawCount;
    return FALSE;
}

}  // namespace

void UseBuildResources() {
    const char* dir = std::getenv("PENDREL_RESOURCE_DIR");
    if (dir == nullptr || *dir == '\0') ::setenv("PENDREL_RESOURCE_DIR", PENDREL_RESOURCE_DIR, 1);
}

std::string Text(int id, int language) {
    UseBuildResources();
    return Util::LoadString(id, language);
}

GuiDriver::GuiDriver() {
    UseBuildResources();
    XServer::Instance();
    g_type_class_unref(g_type_class_ref(GTK_TYPE_WINDOW));
    _mapSignal = g_signal_lookup("map-event", GTK_TYPE_WIDGET);
    _unmapSignal = g_signal_lookup("unmap", GTK_TYPE_WIDGET);
    _mapHook = g_signal_add_emission_hook(_mapSignal, 0, &GuiDriver::Watch, this, nullptr);
    _unmapHook = g_signal_add_emission_hook(_unmapSignal, 0, &GuiDriver::Watch, this, nullptr);
}

GuiDriver::~GuiDriver() {
    g_signal_remove_emission_hook(_mapSignal, _mapHook);
    g_signal_remove_emission_hook(_unmapSignal, _unmapHook);
}

gboolean GuiDriver::Watch(GSignalInvocationHint* hint, guint count, const GValue* values, gpointer data) {
    auto* self = static_cast<GuiDriver*>(data);
    GObject* object = count > 0 ? G_OBJECT(g_value_get_object(&values[0])) : nullptr;
    if (object == nullptr || !GTK_IS_WINDOW(object)) return TRUE;
    const char* title = gtk_window_get_title(GTK_WINDOW(object));
    if (title == nullptr) return TRUE;
    {
        const std::lock_guard<std::mutex> lock(self->_mutex);
        if (hint->signal_id == self->_mapSignal) {
            self->_showing.insert(title);
        } else if (const auto it = self->_showing.find(title); it != self->_showing.end()) {
            self->_showing.erase(it);
        }
    }
    self->_changed.notify_all();
    return TRUE;
}

void GuiDriver::Post(std::function<void()> fn) {
    g_idle_add_full(G_PRIORITY_LOW, RunPosted, new PostedCall{std::move(fn)}, FreePosted);
}

void GuiDriver::WaitUntil(const std::function<bool()>& pred, const std::string& what) {
    const auto deadline = std::chrono::steady_clock::now() + kDeadline;
    while (!OnGui(pred)) {
        if (std::chrono::steady_clock::now() > deadline)
            throw std::runtime_error("timed out waiting for " + what);
    }
}

bool GuiDriver::Showing(const std::string& title) {
    const std::lock_guard<std::mutex> lock(_mutex);
    return _showing.count(title) > 0;
}

unsigned long GuiDriver::WaitForWindow(const std::string& title) {
    const auto deadline = std::chrono::steady_clock::now() + kDeadline;
    {
        std::unique_lock<std::mutex> lock(_mutex);
        if (!_changed.wait_until(lock, deadline, [&] { return _showing.count(title) > 0; }))
            throw std::runtime_error("window \"" + title + "\" did not appear");
    }
    // GTK has seen the window mapped; now find it on the X server as any client would.
    for (;;) {
        const ToolResult found = RunTool({"xdotool", "search", "--onlyvisible", "--name", RegexFor(title)});
        if (found.status == 0 && !found.out.empty()) return std::stoul(found.out);
        if (std::chrono::steady_clock::now() > deadline)
            throw std::runtime_error("xdotool did not find window \"" + title + "\"");
    }
}

GtkWindow* GuiDriver::FindWindow(const std::string& title) {
    GList* windows = gtk_window_list_toplevels();
    GtkWindow* result = nullptr;
    for (GList* w = windows; w != nullptr; w = w->next) {
        GtkWindow* window = GTK_WINDOW(w->data);
        const char* t = gtk_window_get_title(window);
        if (t != nullptr && title == t && gtk_widget_get_mapped(GTK_WIDGET(window))) result = window;
    }
    g_list_free(windows);
    if (result == nullptr) throw std::runtime_error("no window \"" + title + "\"");
    return result;
}

GtkWidget* GuiDriver::FindWidget(const std::string& title, const std::string& id) {
    Found found{nullptr, id};
    FindIn(GTK_WIDGET(FindWindow(title)), &found);
    if (found.widget == nullptr) throw std::runtime_error("no widget \"" + id + "\" in \"" + title + "\"");
    return found.widget;
}

void GuiDriver::Click(unsigned long window, int x, int y, int clicks) {
    const ToolResult r =
        RunTool({"xdotool", "mousemove", "--window", std::to_string(window), std::to_string(x),
                 std::to_string(y), "click", "--repeat", std::to_string(clicks), "--delay", "80", "1"});
    if (r.status != 0) throw std::runtime_error("xdotool click failed");
}

void GuiDriver::ClickWidget(const std::string& title, const std::string& id, int clicks) {
    const unsigned long window = WaitForWindow(title);
    const Point p = OnGui([&] { return Centre(FindWidget(title, id)); });
    Click(window, p.x, p.y, clicks);
}

void GuiDriver::ClickRow(const std::string& title, const std::string& table, int row, int clicks) {
    const unsigned long window = WaitForWindow(title);
    const Point p = OnGui([&] {
        GtkTreeView* view = GTK_TREE_VIEW(FindWidget(title, table));
        GtkTreePath* path = gtk_tree_path_new_from_indices(row, -1);
        GdkRectangle cell;
        gtk_tree_view_get_cell_area(view, path, gtk_tree_view_get_column(view, 0), &cell);
        gtk_tree_path_free(path);
        int x = 0;
        int y = 0;
        gtk_tree_view_convert_bin_window_to_widget_coords(view, cell.x + 8, cell.y + cell.height / 2, &x, &y);
        return InToplevel(GTK_WIDGET(view), x, y);
    });
    Click(window, p.x, p.y, clicks);
}

void GuiDriver::ClickHeader(const std::string& title, const std::string& table, int column, int clicks) {
    const unsigned long window = WaitForWindow(title);
    const Point p = OnGui([&] {
        GtkTreeView* view = GTK_TREE_VIEW(FindWidget(title, table));
        GtkWidget* header = gtk_tree_view_column_get_button(gtk_tree_view_get_column(view, column));
        if (header == nullptr) throw std::runtime_error("no column header");
        return Centre(header);
    });
    Click(window, p.x, p.y, clicks);
}

void GuiDriver::Focus(const std::string& title, const std::string& id) {
    const unsigned long window = WaitForWindow(title);
    if (RunTool({"xdotool", "windowfocus", "--sync", std::to_string(window)}).status != 0)
        throw std::runtime_error("xdotool windowfocus failed");
    OnGui([&] {
        gtk_widget_grab_focus(FindWidget(title, id));
        return true;
    });
}

void GuiDriver::PressKey(const std::string& title, const std::string& id, const std::string& key) {
    Focus(title, id);
    if (RunTool({"xdotool", "key", key}).status != 0) throw std::runtime_error("xdotool key failed");
}

void GuiDriver::TypeText(const std::string& title, const std::string& id, const std::string& text) {
    Focus(title, id);
    if (RunTool({"xdotool", "type", "--delay", "30", text}).status != 0)
        throw std::runtime_error("xdotool type failed");
}

bool GuiDriver::Visible(const std::string& title, const std::string& id) {
    return OnGui([&] { return gtk_widget_get_visible(FindWidget(title, id)) != FALSE; });
}

bool GuiDriver::Sensitive(const std::string& title, const std::string& id) {
    return OnGui([&] { return gtk_widget_get_sensitive(FindWidget(title, id)) != FALSE; });
}

void GuiDriver::CloseBox(unsigned long window) {
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) throw std::runtime_error("cannot open the X display");
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(display, window, False, NoEventMask, &event);
    XSync(display, False);
    XCloseDisplay(display);
}

std::string GuiDriver::LabelText(const std::string& title, const std::string& id) {
    return OnGui([&] {
        GtkWidget* widget = FindWidget(title, id);
        if (!GTK_IS_LABEL(widget)) throw std::runtime_error(id + " is no label");
        return std::string(gtk_label_get_text(GTK_LABEL(widget)));
    });
}

std::string GuiDriver::ButtonText(const std::string& title, const std::string& id) {
    return OnGui([&] {
        GtkWidget* widget = FindWidget(title, id);
        if (!GTK_IS_BUTTON(widget)) throw std::runtime_error(id + " is no button");
        const char* label = gtk_button_get_label(GTK_BUTTON(widget));
        return std::string(label != nullptr ? label : "");
    });
}

bool GuiDriver::ImageShows(const std::string& title, const std::string& id, const std::string& pngPath) {
    return OnGui([&] {
        GtkWidget* widget = FindWidget(title, id);
        if (!GTK_IS_IMAGE(widget) || gtk_image_get_storage_type(GTK_IMAGE(widget)) != GTK_IMAGE_PIXBUF)
            return false;
        GdkPixbuf* shown = gtk_image_get_pixbuf(GTK_IMAGE(widget));
        GdkPixbuf* file = gdk_pixbuf_new_from_file(pngPath.c_str(), nullptr);
        if (file == nullptr) throw std::runtime_error("cannot read " + pngPath);
        bool same = gdk_pixbuf_get_width(shown) == gdk_pixbuf_get_width(file) &&
                    gdk_pixbuf_get_height(shown) == gdk_pixbuf_get_height(file) &&
                    gdk_pixbuf_get_n_channels(shown) == gdk_pixbuf_get_n_channels(file);
        const int rowBytes = gdk_pixbuf_get_width(file) * gdk_pixbuf_get_n_channels(file);
        for (int y = 0; same && y < gdk_pixbuf_get_height(file); ++y)
            same =
                std::memcmp(gdk_pixbuf_read_pixels(shown) + y * gdk_pixbuf_get_rowstride(shown),
                            gdk_pixbuf_read_pixels(file) + y * gdk_pixbuf_get_rowstride(file), rowBytes) == 0;
        g_object_unref(file);
        return same;
    });
}

bool GuiDriver::ImageEmpty(const std::string& title, const std::string& id) {
    return OnGui([&] {
        GtkWidget* widget = FindWidget(title, id);
        return GTK_IS_IMAGE(widget) && gtk_image_get_storage_type(GTK_IMAGE(widget)) == GTK_IMAGE_EMPTY;
    });
}

std::string GuiDriver::ScreenshotPath(const std::string& name) {
    const std::string folder = std::string(PENDREL_BINARY_DIR) + "/screenshots";
    ::mkdir(folder.c_str(), 0755);
    return folder + "/" + name;
}

void GuiDriver::Screenshot(const std::string& title, const std::string& path) {
    WaitForWindow(title);
    const int before = drawCount;
    const gulong handler = OnGui([&] {
        GtkWidget* window = GTK_WIDGET(FindWindow(title));
        const gulong id = g_signal_connect_after(window, "draw", G_CALLBACK(CountDraw), nullptr);
        gtk_widget_queue_draw(window);
        return id;
    });
    WaitUntil([&] { return drawCount > before; }, "a drawn window");
    const bool saved = OnGui([&] {
        GtkWidget* window = GTK_WIDGET(FindWindow(title));
        g_signal_handler_disconnect(window, handler);
        GdkWindow* gdkWindow = gtk_widget_get_window(window);
        GdkPixbuf* shot = gdk_pixbuf_get_from_window(gdkWindow, 0, 0, gdk_window_get_width(gdkWindow),
                                                     gdk_window_get_height(gdkWindow));
        if (shot == nullptr) return false;
        const bool ok = gdk_pixbuf_save(shot, path.c_str(), "png", nullptr, nullptr) != FALSE;
        g_object_unref(shot);
        return ok;
    });
    if (!saved) throw std::runtime_error("screenshot " + path + " not written");
}

void GuiDriver::CloseEverything() {
    try {
        OnGui([] {
            GList* windows = gtk_window_list_toplevels();
            for (GList* w = windows; w != nullptr; w = w->next)
                if (gtk_widget_get_mapped(GTK_WIDGET(w->data)) &&
                    gtk_window_get_title(GTK_WINDOW(w->data)) != nullptr)
                    gtk_window_close(GTK_WINDOW(w->data));
            g_list_free(windows);
            return true;
        });
    } catch (const std::exception&) {
    }
}

std::string GuiDriver::Drive(const std::function<void(GuiDriver&)>& steps, const std::function<void()>& run) {
    std::string error;
    std::atomic<bool> done{false};
    std::atomic<bool> ran{false};
    std::thread driver([&] {
        try {
            steps(*this);
        } catch (const std::exception& e) {
            error = e.what();
            CloseEverything();
        }
        // A window still open after the last step (a click the X server lost
        // on a loaded machine) fails the test instead of hanging it.
        for (int attempt = 0; attempt < 4 && !ran; ++attempt) {
            const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(attempt == 0 ? 30 : 5);
            while (!ran && std::chrono::steady_clock::now() < until)
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            if (ran) break;
            if (error.empty()) error = "the window was still open 30 s after the last step";
            CloseEverything();
        }
        done = true;
        Post([] {});  // wakes the loop below
    });
    run();
    ran = true;
    // Keep serving the driver's requests until it has finished.
    while (!done) g_main_context_iteration(nullptr, TRUE);
    driver.join();
    return error;
}

}  // namespace GtkTest
