#pragma once

#include <functional>

#include "engine/StatusDlg.h"

namespace Crypto {
class Certificate;
}

// The verification status on GTK: the signatures in the status window, whose
// "View version" writes the revision a signature covers to a working file
// and hands it to the user's viewer. Without windows it returns at once.
class StatusDlgGtk : public StatusDlg {
public:
    // The signer certificate of a verified signature (not owned; null when
    // unknown), as the verification found it.
    using SignerLookup = std::function<const Crypto::Certificate*(const PDF::Signature&)>;

    explicit StatusDlgGtk(SignerLookup signerOf = nullptr);
    ~StatusDlgGtk() override;

    void Show() override;

    // The working file of the revision that item `index` covers; empty when
    // there are no versions, no such item or signature, or it matched no revision.
    std::string VersionFile(size_t index) const;

private:
    SignerLookup _signerOf;
};
