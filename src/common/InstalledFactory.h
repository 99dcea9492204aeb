#pragma once

#include <mutex>
#include <utility>

// A hook that a higher layer fills once at start (the windows layer's
// factory of a dialog) and a lower layer reads each time it needs one. Reads
// and writes are guarded: a download's worker may read while the plug-in
// starts.
template <typename Factory>
class InstalledFactory {
public:
    void Set(Factory factory) {
        const std::lock_guard<std::mutex> lock(_mutex);
        _factory = std::move(factory);
    }
    // A copy, called without the lock held.
    Factory Get() const {
        const std::lock_guard<std::mutex> lock(_mutex);
        return _factory;
    }

private:
    mutable std::mutex _mutex;
    Factory _factory;
};
