#pragma once

#include <cstdio>
#include <exception>

#include "npbrowser/ProgramName.h"

// The one catch-all at a C boundary: the browser table's functions and the
// host class's callbacks are called from plug-in code, so nothing may be
// thrown out of them. A failure is reported on stderr and answered with
// `fallback`.
template <typename T, typename Fn>
T CallGuard(const char* func, T fallback, Fn&& fn) noexcept {
    try {
        return fn();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s: %s: %s\n", ProgramName::Get(), func, e.what());
    } catch (...) {
        std::fprintf(stderr, "%s: %s: unknown exception\n", ProgramName::Get(), func);
    }
    return fallback;
}
