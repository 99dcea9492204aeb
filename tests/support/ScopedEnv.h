#pragma once

#include <string>

namespace TestSupport {

// Sets an environment variable for the scope and restores it afterwards.
class ScopedEnv {
public:
    // A null value unsets the variable.
    ScopedEnv(const char* name, const char* value);
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    std::string _name;
    bool _had = false;
    std::string _old;
};

}  // namespace TestSupport
