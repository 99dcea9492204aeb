#include "support/Process.h"

#include <chrono>
#include <stdexcept>

#include "support/ChildProcess.h"

namespace TestSupport {

int RunProgram(const std::vector<std::string>& argv, std::string* output) {
    if (argv.empty()) return -1;
    try {
        ChildProcess child(argv);
        const int status = child.Wait(std::chrono::hours(1));  // no practical limit
        if (output != nullptr) output->append(child.Output());
        return status;
    } catch (const std::runtime_error&) {
        return -1;  // could not be started
    }
}

}  // namespace TestSupport
