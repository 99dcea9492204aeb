#pragma once

#include <ctime>
#include <string>

#include "gtk/CertView.h"

typedef struct _GtkWindow GtkWindow;

// The project's certificate viewer: a modal window listing the fields of one
// certificate (names, serial, validity, fingerprints, key, key usage, CRL
// distribution points). Window description "CertViewer".
class CertViewerWindow {
public:
    // The view is read, not copied: it must outlive the window. Texts in
    // message language `language`.
    CertViewerWindow(const CertView& cert, int language) : _cert(cert), _language(language) {}

    // Blocks until the user closes the window; over `parent` when given.
    void Run(GtkWindow* parent = nullptr) const;

    // "AB:CD:..." in lines of 16 bytes.
    static std::string FormatFingerprint(const std::string& hex);
    // "4660 (hex 12 34)": the decimal serial with its bytes in hexadecimal.
    static std::string FormatSerial(const std::string& decimal, const std::string& hex);
    // Local "dd.mm.yyyy hh:mm:ss"; empty for -1.
    static std::string FormatTime(std::time_t time);

private:
    const CertView& _cert;
    int _language;
};
