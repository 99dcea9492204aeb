#pragma once

#include <gtk/gtk.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <set>
#include <stdexcept>
#include <string>
#include <thread>

namespace GtkTest {

// Drives the windows of the code under test as a user would: the window runs
// its modal loop on the test's main thread while a driver thread finds it by
// title (xdotool search), clicks its widgets and presses keys (xdotool, real X
// input), and reads back what it shows. Widget positions and contents are
// read on the GUI thread through OnGui. Every wait has a deadline; a failed
// step throws, and Drive then closes whatever is still open so the modal loop
// ends and the test reports the failure.
class GuiDriver {
public:
    // Starts the X server (once per process), points the resources at the
    // build's folder and watches windows being shown. On the GUI thread.
    GuiDriver();
    ~GuiDriver();
    GuiDriver(const GuiDriver&) = delete;
    GuiDriver& operator=(const GuiDriver&) = delete;

    static constexpr std::chrono::seconds kDeadline{20};

    // Runs fn on the GUI thread and answers its result.
    template <typename Fn>
    auto OnGui(Fn fn) -> decltype(fn()) {
        using Result = decltype(fn());
        auto task = std::make_shared<std::packaged_task<Result()>>(std::move(fn));
        auto future = task->get_future();
        Post([task] { (*task)(); });
        if (future.wait_for(kDeadline) != std::future_status::ready)
            throw std::runtime_error("the GUI thread did not answer");
        return future.get();
    }
    // Asks the GUI thread until pred answers true; throws at the deadline.
    void WaitUntil(const std::function<bool()>& pred, const std::string& what);

    // Waits until a window of this title is on screen; answers its X id.
    unsigned long WaitForWindow(const std::string& title);
    // Whether a window of this title is on screen now.
    bool Showing(const std::string& title);

    // The named widget (builder id) of the window with this title; GUI thread only.
    static GtkWidget* FindWidget(const std::string& title, const std::string& id);
    static GtkWindow* FindWindow(const std::string& title);

    // Real pointer input.
    void Click(unsigned long window, int x, int y, int clicks = 1);
    void ClickWidget(const std::string& title, const std::string& id, int clicks = 1);
    // A row of a tree view (by builder id) or the header of one of its columns.
    void ClickRow(const std::string& title, const std::string& table, int row, int clicks = 1);
    void ClickHeader(const std::string& title, const std::string& table, int column, int clicks = 1);
    // Gives the widget the keyboard focus and presses the key (xdotool key name).
    void PressKey(const std::string& title, const std::string& id, const std::string& key);
    // Gives the widget the keyboard focus and types the text as keystrokes.
    void TypeText(const std::string& title, const std::string& id, const std::string& text);
    // Whether the widget is shown, and whether it takes input.
    bool Visible(const std::string& title, const std::string& id);
    bool Sensitive(const std::string& title, const std::string& id);
    // What a window manager sends when the user clicks the close box.
    void CloseBox(unsigned long window);

    std::string LabelText(const std::string& title, const std::string& id);
    std::string ButtonText(const std::string& title, const std::string& id);
    // Whether the image widget shows exactly the pixels of this PNG file.
    bool ImageShows(const std::string& title, const std::string& id, const std::string& pngPath);
    bool ImageEmpty(const std::string& title, const std::string& id);

    // Writes a PNG of the window as the X server shows it, after it has been drawn.
    void Screenshot(const std::string& title, const std::string& path);
    // The folder of the screenshots: <build>/screenshots.
    static std::string ScreenshotPath(const std::string& name);

    // Runs steps on a driver thread while the caller's modal window runs;
    // `run` is the modal call on this thread. Answers the driver's failure,
    // empty when all went well.
    std::string Drive(const std::function<void(GuiDriver&)>& steps, const std::function<void()>& run);

private:
    void Post(std::function<void()> fn);
    // The window and the widget take the keyboard focus.
    void Focus(const std::string& title, const std::string& id);
    void CloseEverything();
    static gboolean Watch(GSignalInvocationHint* hint, guint count, const GValue* values, gpointer self);

    std::mutex _mutex;
    std::condition_variable _changed;
    std::multiset<std::string> _showing;
    gulong _mapHook = 0;
    gulong _unmapHook = 0;
    guint _mapSignal = 0;
    guint _unmapSignal = 0;
};

// A text of the message file in a language (0 English, 1 German), as the
// windows show it.
std::string Text(int id, int language = 0);

// Points the code under test at the build's resource folder (when the
// environment has not already).
void UseBuildResources();

}  // namespace GtkTest
