#pragma once

#include <string>

namespace TestSupport {

// The log lines written since construction. The process-wide log lives in
// the user's preferences folder; when that folder does not exist (or logging
// is switched off) nothing is written and Active() is false, so tests check
// log lines only when it is true.
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
