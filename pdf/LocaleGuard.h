#pragma once

#include <optional>
#include <string>

namespace PDF {

// Forces the "C" numeric locale for its lifetime, so that reals are parsed
// and printed with a period whatever the host's locale. It changes the whole
// process: only the plug-in thread uses it.
class LocaleGuard {
public:
    LocaleGuard();
    ~LocaleGuard();
    LocaleGuard(const LocaleGuard&) = delete;
    LocaleGuard& operator=(const LocaleGuard&) = delete;

private:
    std::optional<std::string> _saved;
};

}  // namespace PDF
