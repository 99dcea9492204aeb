#include "host/HostOptions.h"

#include "npapi/npfunctions.h"

namespace {

bool ParseAnswer(const std::string& text, HostOptions::Answer& out) {
    if (text == "yes") {
        out = HostOptions::Answer::Yes;
    } else if (text == "no") {
        out = HostOptions::Answer::No;
    } else if (text == "error") {
        out = HostOptions::Answer::Error;
    } else {
        return false;
    }
    return true;
}

// A decimal size from min to max.
bool ParseSize(const std::string& text, unsigned min, unsigned max, unsigned& out) {
    if (text.empty() || text.size() > 5 || text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    const unsigned long value = std::stoul(text);
    if (value < min || value > max) return false;
    out = static_cast<unsigned>(value);
    return true;
}

bool StartsWith(const std::string& text, const std::string& prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
}

}  // namespace

const char* HostOptions::Usage() {
    return "usage: pendrel-host [--plugin PATH] [--leaks] [--cocoa=yes|no|error] "
           "[--coregraphics=yes|no|error]\n"
           "                    [--plugin-table-size=N] [--browser-table-size=N] [--location URL]\n"
           "                    SCRIPT.js [ARGS...]\n"
           "  --location URL  the page's address the plug-in sees as window.location.href\n"
           "                  (default: file:// and the script's absolute path)\n";
}

bool HostOptions::Parse(const std::vector<std::string>& argv,
                        const std::function<const char*(const char*)>& getenv,
                        const std::string& defaultPlugin, HostOptions& out, std::string& error) {
    out = HostOptions();
    if (const char* plugin = getenv("PENDREL_PLUGIN"); plugin != nullptr && *plugin != '\0') {
        out.pluginPath = plugin;
    }
    if (const char* leaks = getenv("PENDREL_HOST_LEAKS"); leaks != nullptr) {
        out.reportLeaks = std::string(leaks) == "1";
    }
    const struct {
        const char* name;
        Answer* answer;
    } envAnswers[] = {{"PENDREL_HOST_COCOA", &out.cocoa}, {"PENDREL_HOST_COREGRAPHICS", &out.coreGraphics}};
    for (const auto& env : envAnswers) {
        const char* value = getenv(env.name);
        if (value != nullptr && *value != '\0' && !ParseAnswer(value, *env.answer)) {
            error = std::string(env.name) + " must be yes, no or error, not \"" + value + "\"";
            return false;
        }
    }

    size_t i = 0;
    for (; i < argv.size(); ++i) {
        const std::string& arg = argv[i];
        if (arg == "--") {
            ++i;
            break;
        }
        if (!StartsWith(arg, "--")) break;
        if (arg == "--plugin") {
            if (i + 1 >= argv.size()) {
                error = "--plugin needs a path";
                return false;
            }
            out.pluginPath = argv[++i];
        } else if (StartsWith(arg, "--plugin=")) {
            out.pluginPath = arg.substr(9);
        } else if (arg == "--location" || StartsWith(arg, "--location=")) {
            if (arg == "--location") {
                if (i + 1 >= argv.size()) {
                    error = "--location needs a URL";
                    return false;
                }
                out.location = argv[++i];
            } else {
                out.location = arg.substr(11);
            }
            if (out.location.empty()) {
                error = "--location needs a URL";
                return false;
            }
        } else if (arg == "--leaks") {
            out.reportLeaks = true;
        } else if (StartsWith(arg, "--cocoa=")) {
            if (!ParseAnswer(arg.substr(8), out.cocoa)) {
                error = "--cocoa must be yes, no or error";
                return false;
            }
        } else if (StartsWith(arg, "--coregraphics=")) {
            if (!ParseAnswer(arg.substr(15), out.coreGraphics)) {
                error = "--coregraphics must be yes, no or error";
                return false;
            }
        } else if (StartsWith(arg, "--plugin-table-size=")) {
            if (!ParseSize(arg.substr(20), 4, sizeof(NPPluginFuncs), out.pluginTableSize)) {
                error = "--plugin-table-size must be from 4 to " + std::to_string(sizeof(NPPluginFuncs));
                return false;
            }
        } else if (StartsWith(arg, "--browser-table-size=")) {
            if (!ParseSize(arg.substr(21), 4, kMaxBrowserTableSize, out.browserTableSize)) {
                error = "--browser-table-size must be from 4 to " + std::to_string(kMaxBrowserTableSize);
                return false;
            }
        } else {
            error = "unknown option " + arg;
            return false;
        }
    }
    if (i >= argv.size()) {
        error = "no script given";
        return false;
    }
    out.script = argv[i];
    out.args.assign(argv.begin() + static_cast<std::ptrdiff_t>(i) + 1, argv.end());
    if (out.pluginPath.empty()) out.pluginPath = defaultPlugin;
    return true;
}
