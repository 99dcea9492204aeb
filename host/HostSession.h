#pragma once

#include "host/HostOptions.h"

class Browser;
class PluginLibrary;

// One run of the stand-in browser: load the plug-in, initialise it, create
// the instance for "application/pendrelpdf", run the page script with the
// instance's scriptable object as `plugin`, then release everything, destroy
// the instance, shut the plug-in down and (when asked) report leaked objects.
class HostSession {
public:
    // Exit status of a set-up failure (plug-in not loadable, refused
    // initialisation or instance, no scriptable object).
    static constexpr int kSetupFailed = 2;

    explicit HostSession(const HostOptions& options) : _options(options) {}

    // Returns the process exit status.
    int Run();

private:
    int RunInstance(const PluginLibrary& library, Browser& browser);
    void ReportLeaks(const Browser& browser) const;

    const HostOptions& _options;
};
