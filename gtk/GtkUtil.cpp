#include "gtk/GtkUtil.h"

#include <gtk/gtk.h>

#include <cstdlib>
#include <cstring>
#include <mutex>

#include "common/Logger.h"
#include "gtk/GtkPtr.h"

namespace GtkUtil {

namespace {

bool Set(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0';
}

}  // namespace

bool WindowsWanted() {
    const char* dialogs = std::getenv("PENDREL_DIALOGS");
    if (dialogs != nullptr && std::strcmp(dialogs, "none") == 0) return false;
    return Set("DISPLAY") || Set("WAYLAND_DISPLAY");
}

bool WindowsAvailable() {
    if (!WindowsWanted()) return false;
    static std::once_flag once;
    static bool initialised = false;
    std::call_once(once, [] {
        initialised = gtk_init_check(nullptr, nullptr) != FALSE;
        if (!initialised) {
            Logger::Get()->SetFunc("WindowsAvailable");
            Logger::Get()->Log("The window system could not be opened; windows are not shown");
        }
    });
    return initialised;
}

void LogNotShown(const char* caller, const char* window) {
    Logger::Get()->SetFunc(caller);
    Logger::Get()->Log("No display or PENDREL_DIALOGS=none: window \"%s\" not shown", window);
}

bool OpenInViewer(const std::string& path) {
    // argv holds the path as one element; GLib runs the program directly
    // (no shell), so quotes, blanks or $(...) in the path are plain bytes.
    char program[] = "xdg-open";
    // A leading '-' would be read as an option: "./" keeps it a file name.
    std::string argument = !path.empty() && path[0] == '-' ? "./" + path : path;
    char* argv[] = {program, &argument[0], nullptr};
    GError* raw = nullptr;
    const gboolean started =
        g_spawn_async(nullptr, argv, nullptr, G_SPAWN_SEARCH_PATH, nullptr, nullptr, nullptr, &raw);
    const ErrorPtr error(raw);
    Logger::Get()->SetFunc("OpenInViewer");
    if (!started) {
        Logger::Get()->Log("xdg-open could not be started: %s", error ? error->message : "no reason given");
        return false;
    }
    Logger::Get()->Log("Opening %s", path.c_str());
    return true;
}

void LogFailure(const char* caller, const char* what) noexcept {
    try {
        Logger::Get()->SetFunc(caller);
        Logger::Get()->Log("Failed: %s", what);
    } catch (...) {
    }
}

}  // namespace GtkUtil
