#include <gtest/gtest.h>

#include <map>

#include "host/HostOptions.h"

namespace {

using Answer = HostOptions::Answer;

struct Env {
    std::map<std::string, std::string> values;
    std::function<const char*(const char*)> Getter() const {
        return [this](const char* name) -> const char* {
            const auto found = values.find(name);
            return found != values.end() ? found->second.c_str() : nullptr;
        };
    }
};

struct ParseCase {
    const char* what;
    std::vector<std::string> argv;
    std::map<std::string, std::string> env;
    std::string plugin;
    std::string script;
    std::vector<std::string> args;
    Answer cocoa;
    Answer coreGraphics;
    bool leaks;
};

const ParseCase kGood[] = {
    {"defaults", {"page.js"}, {}, "/default.so", "page.js", {}, Answer::Yes, Answer::Yes, false},
    {"arguments after the script belong to it",
     {"page.js", "--leaks", "--plugin", "x"},
     {},
     "/default.so",
     "page.js",
     {"--leaks", "--plugin", "x"},
     Answer::Yes,
     Answer::Yes,
     false},
    {"options",
     {"--plugin", "/p.so", "--leaks", "--cocoa=no", "--coregraphics=error", "s.js", "a"},
     {},
     "/p.so",
     "s.js",
     {"a"},
     Answer::No,
     Answer::Error,
     true},
    {"plugin with =", {"--plugin=/q.so", "s.js"}, {}, "/q.so", "s.js", {}, Answer::Yes, Answer::Yes, false},
    {"environment",
     {"s.js"},
     {{"PENDREL_PLUGIN", "/env.so"},
      {"PENDREL_HOST_LEAKS", "1"},
      {"PENDREL_HOST_COCOA", "error"},
      {"PENDREL_HOST_COREGRAPHICS", "no"}},
     "/env.so",
     "s.js",
     {},
     Answer::Error,
     Answer::No,
     true},
    {"options win over the environment",
     {"--plugin", "/opt.so", "--cocoa=yes", "s.js"},
     {{"PENDREL_PLUGIN", "/env.so"}, {"PENDREL_HOST_COCOA", "no"}},
     "/opt.so",
     "s.js",
     {},
     Answer::Yes,
     Answer::Yes,
     false},
    {"leak switch only for 1",
     {"s.js"},
     {{"PENDREL_HOST_LEAKS", "0"}},
     "/default.so",
     "s.js",
     {},
     Answer::Yes,
     Answer::Yes,
     false},
    {"-- ends the options",
     {"--", "--odd-name.js", "x"},
     {},
     "/default.so",
     "--odd-name.js",
     {"x"},
     Answer::Yes,
     Answer::Yes,
     false},
};

TEST(HostOptions, ParsesCommandLineAndEnvironment) {
    for (const ParseCase& c : kGood) {
        SCOPED_TRACE(c.what);
        const Env env{c.env};
        HostOptions options;
        std::string error;
        ASSERT_TRUE(HostOptions::Parse(c.argv, env.Getter(), "/default.so", options, error)) << error;
        EXPECT_EQ(options.pluginPath, c.plugin);
        EXPECT_EQ(options.script, c.script);
        EXPECT_EQ(options.args, c.args);
        EXPECT_EQ(options.cocoa, c.cocoa);
        EXPECT_EQ(options.coreGraphics, c.coreGraphics);
        EXPECT_EQ(options.reportLeaks, c.leaks);
    }
}

TEST(HostOptions, TableSizes) {
    const Env env{{}};
    HostOptions options;
    std::string error;
    ASSERT_TRUE(HostOptions::Parse({"--plugin-table-size=116", "--browser-table-size=600", "s.js"},
                                   env.Getter(), "/default.so", options, error))
        << error;
    EXPECT_EQ(options.pluginTableSize, 116u);
    EXPECT_EQ(options.browserTableSize, 600u);
    ASSERT_TRUE(HostOptions::Parse({"s.js"}, env.Getter(), "/default.so", options, error));
    EXPECT_EQ(options.pluginTableSize, 0u);
    EXPECT_EQ(options.browserTableSize, 0u);
    for (const std::vector<std::string>& argv : {std::vector<std::string>{"--plugin-table-size=", "s.js"},
                                                 {"--plugin-table-size=3", "s.js"},
                                                 {"--plugin-table-size=1000", "s.js"},
                                                 {"--browser-table-size=1025", "s.js"},
                                                 {"--browser-table-size=-5", "s.js"},
                                                 {"--browser-table-size=0x10", "s.js"}}) {
        SCOPED_TRACE(argv[0]);
        EXPECT_FALSE(HostOptions::Parse(argv, env.Getter(), "/default.so", options, error));
        EXPECT_NE(error.find("table-size must be"), std::string::npos) << error;
    }
}

TEST(HostOptions, RejectsBadCommandLines) {
    const struct {
        std::vector<std::string> argv;
        std::map<std::string, std::string> env;
        const char* message;
    } cases[] = {
        {{}, {}, "no script"},
        {{"--leaks"}, {}, "no script"},
        {{"--plugin"}, {}, "--plugin needs a path"},
        {{"--cocoa=maybe", "s.js"}, {}, "--cocoa"},
        {{"--coregraphics=", "s.js"}, {}, "--coregraphics"},
        {{"--verbose", "s.js"}, {}, "unknown option --verbose"},
        {{"s.js"}, {{"PENDREL_HOST_COCOA", "off"}}, "PENDREL_HOST_COCOA"},
    };
    for (const auto& c : cases) {
        const Env env{c.env};
        HostOptions options;
        std::string error;
        EXPECT_FALSE(HostOptions::Parse(c.argv, env.Getter(), "/default.so", options, error));
        EXPECT_NE(error.find(c.message), std::string::npos) << error;
    }
}

}  // namespace

TEST(HostOptions, LocationGoesBeforeTheScriptAndMustNameSomething) {
    const Env env{{}};
    HostOptions options;
    std::string error;
    ASSERT_TRUE(HostOptions::Parse({"--location", "https://a.example:8443/p", "s.js", "--location", "x"},
                                   env.Getter(), "/default.so", options, error))
        << error;
    EXPECT_EQ(options.location, "https://a.example:8443/p");
    // After the script the words are the script's own.
    EXPECT_EQ(options.args, (std::vector<std::string>{"--location", "x"}));
    ASSERT_TRUE(
        HostOptions::Parse({"--location=http://127.0.0.1:1", "s.js"}, env.Getter(), "/d.so", options, error));
    EXPECT_EQ(options.location, "http://127.0.0.1:1");
    ASSERT_TRUE(HostOptions::Parse({"s.js"}, env.Getter(), "/d.so", options, error));
    EXPECT_EQ(options.location, "");
    for (const std::vector<std::string>& argv :
         {std::vector<std::string>{"--location"}, {"--location=", "s.js"}, {"--location", "", "s.js"}}) {
        EXPECT_FALSE(HostOptions::Parse(argv, env.Getter(), "/d.so", options, error)) << argv.size();
    }
}
