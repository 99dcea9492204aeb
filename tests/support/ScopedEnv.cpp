#include "support/ScopedEnv.h"

#include <cstdlib>

namespace TestSupport {

ScopedEnv::ScopedEnv(const char* name, const char* value) : _name(name) {
    if (const char* old = std::getenv(name)) {
        _had = true;
        _old = old;
    }
    if (value != nullptr)
        ::setenv(name, value, 1);
    else
        ::unsetenv(name);
}

ScopedEnv::~ScopedEnv() {
    if (_had)
        ::setenv(_name.c_str(), _old.c_str(), 1);
    else
        ::unsetenv(_name.c_str());
}

}  // namespace TestSupport
