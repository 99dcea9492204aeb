#pragma once

#include <functional>
#include <string>
#include <vector>

#include "npbrowser/BrowserOptions.h"

// What the stand-in browser was asked to do: which plug-in to load, which
// page script to run with which arguments, how to answer the plug-in's
// questions about the event and drawing models (BrowserOptions), the page's
// address, and whether to report leaks.
struct HostOptions : BrowserOptions {
    std::string pluginPath;
    std::string script;
    std::vector<std::string> args;
    // The page's address (window.location.href); empty: the script's file URL.
    std::string location;
    bool reportLeaks = false;
    // Sizes stated in the function tables exchanged with the plug-in, to
    // play an older or newer browser; 0: the size of the whole structure.
    // The browser table may claim more than the structure (the bytes beyond
    // it are zero).
    unsigned pluginTableSize = 0;
    unsigned browserTableSize = 0;

    static constexpr unsigned kMaxBrowserTableSize = 1024;

    // Reads the command line (options before the script, everything after the
    // script goes to the script) and the environment: PENDREL_PLUGIN,
    // PENDREL_HOST_LEAKS=1, PENDREL_HOST_COCOA and PENDREL_HOST_COREGRAPHICS
    // (yes|no|error); --plugin-table-size=N, --browser-table-size=N and --location URL. Options win over the
    // environment. Returns false with `error` set for a bad command line; `defaultPlugin` is used when no
    // plug-in is named.
    static bool Parse(const std::vector<std::string>& argv,
                      const std::function<const char*(const char*)>& getenv, const std::string& defaultPlugin,
                      HostOptions& out, std::string& error);

    static const char* Usage();
};
