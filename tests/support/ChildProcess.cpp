#include "support/ChildProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <stdexcept>

namespace TestSupport {

namespace {

using Clock = std::chrono::steady_clock;

int Remaining(Clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left < 0 ? 0 : static_cast<int>(left);
}

// The program's path: as given when it names a folder, else found in PATH.
std::string Resolve(const std::string& program) {
    if (program.find('/') != std::string::npos) return program;
    const char* path = std::getenv("PATH");
    std::string folders = path != nullptr ? path : "/usr/bin:/bin";
    std::size_t start = 0;
    while (start <= folders.size()) {
        const std::size_t end = std::min(folders.find(':', start), folders.size());
        const std::string candidate = folders.substr(start, end - start) + "/" + program;
        if (end > start && ::access(candidate.c_str(), X_OK) == 0) return candidate;
        start = end + 1;
    }
    return program;
}

}  // namespace

ChildProcess::ChildProcess(const std::vector<std::string>& argv) {
    if (argv.empty()) throw std::invalid_argument("ChildProcess: no program");
    // Everything the child needs is prepared before fork: after it only
    // async-signal-safe calls are made.
    const std::string program = Resolve(argv[0]);
    std::vector<char*> args;
    args.push_back(const_cast<char*>(program.c_str()));
    for (std::size_t i = 1; i < argv.size(); ++i) args.push_back(const_cast<char*>(argv[i].c_str()));
    args.push_back(nullptr);

    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) throw std::runtime_error("pipe2 failed");
    const pid_t pid = ::fork();
    if (pid < 0) {
        ::close(fds[0]);
        ::close(fds[1]);
        throw std::runtime_error("fork failed");
    }
    if (pid == 0) {
        ::setpgid(0, 0);
        ::dup2(fds[1], STDOUT_FILENO);
        ::dup2(fds[1], STDERR_FILENO);
        const int devnull = ::open("/dev/null", O_RDONLY);
        if (devnull >= 0) ::dup2(devnull, STDIN_FILENO);
        ::execv(args[0], args.data());
        ::_exit(127);
    }
    ::setpgid(pid, pid);  // also here, so that the group exists whichever runs first
    ::close(fds[1]);
    _pid = pid;
    _output_fd = fds[0];
}

ChildProcess::~ChildProcess() {
    Stop();
    if (_output_fd >= 0) ::close(_output_fd);
}

bool ChildProcess::Collect(std::chrono::milliseconds timeout) {
    if (_output_fd < 0) return false;
    pollfd pfd{_output_fd, POLLIN, 0};
    const int ready = ::poll(&pfd, 1, static_cast<int>(timeout.count()));
    if (ready <= 0) return ready == 0 || errno == EINTR;
    char buffer[4096];
    const ssize_t got = ::read(_output_fd, buffer, sizeof(buffer));
    if (got > 0) {
        _output.append(buffer, static_cast<std::size_t>(got));
        return true;
    }
    if (got < 0 && errno == EINTR) return true;
    ::close(_output_fd);
    _output_fd = -1;
    return false;
}

bool ChildProcess::WaitForOutput(const std::string& text, std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    while (_output.find(text) == std::string::npos) {
        if (Clock::now() >= deadline) return false;
        if (!Collect(std::chrono::milliseconds(Remaining(deadline))))
            return _output.find(text) != std::string::npos;
    }
    return true;
}

bool ChildProcess::WaitForExit(std::chrono::milliseconds timeout) {
    if (_reaped) return true;
    const int pidfd = static_cast<int>(::syscall(SYS_pidfd_open, _pid, 0));
    if (pidfd >= 0) {
        pollfd pfd{pidfd, POLLIN, 0};
        const int ready = ::poll(&pfd, 1, static_cast<int>(timeout.count()));
        ::close(pidfd);
        return ready > 0;
    }
    // Without process descriptors (old kernels, valgrind): ask, and wait a
    // little between the questions, until the deadline.
    const auto deadline = Clock::now() + timeout;
    for (;;) {
        int status = 0;
        const pid_t got = ::waitpid(_pid, &status, WNOHANG);
        if (got == _pid) {
            _reaped = true;
            _status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            return true;
        }
        if (got < 0 && errno != EINTR) return false;
        if (Clock::now() >= deadline) return false;
        ::poll(nullptr, 0, std::min(10, Remaining(deadline)));
    }
}

int ChildProcess::Reap() {
    if (_reaped) return _status;
    int status = 0;
    pid_t got;
    do {
        got = ::waitpid(_pid, &status, 0);
    } while (got < 0 && errno == EINTR);
    _reaped = true;
    _status = got == _pid && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return _status;
}

int ChildProcess::Wait(std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    while (Clock::now() < deadline && Collect(std::chrono::milliseconds(Remaining(deadline)))) {
    }
    if (_reaped) return _status;
    if (!WaitForExit(std::chrono::milliseconds(Remaining(deadline)))) {
        Stop();
        return -1;
    }
    ::kill(-_pid, SIGKILL);  // helpers it left behind in its group
    return Reap();
}

void ChildProcess::Stop() {
    if (_pid <= 0 || _reaped) return;
    ::kill(-_pid, SIGTERM);
    if (!WaitForExit(std::chrono::seconds(5))) ::kill(-_pid, SIGKILL);
    // The leader is a zombie until reaped, so the group id cannot have been
    // reused: sweep whatever else is left in it.
    ::kill(-_pid, SIGKILL);
    Reap();
    _status = -1;
}

int RunCommand(const std::vector<std::string>& argv, std::string* output) {
    ChildProcess child(argv);
    const int status = child.Wait(std::chrono::minutes(1));
    if (output != nullptr) *output = child.Output();
    return status;
}

}  // namespace TestSupport
