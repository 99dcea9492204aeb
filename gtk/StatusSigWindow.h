#pragma once

#include <optional>
#include <string>

// The signing-certificate status window (window description "StatusSigDlg"):
// the time, chain and revocation checks of the signing certificate, each as
// an icon and a line of text, and an OK button.
class StatusSigWindow {
public:
    // Validity codes: 0 valid, 1 invalid, 2 not determined.
    struct Codes {
        int time;
        int chain;
        int crl;
    };

    // Without codes (no certificate) the window shows the texts of its
    // description; else its texts in message language `language`. A web
    // page's origin is named in the window.
    StatusSigWindow(const std::optional<Codes>& codes, int language, const std::string& origin = std::string())
        : _codes(codes), _language(language), _origin(origin) {}

    // Blocks until the user closes the window; returns at once without windows.
    void Run() const;

private:
    std::optional<Codes> _codes;
    int _language;
    std::string _origin;
};
