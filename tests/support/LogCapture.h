#pragma once

#include <string>

namespace TestSupport {

// The log lines written since construction. The first capture of a test
// program moves the process-wide log into a scratch folder of its own, so
// log lines are checked whatever the user's preferences folder holds.
class LogCapture {
public:
    LogCapture();
    // False when logging is switched off (flag file).
    bool Active() const { return _active; }
    bool Enabled() const { return _active; }
    std::string Text() const;
    bool Contains(const std::string& text) const { return Text().find(text) != std::string::npos; }
    // Whether a whole line "<date>] func: message" was logged.
    bool Has(const std::string& func, const std::string& message) const {
        return Contains("] " + func + ": " + message + "\n");
    }

private:
    std::string _file;
    long _start = 0;
    bool _active = false;
};

}  // namespace TestSupport
