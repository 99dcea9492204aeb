#pragma once

#include <cstdio>
#include <exception>

// The one catch-all at a C boundary: the browser table's functions and the
// host class's callbacks are called from plug-in code, so nothing may be
// thrown out of them. A failure is reported on stderr and answered with
// `fallback`.
template <typename T, typename Fn>
T CallGuard(const char* func, T fallback, Fn&& fn) noexcept {
    try {
        return fn();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "pendrel-host: %s: %s\n", func, e.what());
    } catch (...) {
        std::fprintf(stderr, "pendrel-host: %s: unknown exception\n", func);
    }
    return fallback;
}
