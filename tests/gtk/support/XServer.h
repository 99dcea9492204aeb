#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace GtkTest {

// A private X server (Xvfb) for the window tests, started on first use on a
// display number it picks itself (-displayfd) and stopped at the end of the
// process. Starting it points DISPLAY at it for this process and its
// children, and keeps GTK on X11 without the accessibility bus.
class XServer {
public:
    static XServer& Instance();
    ~XServer();
    XServer(const XServer&) = delete;
    XServer& operator=(const XServer&) = delete;

    const std::string& Display() const { return _display; }

private:
    XServer();
    pid_t _pid = -1;
    std::string _display;
};

struct ToolResult {
    int status = -1;  // exit status, -1 when it did not run or end normally
    std::string out;  // standard output
};

// Runs a program found on PATH with these arguments (no shell) and waits for it.
ToolResult RunTool(const std::vector<std::string>& argv);

}  // namespace GtkTest
