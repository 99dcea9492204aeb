#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "engine/SignConsentDlg.h"

namespace GtkUtil {
class WindowDescription;
class ModalLoop;
}  // namespace GtkUtil

// The modal window that asks whether a web page may sign (window
// description "SignConsent"): the page's origin, the document's name and
// size, the certificate, a box to allow the page for good, and Allow and
// Deny. Deny is the default: Enter, Escape and the close box deny.
class SignConsentWindow {
public:
    struct Request {
        std::string origin;
        std::string documentName;  // empty for a document the page fed as data
        std::uint64_t documentSize = 0;
        std::string certificate;
        bool rememberable = true;  // the box to allow for good is offered
        int language = 0;
    };

    explicit SignConsentWindow(const Request& request);
    ~SignConsentWindow();
    SignConsentWindow(const SignConsentWindow&) = delete;
    SignConsentWindow& operator=(const SignConsentWindow&) = delete;

    // Blocks until the user decides; Deny when no window can be shown.
    SignConsentDlg::Answer Run();

    // The window's title (message 530).
    static std::string Title(int language);

private:
    struct Handlers;
    friend struct Handlers;

    void Allow();
    void Deny();

    const Request _request;
    SignConsentDlg::Answer _answer = SignConsentDlg::Deny;
    std::unique_ptr<GtkUtil::ModalLoop> _loop;
    std::unique_ptr<GtkUtil::WindowDescription> _ui;
};
