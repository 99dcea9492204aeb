#include "common/WorkerThreads.h"

#include <boost/chrono.hpp>

WorkerThreads& WorkerThreads::Instance() {
    static WorkerThreads workers;
    return workers;
}

WorkerThreads::~WorkerThreads() {
    for (boost::thread& worker : _workers) worker.detach();
}

void WorkerThreads::Abandon(boost::thread worker) {
    if (!worker.joinable()) return;
    worker.interrupt();
    const std::lock_guard<std::mutex> lock(_mutex);
    JoinEnded();
    _workers.push_back(std::move(worker));
}

std::size_t WorkerThreads::EndAll(std::chrono::milliseconds bound) {
    const auto deadline = boost::chrono::steady_clock::now() + boost::chrono::milliseconds(bound.count());
    const std::lock_guard<std::mutex> lock(_mutex);
    for (boost::thread& worker : _workers) worker.interrupt();
    for (auto it = _workers.begin(); it != _workers.end();) {
        // try_join_until joins the thread itself (not only its function), so
        // a joined worker runs no code of ours any more.
        if (it->try_join_until(deadline)) {
            it = _workers.erase(it);
        } else {
            ++it;
        }
    }
    return _workers.size();
}

std::size_t WorkerThreads::Count() {
    const std::lock_guard<std::mutex> lock(_mutex);
    JoinEnded();
    return _workers.size();
}

void WorkerThreads::JoinEnded() {
    for (auto it = _workers.begin(); it != _workers.end();) {
        if (it->try_join_for(boost::chrono::milliseconds(0))) {
            it = _workers.erase(it);
        } else {
            ++it;
        }
    }
}
