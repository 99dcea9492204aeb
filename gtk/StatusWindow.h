#pragma once

#include <cstddef>
#include <ctime>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "gtk/SignatureView.h"

namespace GtkUtil {
class WindowDescription;
class ModalLoop;
class StatusIcons;
}  // namespace GtkUtil

// The verification status window (window description "StatusDlg"): a
// drop-down of the verified signatures and, for the chosen one, its details,
// its signer certificate and four checks; it opens the signer certificate and
// the revision the signature covers.
class StatusWindow {
public:
    // Writes the revision that signature `index` covers to a file and answers
    // its path (empty when there is none).
    using VersionFile = std::function<std::string(size_t index)>;

    // Without versionFile, "View version" does nothing. The list is read, not
    // copied: it must outlive the window. Texts in message language `language`.
    // A web page's origin is named in the window.
    StatusWindow(const std::vector<SignatureView>& signatures, VersionFile versionFile, int language,
                 const std::string& origin = std::string());
    ~StatusWindow();
    StatusWindow(const StatusWindow&) = delete;
    StatusWindow& operator=(const StatusWindow&) = delete;

    // Blocks until the user closes the window; returns at once without windows.
    void Run();

    // "Unknown" for -1, else the local time as "Tue Dec  8 17:09:45 2026".
    static std::string FormatSigningTime(std::time_t time);

private:
    struct Handlers;
    friend struct Handlers;

    void ShowSignature(long index);
    void ShowCertificate();
    void ViewVersion();
    long SelectedIndex() const;

    const std::vector<SignatureView>& _signatures;
    VersionFile _versionFile;
    int _language;
    std::string _origin;
    std::unique_ptr<GtkUtil::ModalLoop> _loop;
    std::unique_ptr<GtkUtil::WindowDescription> _ui;
    std::unique_ptr<GtkUtil::StatusIcons> _icons;
};
