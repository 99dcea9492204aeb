#include <fcntl.h>
#include <unistd.h>

#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "bridge/BridgeSession.h"
#include "bridge/MessagePump.h"
#include "bridge/ModalWindows.h"
#include "npbrowser/PluginLibrary.h"
#include "npbrowser/ProgramName.h"

// pendrel-bridge: the native-messaging host of one page's connection. The
// browser starts it with the extension's origin (and, for some browsers,
// the manifest's path) as arguments, which it does not need; --plugin PATH
// (or PENDREL_PLUGIN) names another plug-in library, PENDREL_BRIDGE_LEAKS=1
// counts the objects left alive at the end on standard error, and
// PENDREL_BRIDGE_TIMES=1 writes there how its time went.

namespace {

// Moves the message channel off the standard descriptors before anything
// else can write to them: the messages go on private copies, standard output
// then goes to standard error and standard input reads nothing, so that
// whatever the plug-in or GTK prints never lands inside a message.
bool TakeChannel(int& in, int& out) {
    in = ::fcntl(STDIN_FILENO, F_DUPFD_CLOEXEC, 3);
    out = ::fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 3);
    if (in < 0 || out < 0) return false;
    const int null = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    if (null < 0) return false;
    const bool moved = ::dup2(null, STDIN_FILENO) >= 0 && ::dup2(STDERR_FILENO, STDOUT_FILENO) >= 0;
    ::close(null);
    return moved;
}

}  // namespace

int main(int argc, char** argv) {
    ProgramName::Set("pendrel-bridge");
    int in = -1;
    int out = -1;
    if (!TakeChannel(in, out)) {
        std::fprintf(stderr, "pendrel-bridge: cannot set up the message channel: %s\n", std::strerror(errno));
        return 2;
    }
    // A closed port shows as a failed write, not as a signal.
    std::signal(SIGPIPE, SIG_IGN);
    try {
        std::string plugin = PluginLibrary::BesideProgram();
        if (const char* env = std::getenv("PENDREL_PLUGIN"); env != nullptr && *env != '\0') plugin = env;
        for (int i = 1; i < argc; ++i) {
            if (std::strcmp(argv[i], "--plugin") == 0 && i + 1 < argc) plugin = argv[++i];
        }
        const char* leaks = std::getenv("PENDREL_BRIDGE_LEAKS");
        BridgeSession session(plugin);
        if (!session.Start()) std::fprintf(stderr, "pendrel-bridge: the plug-in cannot be used\n");
        session.SetCancel([] { ModalWindows::CloseAll(); });
        int status = 0;
        bool readerDone = true;
        {
            MessagePump pump(session, in, out);
            status = pump.Run();
            session.Close(leaks != nullptr && std::strcmp(leaks, "1") == 0);
            readerDone = pump.ReaderDone();
        }
        if (const char* times = std::getenv("PENDREL_BRIDGE_TIMES");
            times != nullptr && std::strcmp(times, "1") == 0)
            session.ReportTimes();
        if (!readerDone) {
            // The reader still waits on the input: end without unwinding under it.
            std::fflush(nullptr);
            ::_exit(status);
        }
        return status;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "pendrel-bridge: %s\n", e.what());
        return 2;
    }
}
