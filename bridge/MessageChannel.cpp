#include "bridge/MessageChannel.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

namespace MessageChannel {

namespace {

// Reads up to `size` bytes; answers how many came before the end.
ssize_t ReadFull(int fd, char* data, std::size_t size) {
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = ::read(fd, data + done, size - done);
        if (n == 0) break;
        if (n < 0) {
            if (errno == EINTR) continue;
            return -1;
        }
        done += static_cast<std::size_t>(n);
    }
    return static_cast<ssize_t>(done);
}

bool WriteFull(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace

Frame Read(int fd, std::size_t limit) {
    Frame frame;
    std::uint32_t length = 0;
    const ssize_t head = ReadFull(fd, reinterpret_cast<char*>(&length), sizeof length);
    if (head < 0) {
        frame.status = ReadStatus::Failed;
        return frame;
    }
    if (head == 0) {
        frame.status = ReadStatus::End;
        return frame;
    }
    if (static_cast<std::size_t>(head) < sizeof length) {
        frame.status = ReadStatus::Truncated;
        return frame;
    }
    frame.length = length;
    if (length > limit) {
        // Dropped piece by piece, so that the next frame is read where it starts.
        std::vector<char> sink(64 * 1024);
        std::uint64_t left = length;
        while (left > 0) {
            const std::size_t want = left < sink.size() ? static_cast<std::size_t>(left) : sink.size();
            const ssize_t n = ReadFull(fd, sink.data(), want);
            if (n < 0) {
                frame.status = ReadStatus::Failed;
                return frame;
            }
            if (static_cast<std::size_t>(n) < want) {
                frame.status = ReadStatus::Truncated;
                return frame;
            }
            left -= want;
        }
        frame.status = ReadStatus::TooLarge;
        return frame;
    }
    frame.payload.resize(length);
    const ssize_t n = length == 0 ? 0 : ReadFull(fd, frame.payload.data(), length);
    if (n < 0) {
        frame.status = ReadStatus::Failed;
    } else if (static_cast<std::size_t>(n) < length) {
        frame.status = ReadStatus::Truncated;
        frame.payload.clear();
    } else {
        frame.status = ReadStatus::Message;
    }
    return frame;
}

bool Write(int fd, const std::string& message) {
    if (message.size() > kMaxOutgoing) return false;
    const auto length = static_cast<std::uint32_t>(message.size());
    char head[sizeof length];
    std::memcpy(head, &length, sizeof length);
    return WriteFull(fd, head, sizeof head) && WriteFull(fd, message.data(), message.size());
}

}  // namespace MessageChannel
