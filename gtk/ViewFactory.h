#pragma once

#include "engine/StatusDlg.h"
#include "gtk/CertView.h"
#include "gtk/SignatureView.h"

namespace Crypto {
class Certificate;
}

// Turns the engine's objects into what the windows show.
class ViewFactory {
public:
    // Texts of the views are in message language `language`.
    static CertView Cert(const Crypto::Certificate& certificate, int language);
    // One verified signature; `signer` is its signer certificate, null when
    // unknown (the window then leaves the previous details on screen).
    static SignatureView Signature(const StatusDlg::SigItem& item, const Crypto::Certificate* signer,
                                   int language);
};
