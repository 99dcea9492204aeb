#pragma once

#include <cstdint>
#include <string>

#include "common/BaseDialog.h"

// Asks the user whether the web page of Origin() may sign a document: names
// the page, the document and the certificate, and may let the user allow the
// page for good.
class SignConsentDlg : public BaseDialog {
public:
    enum Answer { Deny, Allow, AllowAlways };

    // Modal; Deny when the user declined, closed the window or no window
    // could be shown.
    virtual Answer Show() = 0;

    // The document's name (empty when the page fed it as data) and size in bytes.
    void SetDocument(const std::string& name, std::uint64_t size) {
        _documentName = name;
        _documentSize = size;
    }
    const std::string& DocumentName() const { return _documentName; }
    std::uint64_t DocumentSize() const { return _documentSize; }
    // The name of the certificate that would sign.
    void SetCertificate(const std::string& name) { _certificate = name; }
    const std::string& Certificate() const { return _certificate; }
    // Whether the page may be allowed for good (not for an opaque origin).
    void SetRememberable(bool rememberable) { _rememberable = rememberable; }
    bool Rememberable() const { return _rememberable; }

private:
    std::string _documentName;
    std::uint64_t _documentSize = 0;
    std::string _certificate;
    bool _rememberable = true;
};
