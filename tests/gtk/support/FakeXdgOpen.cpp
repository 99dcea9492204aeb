#include "support/FakeXdgOpen.h"

#include <poll.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

namespace GtkTest {

bool WaitForFile(const std::string& folder, const std::string& name, std::chrono::seconds deadline) {
    const int fd = inotify_init1(IN_CLOEXEC);
    if (fd < 0) return false;
    const int watch = inotify_add_watch(fd, folder.c_str(), IN_MOVED_TO | IN_CLOSE_WRITE);
    const auto end = std::chrono::steady_clock::now() + deadline;
    bool found = false;
    while (!(found = TestSupport::FileExists(folder + "/" + name))) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
        pollfd p{fd, POLLIN, 0};
        if (watch < 0 || left.count() <= 0 || ::poll(&p, 1, static_cast<int>(left.count())) <= 0) break;
        char events[4096];
        if (::read(fd, events, sizeof events) < 0) break;
    }
    ::close(fd);
    return found;
}

FakeXdgOpen::FakeXdgOpen() : _oldPath(std::getenv("PATH") ? std::getenv("PATH") : "") {
    const std::string bin = _dir.File("bin");
    ::mkdir(bin.c_str(), 0700);
    TestSupport::WriteFile(bin + "/xdg-open",
                           "#!/bin/sh\n"
                           "printf '%s\\n%s' \"$#\" \"$1\" > \"$PENDREL_TEST_RECORD.part\"\n"
                           "mv \"$PENDREL_TEST_RECORD.part\" \"$PENDREL_TEST_RECORD\"\n");
    ::chmod((bin + "/xdg-open").c_str(), 0700);
    ::setenv("PATH", (bin + ":" + _oldPath).c_str(), 1);
    ::setenv("PENDREL_TEST_RECORD", Record().c_str(), 1);
}

FakeXdgOpen::~FakeXdgOpen() {
    ::setenv("PATH", _oldPath.c_str(), 1);
    ::unsetenv("PENDREL_TEST_RECORD");
}

bool FakeXdgOpen::WaitOpened() const {
    return WaitForFile(_dir.Path(), "opened", std::chrono::seconds(20));
}

void FakeXdgOpen::Reset() const {
    ::unlink(Record().c_str());
}

}  // namespace GtkTest
