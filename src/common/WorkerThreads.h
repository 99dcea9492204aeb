#pragma once

#include <boost/thread/thread.hpp>
#include <chrono>
#include <cstddef>
#include <list>
#include <mutex>

// The worker threads whose callers stopped waiting for them (a cancelled
// download). Each is interrupted and kept here until it has ended, so that
// the library is not unloaded under a running worker: before the library
// goes, EndAll waits for them, for a bounded time.
class WorkerThreads {
public:
    static WorkerThreads& Instance();

    WorkerThreads() = default;
    // Workers still running are left to run on (detached).
    ~WorkerThreads();
    WorkerThreads(const WorkerThreads&) = delete;
    WorkerThreads& operator=(const WorkerThreads&) = delete;

    // Interrupts the worker and keeps it until it has ended. Workers that
    // ended meanwhile are joined.
    void Abandon(boost::thread worker);
    // Interrupts every kept worker (again) and waits until all have ended or
    // `bound` has passed; answers the number still running.
    std::size_t EndAll(std::chrono::milliseconds bound);
    // The number of kept workers that have not been joined yet.
    std::size_t Count();

    // How long the plug-in's shutdown waits for its workers. A worker ends at
    // its next interruption check, a fraction of a second after the cancel;
    // only a call that cannot be interrupted (a name lookup, a connect) holds
    // it longer.
    static constexpr std::chrono::seconds kShutdownWait{5};

private:
    void JoinEnded();  // under _mutex

    std::mutex _mutex;
    std::list<boost::thread> _workers;
};
