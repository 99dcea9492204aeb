#include "common/URLParser.h"

#include <uriparser/Uri.h>

#include <memory>

namespace {

struct UriMembersFree {
    void operator()(UriUriA* uri) const noexcept { uriFreeUriMembersA(uri); }
};
using UriMembersPtr = std::unique_ptr<UriUriA, UriMembersFree>;

std::string Text(const UriTextRangeA& range) {
    if (range.first == nullptr || range.afterLast == nullptr || range.afterLast < range.first)
        return std::string();
    return std::string(range.first, range.afterLast);
}

const int kMaxPort = 65535;

}  // namespace

bool URLParser::Parse(const std::string& url, std::string& scheme, std::string& host, int& port,
                      std::string& path, std::string& query, bool unescape) {
    UriUriA uri;
    const char* errorPos = nullptr;
    // The whole string is parsed: an embedded NUL is a syntax error, not an end.
    if (uriParseSingleUriExA(&uri, url.data(), url.data() + url.size(), &errorPos) != URI_SUCCESS)
        return false;
    const UriMembersPtr owner(&uri);

    // Digits only (the grammar allows nothing else); a value no port can have is refused.
    const std::string portText = Text(uri.portText);
    long portValue = -1;
    if (!portText.empty()) {
        portValue = 0;
        for (const char c : portText) {
            if (c < '0' || c > '9') return false;
            portValue = portValue * 10 + (c - '0');
            if (portValue > kMaxPort) return false;
        }
    }

    std::string joined = "/";
    for (const UriPathSegmentA* segment = uri.pathHead; segment != nullptr; segment = segment->next) {
        const std::string text = Text(segment->text);
        if (!text.empty()) joined += text + "/";
    }
    joined.pop_back();

    std::string queryText = Text(uri.query);
    if (uri.fragment.first != nullptr) queryText += "#" + Text(uri.fragment);

    scheme = Text(uri.scheme);
    host = Text(uri.hostText);
    path = joined;
    query = queryText;
    if (portValue >= 0) port = static_cast<int>(portValue);

    if (unescape) {
        ProcessEscapesInplace(scheme);
        ProcessEscapesInplace(host);
        ProcessEscapesInplace(path);
        ProcessEscapesInplace(query);
    }
    return true;
}

void URLParser::ProcessEscapesInplace(std::string& text) {
    if (text.empty()) return;
    // Decoding only ever shortens the text; the end is where uriparser says,
    // so a decoded NUL byte stays part of the text.
    const char* const end = uriUnescapeInPlaceA(&text[0]);
    text.resize(static_cast<std::size_t>(end - text.data()));
}
