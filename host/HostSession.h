#pragma once

#include <string>

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

    // A file:// URL for an absolute path, with the bytes a URL path cannot
    // hold as they are (spaces, '%', '#', '?', non-ASCII) percent-escaped.
    static std::string FileUrl(const std::string& absolutePath);

private:
    int RunInstance(const PluginLibrary& library, Browser& browser);
    void ReportLeaks(const Browser& browser) const;
    // --location, or the script's file URL.
    std::string PageLocation() const;

    const HostOptions& _options;
};
