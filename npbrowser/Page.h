#pragma once

#include <string>

#include "npapi/npruntime.h"

// The page a browser shows the plug-in: its window object (with the page's
// location) and, where the page runs scripts, the evaluation of script text.
class Page {
public:
    virtual ~Page() = default;

    // The window object: a new reference, or null.
    virtual NPObject* WindowObject() = 0;
    // Evaluates script text (UTF-8) in the page's global scope; a page
    // without scripts refuses.
    virtual bool Evaluate(const std::string& utf8, NPVariant& result) {
        (void)utf8;
        (void)result;
        return false;
    }
};
