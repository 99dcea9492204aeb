#include "support/XServer.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <stdexcept>

extern char** environ;

namespace GtkTest {

namespace {

class Fd {
public:
    explicit Fd(int fd = -1) : _fd(fd) {}
    ~Fd() { Close(); }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int Get() const { return _fd; }
    void Close() {
        if (_fd >= 0) ::close(_fd);
        _fd = -1;
    }

private:
    int _fd;
};

}  // namespace

XServer& XServer::Instance() {
    static XServer server;
    return server;
}

XServer::XServer() {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) throw std::runtime_error("pipe2 failed");
    Fd readEnd(fds[0]);
    Fd writeEnd(fds[1]);
    const std::string fdText = std::to_string(writeEnd.Get());
    const pid_t parent = ::getpid();
    _pid = ::fork();
    if (_pid < 0) throw std::runtime_error("fork failed");
    if (_pid == 0) {
        // The server goes with the test process, however that ends.
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (::getppid() != parent) ::_exit(127);
        ::fcntl(fds[1], F_SETFD, 0);
        const int null = ::open("/dev/null", O_WRONLY);
        if (null >= 0) {
            ::dup2(null, 1);
            ::dup2(null, 2);
        }
        ::execlp("Xvfb", "Xvfb", "-displayfd", fdText.c_str(), "-screen", "0", "1280x1024x24", "-nolisten",
                 "tcp", static_cast<char*>(nullptr));
        ::_exit(127);
    }
    writeEnd.Close();
    std::string number;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (number.empty() || number.back() != '\n') {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        pollfd p{readEnd.Get(), POLLIN, 0};
        if (left.count() <= 0 || ::poll(&p, 1, static_cast<int>(left.count())) <= 0)
            throw std::runtime_error("Xvfb did not report its display");
        char buffer[16];
        const ssize_t got = ::read(readEnd.Get(), buffer, sizeof buffer);
        if (got <= 0) throw std::runtime_error("Xvfb ended before reporting its display");
        number.append(buffer, static_cast<size_t>(got));
    }
    number.pop_back();
    _display = ":" + number;
    ::setenv("DISPLAY", _display.c_str(), 1);
    ::unsetenv("WAYLAND_DISPLAY");
    ::setenv("GDK_BACKEND", "x11", 1);
    ::setenv("NO_AT_BRIDGE", "1", 1);
    ::setenv("GTK_THEME", "Adwaita", 1);
}

XServer::~XServer() {
    if (_pid > 0) {
        ::kill(_pid, SIGTERM);
        int status = 0;
        ::waitpid(_pid, &status, 0);
    }
}

ToolResult RunTool(const std::vector<std::string>& argv) {
    ToolResult result;
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) return result;
    Fd readEnd(fds[0]);
    Fd writeEnd(fds[1]);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, writeEnd.Get(), 1);
    std::vector<std::string> args = argv;
    std::vector<char*> raw;
    for (std::string& a : args) raw.push_back(&a[0]);
    raw.push_back(nullptr);
    pid_t pid = -1;
    const int spawned = ::posix_spawnp(&pid, raw[0], &actions, nullptr, raw.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    writeEnd.Close();
    if (spawned != 0) return result;
    char buffer[4096];
    ssize_t got;
    while ((got = ::read(readEnd.Get(), buffer, sizeof buffer)) > 0)
        result.out.append(buffer, static_cast<size_t>(got));
    int status = 0;
    if (::waitpid(pid, &status, 0) == pid && WIFEXITED(status)) result.status = WEXITSTATUS(status);
    return result;
}

}  // namespace GtkTest
