#pragma once

#include <sys/resource.h>

namespace TestSupport {

// Peak resident memory of the test process so far, in KiB.
inline long PeakKiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

}  // namespace TestSupport
