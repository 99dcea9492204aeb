#include "pdf/LocaleGuard.h"

#include <clocale>

namespace PDF {

LocaleGuard::LocaleGuard() {
    if (const char* current = std::setlocale(LC_NUMERIC, nullptr))
        _saved = current;  // copy now: the next setlocale call reuses that buffer
    std::setlocale(LC_NUMERIC, "C");
}

LocaleGuard::~LocaleGuard() {
    if (_saved) std::setlocale(LC_NUMERIC, _saved->c_str());
}

}  // namespace PDF
