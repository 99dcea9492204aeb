#include "npbrowser/PluginLibrary.h"

#include <dlfcn.h>
#include <limits.h>
#include <unistd.h>

PluginLibrary::~PluginLibrary() {
    if (_handle != nullptr && !_keep) dlclose(_handle);
}

bool PluginLibrary::Load(const std::string& path, std::string& error, unsigned tableSize) {
    _handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (_handle == nullptr) {
        const char* reason = dlerror();
        error = "cannot load " + path + ": " + (reason != nullptr ? reason : "unknown reason");
        return false;
    }
    const auto getEntryPoints = reinterpret_cast<NP_GetEntryPointsFunc>(dlsym(_handle, "NP_GetEntryPoints"));
    _initialize = reinterpret_cast<NP_InitializeFunc>(dlsym(_handle, "NP_Initialize"));
    _shutdown = reinterpret_cast<NP_ShutdownFunc>(dlsym(_handle, "NP_Shutdown"));
    if (getEntryPoints == nullptr || _initialize == nullptr || _shutdown == nullptr) {
        error = path + " does not export NP_GetEntryPoints, NP_Initialize and NP_Shutdown";
        return false;
    }
    _funcs = NPPluginFuncs{};
    _funcs.size = static_cast<uint16_t>(tableSize != 0 ? tableSize : sizeof(NPPluginFuncs));
    const NPError rc = getEntryPoints(&_funcs);
    if (rc != NPERR_NO_ERROR) {
        error = "NP_GetEntryPoints answered " + std::to_string(rc);
        return false;
    }
    if (_funcs.newp == nullptr || _funcs.destroy == nullptr || _funcs.getvalue == nullptr) {
        error = "NP_GetEntryPoints left NPP_New, NPP_Destroy or NPP_GetValue out";
        return false;
    }
    return true;
}

std::string PluginLibrary::BesideProgram() {
    char self[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0) return "libpendrelpdf.so";
    std::string path(self, static_cast<size_t>(n));
    const size_t slash = path.rfind('/');
    return (slash == std::string::npos ? std::string(".") : path.substr(0, slash)) + "/libpendrelpdf.so";
}
