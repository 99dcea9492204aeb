#pragma once

#include <chrono>
#include <string>

#include "support/TempDir.h"

namespace GtkTest {

// Puts a stand-in `xdg-open` first on PATH while it lives: it writes the
// number of its arguments, a newline and its first argument to Record().
class FakeXdgOpen {
public:
    FakeXdgOpen();
    ~FakeXdgOpen();
    FakeXdgOpen(const FakeXdgOpen&) = delete;
    FakeXdgOpen& operator=(const FakeXdgOpen&) = delete;

    const TestSupport::TempDir& Dir() const { return _dir; }
    std::string Record() const { return _dir.File("opened"); }
    // Waits (with a deadline) until the stand-in has run and written its record.
    bool WaitOpened() const;
    // Forgets the last record, before the next run.
    void Reset() const;

private:
    TestSupport::TempDir _dir;
    std::string _oldPath;
};

// Waits (inotify, with a deadline) until `name` exists in `folder`.
bool WaitForFile(const std::string& folder, const std::string& name, std::chrono::seconds deadline);

}  // namespace GtkTest
