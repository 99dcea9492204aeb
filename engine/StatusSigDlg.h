#pragma once

#include "common/BaseDialog.h"

namespace Crypto {
class Certificate;
}

// Shows the time, chain and revocation state of the signing certificate;
// changes nothing.
class StatusSigDlg : public BaseDialog {
public:
    virtual void Show() = 0;

    // Not owned; set before Show().
    void SetCertificate(Crypto::Certificate* certificate) { _certificate = certificate; }
    Crypto::Certificate* GetCertificate() const { return _certificate; }

private:
    Crypto::Certificate* _certificate = nullptr;
};
