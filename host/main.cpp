#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "host/HostOptions.h"
#include "host/HostSession.h"

namespace {

// The plug-in normally lies next to the host binary.
std::string DefaultPluginPath() {
    char self[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0) return "libpendrelpdf.so";
    std::string path(self, static_cast<size_t>(n));
    const size_t slash = path.rfind('/');
    return (slash == std::string::npos ? std::string(".") : path.substr(0, slash)) + "/libpendrelpdf.so";
}

}  // namespace

int main(int argc, char** argv) {
    try {
        const std::vector<std::string> arguments(argv + 1, argv + argc);
        HostOptions options;
        std::string error;
        if (!HostOptions::Parse(
                arguments, [](const char* name) { return std::getenv(name); }, DefaultPluginPath(), options,
                error)) {
            std::fprintf(stderr, "pendrel-host: %s\n%s", error.c_str(), HostOptions::Usage());
            return HostSession::kSetupFailed;
        }
        return HostSession(options).Run();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "pendrel-host: %s\n", e.what());
        return HostSession::kSetupFailed;
    }
}
