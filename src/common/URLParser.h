#pragma once

#include <string>

// Splits URLs into their parts (uriparser).
class URLParser {
public:
    // Splits url. path is "/" and the non-empty path segments joined by "/"
    // ("" without segments); query is the text after "?", with "#" and the
    // fragment appended when there is one; port keeps the caller's value when
    // the URL names none. With unescape, percent escapes are decoded in scheme,
    // host, path and query. False on a syntax error or a port beyond 65535.
    static bool Parse(const std::string& url, std::string& scheme, std::string& host, int& port,
                      std::string& path, std::string& query, bool unescape);

    // Replaces percent escapes in text by the bytes they stand for.
    static void ProcessEscapesInplace(std::string& text);
};
