#pragma once

#include "common/PageOrigin.h"
#include "npapi/npapi.h"

// Where the page that embeds an instance comes from: the browser's window
// object, its location and the location's href. A browser that gives no
// window object (the page is the browser's own script) makes the page
// local, as every page was before pages came from the web. A window object
// whose location or href cannot be read makes the page untrusted (an opaque
// origin): a page must never pass for local because its browser answered
// oddly.
class PageLocation {
public:
    static PageOrigin Origin(NPP npp);
};
