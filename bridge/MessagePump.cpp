#include "bridge/MessagePump.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "bridge/BridgeSession.h"
#include "npbrowser/ProgramName.h"

MessagePump::MessagePump(BridgeSession& session, int in, int out)
    : _session(session), _in(in), _out(out), _loop(g_main_loop_new(nullptr, FALSE)) {}

MessagePump::~MessagePump() {
    if (_reader.joinable()) {
        if (_readerDone) {
            _reader.join();
        } else {
            _reader.detach();  // blocked on an input nobody closes: the process ends without it
        }
    }
    g_main_loop_unref(_loop);
}

int MessagePump::Run() {
    _reader = std::thread([this] { ReadLoop(); });
    g_main_loop_run(_loop);
    {
        // The reader may wait for room; it ends at the end of the input.
        const std::lock_guard<std::mutex> lock(_mutex);
        _queue.clear();
    }
    _space.notify_all();
    return 0;
}

void MessagePump::ReadLoop() {
    for (;;) {
        MessageChannel::Frame frame = MessageChannel::Read(_in);
        const bool last = frame.status == MessageChannel::ReadStatus::End ||
                          frame.status == MessageChannel::ReadStatus::Truncated ||
                          frame.status == MessageChannel::ReadStatus::Failed;
        if (frame.status == MessageChannel::ReadStatus::Failed)
            std::fprintf(stderr, "%s: reading the port failed: %s\n", ProgramName::Get(),
                         std::strerror(errno));
        {
            std::unique_lock<std::mutex> lock(_mutex);
            _space.wait(lock, [this] { return _queue.size() < kQueueLimit; });
            _queue.push_back(std::move(frame));
        }
        g_idle_add(&MessagePump::Dispatch, this);
        if (last) {
            _readerDone = true;
            return;
        }
    }
}

gboolean MessagePump::Dispatch(gpointer self) {
    try {
        static_cast<MessagePump*>(self)->HandleOne();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s: %s\n", ProgramName::Get(), e.what());
    } catch (...) {
        std::fprintf(stderr, "%s: unknown exception\n", ProgramName::Get());
    }
    return G_SOURCE_REMOVE;
}

void MessagePump::HandleOne() {
    MessageChannel::Frame frame;
    {
        const std::lock_guard<std::mutex> lock(_mutex);
        if (_queue.empty()) return;
        frame = std::move(_queue.front());
        _queue.pop_front();
    }
    _space.notify_one();
    using MessageChannel::ReadStatus;
    switch (frame.status) {
        case ReadStatus::Message:
            if (!_ending) Send(_session.Handle(frame.payload));
            break;
        case ReadStatus::TooLarge:
            Send(BridgeSession::ErrorAnswer("a message of " + std::to_string(frame.length) +
                                            " bytes is over the limit of 64 MiB"));
            break;
        case ReadStatus::Truncated:
            std::fprintf(stderr, "%s: the port closed inside a message\n", ProgramName::Get());
            [[fallthrough]];
        case ReadStatus::End:
        case ReadStatus::Failed:
            _ending = true;
            break;
    }
    if (EndIfClosed()) return;
    if (_ending || _broken) g_timeout_add(50, &MessagePump::Finish, this);
}

gboolean MessagePump::Finish(gpointer self) {
    return static_cast<MessagePump*>(self)->EndIfClosed() ? G_SOURCE_REMOVE : G_SOURCE_CONTINUE;
}

bool MessagePump::EndIfClosed() {
    if (!_ending && !_broken) return true;
    if (_session.InCall()) {
        // Closing the plug-in's windows lets the call return; the loop ends after it.
        _session.CancelWindows();
        return false;
    }
    g_main_loop_quit(_loop);
    return true;
}

void MessagePump::Send(const std::string& answer) {
    if (_broken) return;
    if (!MessageChannel::Write(_out, answer)) {
        std::fprintf(stderr, "%s: the answer could not be written: %s\n", ProgramName::Get(),
                     std::strerror(errno));
        _broken = true;
    }
}
