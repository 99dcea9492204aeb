#pragma once

#include <cstdint>
#include <vector>

#include "common/BaseDialog.h"

namespace Crypto {
class Certificate;
class CertStore;
}  // namespace Crypto

// The certificate chooser: offers the certificates of its stores that pass
// the stores' policy checks. The list is built on the first showing and
// offered unchanged afterwards.
class ChooseCertDlg : public BaseDialog {
public:
    // True when the user picked a candidate; SelectedIndex() then names it.
    // False when cancelled; the index keeps its previous value.
    virtual bool Show() = 0;

    // Not owned; a certificate-information object appends its store before
    // each showing.
    void AddStore(Crypto::CertStore* store) { _stores.push_back(store); }
    const std::vector<Crypto::CertStore*>& Stores() const { return _stores; }
    // Candidates belong to the stores.
    const std::vector<Crypto::Certificate*>& Candidates() const { return _candidates; }
    std::int64_t SelectedIndex() const { return _selectedIndex; }
    bool CandidatesBuilt() const { return _candidatesBuilt; }

protected:
    // Once: every certificate each store enumerates that passes its policies
    // now, stores in order, certificates in enumeration order.
    void BuildCandidates();
    void SetSelectedIndex(std::int64_t index) { _selectedIndex = index; }

private:
    std::vector<Crypto::CertStore*> _stores;
    std::vector<Crypto::Certificate*> _candidates;
    std::int64_t _selectedIndex = -1;
    bool _candidatesBuilt = false;
};
