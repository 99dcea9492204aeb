#pragma once

#include <glib.h>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

#include "bridge/MessageChannel.h"

class BridgeSession;

// Serves one connection on the main thread's GLib loop: a reader thread
// takes frames off the input and posts them to the loop, where the session
// answers them one at a time. Because a modal window of the plug-in runs a
// nested loop on the same context, messages are handled meanwhile too (the
// session then serves only cancel). The loop ends when the browser closes
// the port; a port that closes while a call is running first cancels the
// plug-in's windows and ends when the call returns.
class MessagePump {
public:
    // Frames that wait for the main thread: more are not read meanwhile.
    static constexpr std::size_t kQueueLimit = 4;

    MessagePump(BridgeSession& session, int in, int out);
    ~MessagePump();
    MessagePump(const MessagePump&) = delete;
    MessagePump& operator=(const MessagePump&) = delete;

    // Runs until the port closes; answers the exit status (0: closed cleanly).
    int Run();
    // Whether the reader has seen the end of the input (else it may still
    // be blocked reading, and the process must end without waiting for it).
    bool ReaderDone() const { return _readerDone; }

private:
    void ReadLoop();
    static gboolean Dispatch(gpointer self);
    static gboolean Finish(gpointer self);
    void HandleOne();
    // Ends the loop once the port is closed and no call is running.
    bool EndIfClosed();
    void Send(const std::string& answer);

    BridgeSession& _session;
    int _in;
    int _out;
    GMainLoop* _loop = nullptr;
    std::thread _reader;
    std::mutex _mutex;
    std::condition_variable _space;
    std::deque<MessageChannel::Frame> _queue;
    std::atomic<bool> _readerDone{false};
    bool _ending = false;  // the port closed
    bool _broken = false;  // an answer could not be written
};
