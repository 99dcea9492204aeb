#pragma once

#include "engine/StatusSigDlg.h"

// The signing-certificate status on GTK: the three validity codes of the
// certificate in the status window. Without windows it returns at once.
class StatusSigDlgGtk : public StatusSigDlg {
public:
    StatusSigDlgGtk();
    ~StatusSigDlgGtk() override;

    void Show() override;
};
