#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// The native-messaging frames: a 4-byte length in the machine's byte order,
// then that many bytes of UTF-8 JSON, in both directions.
namespace MessageChannel {

// The browser never accepts a message to it over 1 MiB (it closes the port).
constexpr std::size_t kMaxOutgoing = 1024 * 1024;
// A message from the browser over 64 MiB is refused.
constexpr std::size_t kMaxIncoming = 64 * 1024 * 1024;

enum class ReadStatus {
    Message,    // `payload` holds one message
    End,        // the browser closed the port between two messages
    Truncated,  // the port closed inside a message
    TooLarge,   // a message over the limit: its bytes were read and dropped
    Failed,     // reading failed (errno in the log)
};

struct Frame {
    ReadStatus status = ReadStatus::End;
    std::string payload;
    std::uint64_t length = 0;  // the length the frame stated
};

// Reads one frame from `fd`, blocking; short reads are joined.
Frame Read(int fd, std::size_t limit = kMaxIncoming);
// Writes one frame whole; false when the port is gone or the message is
// over kMaxOutgoing (then nothing is written).
bool Write(int fd, const std::string& message);

}  // namespace MessageChannel
