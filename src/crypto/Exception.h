#pragma once

#include <stdexcept>
#include <string>

namespace Crypto {

// A failure inside the certificate and cryptography code: a message and a
// code. Raised as a value, caught by reference.
class Exception : public std::runtime_error {
public:
    Exception(int code, const std::string& message);

    int Code() const { return _code; }

private:
    int _code;
};

}  // namespace Crypto
