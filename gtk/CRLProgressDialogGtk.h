#pragma once

#include "crypto/CRLProgressDialog.h"

// The revocation-list download's progress window on GTK: closes by itself
// once the download's future holds a result; false on Cancel.
class CRLProgressDialogGtk : public Crypto::CRLProgressDialog {
public:
    explicit CRLProgressDialogGtk(Crypto::CRLFuture& future);
    ~CRLProgressDialogGtk() override;

    bool ShowDialog() override;

    // Called once when the plug-in starts: downloads then show this window
    // whenever windows are available, and wait without one otherwise.
    static void Install();
};
