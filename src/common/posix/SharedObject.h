#pragma once

namespace Util {

// Keeps the shared object that holds `address` (a function of it) loaded
// until the process ends, whatever dlclose calls follow: for code that may
// still run on a thread nobody waits for. False (logged) when the object
// cannot be found or pinned, as for code in the program itself.
bool KeepLoaded(const void* address);

}  // namespace Util
