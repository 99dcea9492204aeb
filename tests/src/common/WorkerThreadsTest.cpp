#include <gtest/gtest.h>

#include <atomic>
#include <boost/thread/thread.hpp>
#include <chrono>
#include <condition_variable>
#include <mutex>

#include "common/WorkerThreads.h"

namespace {

using std::chrono::milliseconds;
using Clock = std::chrono::steady_clock;

// A worker that waits where an interrupt reaches it, as a download does.
boost::thread InterruptibleWorker(std::atomic<bool>& ended) {
    return boost::thread([&ended] {
        try {
            for (;;) boost::this_thread::sleep_for(boost::chrono::milliseconds(20));
        } catch (const boost::thread_interrupted&) {
            ended = true;
            throw;
        }
    });
}

// A worker blocked where no interrupt reaches it (a name lookup, a connect),
// until the test lets it go.
class StuckWorker {
public:
    StuckWorker()
        : thread([this] {
              std::unique_lock<std::mutex> lock(mutex);
              released.wait(lock, [this] { return free; });
          }) {}
    void Release() {
        {
            const std::lock_guard<std::mutex> lock(mutex);
            free = true;
        }
        released.notify_all();
    }
    std::mutex mutex;
    std::condition_variable released;
    bool free = false;
    boost::thread thread;
};

TEST(WorkerThreads, AbandonedWorkersAreInterruptedAndJoinedWhenTheyEnd) {
    WorkerThreads workers;
    std::atomic<bool> first{false};
    std::atomic<bool> second{false};
    workers.Abandon(InterruptibleWorker(first));
    workers.Abandon(InterruptibleWorker(second));
    workers.Abandon(boost::thread());  // nothing to keep
    EXPECT_EQ(workers.EndAll(milliseconds(5000)), 0u);
    EXPECT_TRUE(first);
    EXPECT_TRUE(second);
    EXPECT_EQ(workers.Count(), 0u);
}

TEST(WorkerThreads, EndAllWaitsNoLongerThanItsBoundForAStuckWorker) {
    WorkerThreads workers;
    StuckWorker stuck;
    workers.Abandon(std::move(stuck.thread));
    const auto start = Clock::now();
    EXPECT_EQ(workers.EndAll(milliseconds(200)), 1u);
    const auto took = Clock::now() - start;
    EXPECT_GE(took, milliseconds(200));
    EXPECT_LT(took, milliseconds(3000));
    EXPECT_EQ(workers.Count(), 1u);

    stuck.Release();
    EXPECT_EQ(workers.EndAll(milliseconds(5000)), 0u);
    EXPECT_EQ(workers.Count(), 0u);
}

}  // namespace
