#pragma once

#include <string>

namespace Util {

// The home directory of the real user id, from the password database (not
// from $HOME, which a browser's environment may not carry). Empty if unknown.
std::string HomeDirectory();

}  // namespace Util
