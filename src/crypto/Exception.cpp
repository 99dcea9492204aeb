#include "crypto/Exception.h"

namespace Crypto {

Exception::Exception(int code, const std::string& message) : std::runtime_error(message), _code(code) {}

}  // namespace Crypto
