#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "host/HostOptions.h"
#include "host/HostSession.h"
#include "npbrowser/PluginLibrary.h"

int main(int argc, char** argv) {
    try {
        const std::vector<std::string> arguments(argv + 1, argv + argc);
        HostOptions options;
        std::string error;
        if (!HostOptions::Parse(
                arguments, [](const char* name) { return std::getenv(name); }, PluginLibrary::BesideProgram(),
                options, error)) {
            std::fprintf(stderr, "pendrel-host: %s\n%s", error.c_str(), HostOptions::Usage());
            return HostSession::kSetupFailed;
        }
        return HostSession(options).Run();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "pendrel-host: %s\n", e.what());
        return HostSession::kSetupFailed;
    }
}
