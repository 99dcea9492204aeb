#pragma once

#include <string>

// The origin of the page that drives the plug-in, taken from its location:
// scheme://host[:port], scheme and host in lower case, a default port (80
// for http, 443 for https) dropped. A page without a location or one loaded
// from a file is local and trusted as it always was. A page from an http or
// https origin is a web page. Any other location (about:blank, data:, a
// location that does not parse) is an opaque web origin: untrusted like a
// web page, and no URL is of its origin.
class PageOrigin {
public:
    enum Kind { Local, Web, Opaque };

    // A local page.
    PageOrigin() = default;
    static PageOrigin FromLocation(const std::string& href);
    static PageOrigin MakeOpaque();

    Kind GetKind() const { return _kind; }
    // Whether the page is untrusted: a web or an opaque origin.
    bool IsWeb() const { return _kind != Local; }
    // "https://host[:port]" for a web page, "null" for an opaque one, empty
    // for a local page: what the windows name.
    const std::string& Text() const { return _text; }
    // Whether url is an http or https URL of this very origin (never for a
    // local or an opaque origin).
    bool IsSameOrigin(const std::string& url) const;

private:
    PageOrigin(Kind kind, std::string text) : _kind(kind), _text(std::move(text)) {}

    Kind _kind = Local;
    std::string _text;
};
