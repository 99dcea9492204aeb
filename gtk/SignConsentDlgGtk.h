#pragma once

#include "engine/SignConsentDlg.h"

// Asks on GTK whether a web page may sign: the consent window. Without
// windows it denies.
class SignConsentDlgGtk : public SignConsentDlg {
public:
    SignConsentDlgGtk();
    ~SignConsentDlgGtk() override;

    Answer Show() override;
};
