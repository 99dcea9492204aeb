#pragma once

#include <exception>
#include <string>

// Shared helpers of the native windows.
namespace GtkUtil {

// False without a display (neither DISPLAY nor WAYLAND_DISPLAY set) or with
// PENDREL_DIALOGS=none: then no window opens at all. Read anew on every call.
bool WindowsWanted();

// WindowsWanted(), and GTK initialised: the first call initialises GTK
// (once per process); false when that failed.
bool WindowsAvailable();

// Logs, under the caller's name, that a window was not shown and why.
void LogNotShown(const char* caller, const char* window);

// Hands a file to the user's default viewer: runs `xdg-open PATH` with the path
// as its one argument, without a shell, and does not wait for it. False when
// the program could not be started. A relative path that starts with '-'
// is passed as "./-..." so that it cannot be taken for an option.
bool OpenInViewer(const std::string& path);

// Logs an exception that reached a signal handler (nothing may unwind into GTK).
void LogFailure(const char* caller, const char* what) noexcept;

template <typename Fn>
void Guarded(const char* caller, Fn&& fn) noexcept {
    try {
        fn();
    } catch (const std::exception& e) {
        LogFailure(caller, e.what());
    } catch (...) {
        LogFailure(caller, "unknown exception");
    }
}

}  // namespace GtkUtil
