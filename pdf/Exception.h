#pragma once

#include <stdexcept>
#include <string>

namespace PDF {

// A failure of the document layer: a negative code the request reports and
// a text for the log. Code 0 marks a failed PDF-library call.
class Exception : public std::runtime_error {
public:
    Exception(int code, const char* text);
    Exception(int code, const std::string& text) : Exception(code, text.c_str()) {}
    explicit Exception(const char* text);

    int Code() const noexcept { return _code; }

private:
    int _code;
};

}  // namespace PDF
