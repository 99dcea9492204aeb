#include "support/LogCapture.h"

#include <sys/stat.h>

#include "common/Logger.h"
#include "support/TempDir.h"

namespace TestSupport {

LogCapture::LogCapture() : _file(Logger::Get()->FileName()) {
    struct stat st {};
    _active = Logger::Get()->Enabled() && ::stat(Logger::PreferencesFolder().c_str(), &st) == 0;
    if (::stat(_file.c_str(), &st) == 0) _start = static_cast<long>(st.st_size);
}

std::string LogCapture::Text() const {
    const std::string all = ReadFile(_file);
    // The log may have been trimmed meanwhile: then all of it is new enough.
    return static_cast<long>(all.size()) >= _start ? all.substr(static_cast<std::size_t>(_start)) : all;
}

}  // namespace TestSupport
