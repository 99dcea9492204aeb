#include "engine/ChooseCertDlg.h"

#include <ctime>

#include "crypto/CertStore.h"

void ChooseCertDlg::BuildCandidates() {
    if (_candidatesBuilt) return;
    _candidatesBuilt = true;
    const std::time_t now = std::time(nullptr);
    for (Crypto::CertStore* store : _stores) {
        if (store == nullptr) continue;
        for (Crypto::Certificate* cert = store->Begin(); cert != nullptr; cert = store->Next())
            if (store->CheckAllPolicies(cert, now)) _candidates.push_back(cert);
    }
}
