#pragma once

#include <string>

// Root of every dialog the engine and the revocation download show. Every
// dialog is modal: showing it returns only once it is closed. A dialog shows
// its texts in the language of the request that made it, and names the web
// origin of the page that asked for it.
class BaseDialog {
public:
    virtual ~BaseDialog() = default;

    // Message-language index (0 the base language).
    void SetLanguage(int language) { _language = language; }
    int Language() const { return _language; }
    // The web origin of the page that asks, which the window names; empty
    // for a local page.
    void SetOrigin(const std::string& origin) { _origin = origin; }
    const std::string& Origin() const { return _origin; }

protected:
    BaseDialog() = default;
    BaseDialog(const BaseDialog&) = delete;
    BaseDialog& operator=(const BaseDialog&) = delete;

private:
    int _language = 0;
    std::string _origin;
};
