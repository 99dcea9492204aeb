#pragma once

#include <stdexcept>
#include <string>

#include "pdf/PdfCodes.h"

namespace PDF {

// A failure of the document layer: a negative code the request reports and
// a text for the log. Code 0 marks a failed PDF-library call.
class Exception : public std::runtime_error {
public:
    Exception(int code, const char* text);
    Exception(int code, const std::string& text) : Exception(code, text.c_str()) {}
    // A code of PDF::Code with its fixed text.
    explicit Exception(int code);
    explicit Exception(const char* text);

    int Code() const noexcept { return _code; }

private:
    int _code;
};

}  // namespace PDF
