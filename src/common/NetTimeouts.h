#pragma once

#include <chrono>

// How long a download may wait: for its connection, and for its next byte.
// The bounds are the defaults unless PENDREL_NET_CONNECT_TIMEOUT or
// PENDREL_NET_STALL_TIMEOUT name another number of seconds (more than 0, at
// most a day; fractions allowed), which tests use to shorten them.
class NetTimeouts {
public:
    static constexpr std::chrono::seconds kConnect{30};
    static constexpr std::chrono::seconds kStall{60};

    static std::chrono::milliseconds Connect();
    static std::chrono::milliseconds Stall();
};
