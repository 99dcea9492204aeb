#pragma once

#include <string>

namespace TestSupport {

// The log lines written since construction. The first capture of a test
// program moves the process-wide log into a scratch folder of its own, so
// log lines are checked whatever the user's preferences folder holds.
class LogCapture {
public:
    LogCapture();
    bool Active() const { return _active; }
    std::string Text() const;
    bool Contains(const std::string& text) const { return Text().find(text) != std::string::npos; }

private:
    std::string _file;
    long _start = 0;
    bool _active = false;
};

}  // namespace TestSupport
