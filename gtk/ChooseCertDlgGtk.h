#pragma once

#include <vector>

#include "engine/ChooseCertDlg.h"
#include "gtk/CertView.h"

// The certificate chooser on GTK: its candidates, built once, in the chooser
// window. Without windows it answers as cancelled.
class ChooseCertDlgGtk : public ChooseCertDlg {
public:
    ChooseCertDlgGtk();
    ~ChooseCertDlgGtk() override;

    bool Show() override;

private:
    std::vector<CertView> _views;  // one per candidate, made at each showing
};
