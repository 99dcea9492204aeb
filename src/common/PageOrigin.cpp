#include "common/PageOrigin.h"

#include <algorithm>
#include <cctype>

#include "common/URLParser.h"

namespace {

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

int DefaultPort(const std::string& scheme) {
    return scheme == "https" ? 443 : 80;
}

}  // namespace

PageOrigin PageOrigin::MakeOpaque() {
    return PageOrigin(Opaque, "null");
}

PageOrigin PageOrigin::FromLocation(const std::string& href) {
    // A location of "file:" and nothing else still names a local file.
    if (Lower(href.substr(0, 5)) == "file:") return PageOrigin();
    std::string scheme, host, path, query;
    int port = -1;
    if (!URLParser::Parse(href, scheme, host, port, path, query, false)) return MakeOpaque();
    scheme = Lower(scheme);
    host = Lower(host);
    if ((scheme != "http" && scheme != "https") || host.empty()) return MakeOpaque();
    // uriparser answers an IPv6 literal without its brackets.
    if (host.find(':') != std::string::npos) host = "[" + host + "]";
    std::string text = scheme + "://" + host;
    if (port >= 0 && port != DefaultPort(scheme)) text += ":" + std::to_string(port);
    return PageOrigin(Web, text);
}

bool PageOrigin::IsSameOrigin(const std::string& url) const {
    if (_kind != Web) return false;
    const PageOrigin other = FromLocation(url);
    return other._kind == Web && other._text == _text;
}
