// URL parsing and the URL-to-file-name rule: no crash on any text, the port
// in range or left as it was, no remote URL ever turned into a local name and
// no NUL byte in a file name (the C library would read it cut short).
#include <cstddef>
#include <cstdint>
#include <string>

#include "common/URLParser.h"
#include "common/Util.h"
#include "fuzz/FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string url(reinterpret_cast<const char*>(data), size);
    for (const bool unescape : {false, true}) {
        std::string scheme, host, path, query;
        int port = -12345;
        if (URLParser::Parse(url, scheme, host, port, path, query, unescape)) {
            FUZZ_CHECK(port == -12345 || (port >= 0 && port <= 65535));
            FUZZ_CHECK(path.empty() || path[0] == '/');
        }
    }

    std::string escaped = url;
    URLParser::ProcessEscapesInplace(escaped);
    FUZZ_CHECK(escaped.size() <= url.size());

    std::string name = url;
    Util::ProcessUrlToFileName(name);
    if (Util::IsRemoteUrl(url)) FUZZ_CHECK(name.empty());
    if (Util::StartsWithNoCase(url, "file://")) {
        const std::string rest = url.substr(7);
        FUZZ_CHECK(rest.find('\0') != std::string::npos || name.find('\0') == std::string::npos);
    }
    return 0;
}
