#pragma once

#include <chrono>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "common/URLStream.h"

// URLStream over a libcurl multi transfer. Each read step drives the transfer
// once and, when nothing has arrived, waits on its sockets for at most
// kWaitMilliseconds, so a silent server costs no processor time. Proxies come
// from libcurl's environment handling (http_proxy, https_proxy, ALL_PROXY, no_proxy).
// Every wait is bounded (NetTimeouts): the connection must stand within the
// connect time, and a transfer that brings no byte for the stall time fails.
class URLStreamCurl final : public URLStream {
public:
    explicit URLStreamCurl(const std::string& url);
    ~URLStreamCurl() override;

    long read(unsigned char* buffer, std::size_t size) override;
    long ResponseCode() const override;
    void SetLimit(std::size_t bytes) override { _limit = bytes; }

    static constexpr int kWaitMilliseconds = 50;
    static constexpr std::size_t kBufferSize = 32768;

private:
    struct Handles;  // the libcurl handles, kept out of this header

    // Runs one step of the transfer; false when the transfer engine failed.
    bool Step();
    // False when the piece would take the transfer past its limit.
    bool Append(const char* data, std::size_t size);
    // Fails the transfer when no byte has come for the stall time.
    void CheckStall();
    static std::size_t WriteCallback(char* data, std::size_t size, std::size_t count, void* stream);

    std::unique_ptr<Handles> _handles;
    std::vector<unsigned char> _buffer;  // unread data is [_readPos, _buffer.size())
    std::size_t _readPos = 0;
    std::size_t _received = 0;
    std::size_t _limit = std::numeric_limits<std::size_t>::max();
    const std::chrono::milliseconds _stall;
    std::chrono::steady_clock::time_point _lastProgress;
    bool _started = false;
    bool _finished = false;
    bool _failed = false;
};
