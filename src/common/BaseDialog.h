#pragma once

// Root of every dialog the engine and the revocation download show. Every
// dialog is modal: showing it returns only once it is closed. A dialog shows
// its texts in the language of the request that made it.
class BaseDialog {
public:
    virtual ~BaseDialog() = default;

    // Message-language index (0 the base language).
    void SetLanguage(int language) { _language = language; }
    int Language() const { return _language; }

protected:
    BaseDialog() = default;
    BaseDialog(const BaseDialog&) = delete;
    BaseDialog& operator=(const BaseDialog&) = delete;

private:
    int _language = 0;
};
