#pragma once

#include <memory>
#include <string>
#include <vector>

#include "gtk/CertView.h"

namespace GtkUtil {
class WindowDescription;
class ModalLoop;
}  // namespace GtkUtil

// The modal certificate chooser (window description "ChooseCert"): one row
// per candidate with subject, issuer, expiry date and decimal serial.
class ChooseCertWindow {
public:
    // The list is read, not copied: it must outlive the window. Texts in
    // message language `language`.
    // message language `language`; a web page's origin is named in the window.
    ChooseCertWindow(const std::vector<CertView>& certs, int language, const std::string& origin = std::string());
    ~ChooseCertWindow();
    ChooseCertWindow(const ChooseCertWindow&) = delete;
    ChooseCertWindow& operator=(const ChooseCertWindow&) = delete;

    // Blocks until the user decides. The chosen row, or -1: Cancel, the close
    // box, a double-click off the rows, or no window could be shown. OK
    // without a selected row leaves the window open.
    long Run();

private:
    struct Handlers;
    friend struct Handlers;

    void Ok();
    void DoubleClick(long row);
    void Cancel();
    void ShowCert();
    long SelectedRow() const;

    const std::vector<CertView>& _certs;
    int _language;
    std::string _origin;
    long _selectedRow = -1;
    std::unique_ptr<GtkUtil::ModalLoop> _loop;
    std::unique_ptr<GtkUtil::WindowDescription> _ui;
};
