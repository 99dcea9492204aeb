#pragma once

#include <string>

// The name of the browser program that carries the browser side: it starts
// every message written to standard error and the user agent.
class ProgramName {
public:
    static void Set(const std::string& name) {
        Name() = name;
        Agent() = name + "/1.2.27";
    }
    static const char* Get() { return Name().c_str(); }
    static const char* UserAgent() { return Agent().c_str(); }

private:
    static std::string& Name() {
        static std::string name = "pendrel-host";
        return name;
    }
    static std::string& Agent() {
        static std::string agent = "pendrel-host/1.2.27";
        return agent;
    }
};
