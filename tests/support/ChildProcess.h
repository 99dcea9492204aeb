#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

namespace TestSupport {

// A program started by a test (no shell), in its own process group, with its
// standard output and error collected through a pipe. The destructor stops
// the whole group and reaps it, so nothing outlives the test.
class ChildProcess {
public:
    explicit ChildProcess(const std::vector<std::string>& argv);
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // Collects output until it contains text (true), the output ends or the
    // timeout passes (false).
    bool WaitForOutput(const std::string& text, std::chrono::milliseconds timeout);
    // Collects output until it ends, then reaps the process: its exit status,
    // or -1 when it was killed (also after the timeout).
    int Wait(std::chrono::milliseconds timeout);
    // True once the process has ended (it is not reaped here).
    bool WaitForExit(std::chrono::milliseconds timeout);
    // SIGTERM to the group, SIGKILL if it has not ended within a few seconds.
    void Stop();

    const std::string& Output() const { return _output; }
    pid_t Pid() const { return _pid; }

private:
    // Reads what is available within the timeout; false once the output has ended.
    bool Collect(std::chrono::milliseconds timeout);
    int Reap();

    pid_t _pid = -1;
    int _output_fd = -1;
    bool _reaped = false;
    int _status = -1;
    std::string _output;
};

// Runs a program to its end (at most a minute) and gives its exit status;
// its output goes to *output when given.
int RunCommand(const std::vector<std::string>& argv, std::string* output = nullptr);

}  // namespace TestSupport
