#include "support/LogCapture.h"

#include <sys/stat.h>

#include "common/Logger.h"
#include "support/TempDir.h"

namespace TestSupport {

namespace {

const std::string& ScratchLogFile() {
    static const TempDir folder;  // removed when the test program ends
    static const std::string file = [] {
        Logger::UseFolder(folder.Path());
        return Logger::Get()->FileName();
    }();
    return file;
}

}  // namespace

LogCapture::LogCapture() : _file(ScratchLogFile()) {
    struct stat st {};
    _active = Logger::Get()->Enabled();
    if (::stat(_file.c_str(), &st) == 0) _start = static_cast<long>(st.st_size);
}

std::string LogCapture::Text() const {
    const std::string all = ReadFile(_file);
    // The log may have been trimmed meanwhile: then all of it is new enough.
    return static_cast<long>(all.size()) >= _start ? all.substr(static_cast<std::size_t>(_start)) : all;
}

}  // namespace TestSupport
