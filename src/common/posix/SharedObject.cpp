#include "common/posix/SharedObject.h"

#include <dlfcn.h>

#include "common/Logger.h"

namespace Util {

bool KeepLoaded(const void* address) {
    Dl_info info{};
    const char* reason = nullptr;
    if (dladdr(address, &info) == 0 || info.dli_fname == nullptr) {
        reason = "no shared object holds the code";
    } else {
        // RTLD_NOLOAD finds the object already loaded; RTLD_NODELETE makes
        // every later dlclose leave it mapped. The handle itself is not
        // needed: the reference it stands for is the point.
        void* const handle = dlopen(info.dli_fname, RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE);
        if (handle != nullptr) {
            Logger::Get()->SetFunc("KeepLoaded");
            Logger::Get()->Log("%s stays loaded until the process ends", info.dli_fname);
            return true;
        }
        reason = dlerror();
    }
    Logger::Get()->SetFunc("KeepLoaded");
    Logger::Get()->Log("Cannot keep the library loaded: %s", reason != nullptr ? reason : "unknown reason");
    return false;
}

}  // namespace Util
