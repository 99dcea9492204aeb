#pragma once

// Root of every dialog the engine and the revocation download show. Every
// dialog is modal: showing it returns only once it is closed.
class BaseDialog {
public:
    virtual ~BaseDialog() = default;

protected:
    BaseDialog() = default;
    BaseDialog(const BaseDialog&) = delete;
    BaseDialog& operator=(const BaseDialog&) = delete;
};
