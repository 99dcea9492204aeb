#include "common/NetTimeouts.h"

#include <cmath>
#include <cstdlib>
#include <locale>
#include <sstream>

namespace {

constexpr double kMaxSeconds = 24 * 60 * 60;

// The environment's value in milliseconds, or `fallback` when it is absent
// or not a usable number of seconds.
std::chrono::milliseconds FromEnvironment(const char* name, std::chrono::milliseconds fallback) {
    const char* text = std::getenv(name);
    if (text == nullptr || *text == '\0') return fallback;
    // Read in the "C" locale: "0.5" means half a second whatever the user's locale.
    std::istringstream in(text);
    in.imbue(std::locale::classic());
    double seconds = 0;
    in >> seconds;
    if (in.fail() || in.peek() != std::char_traits<char>::eof()) return fallback;
    if (!std::isfinite(seconds) || seconds <= 0 || seconds > kMaxSeconds) return fallback;
    const auto milliseconds = static_cast<long long>(std::ceil(seconds * 1000));
    return std::chrono::milliseconds(milliseconds);
}

}  // namespace

std::chrono::milliseconds NetTimeouts::Connect() {
    return FromEnvironment("PENDREL_NET_CONNECT_TIMEOUT", kConnect);
}

std::chrono::milliseconds NetTimeouts::Stall() {
    return FromEnvironment("PENDREL_NET_STALL_TIMEOUT", kStall);
}
