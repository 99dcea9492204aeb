#pragma once

#include <string>
#include <vector>

#include "common/BaseDialog.h"
#include "pdf/Signature.h"

namespace PDF {
class Versions;
}

// Lists the verified signatures with their checks; from it the user may save
// and open the revision a signature covers.
class StatusDlg : public BaseDialog {
public:
    struct SigItem {
        std::string name;                  // the signature field's name
        PDF::Signature* signature;         // not owned
        PDF::Signature::VerifyError code;  // 0 verifies, 1 does not, 2 and 3 not checkable
    };

    virtual void Show() = 0;

    void AddSignature(const std::string& name, PDF::Signature* signature, PDF::Signature::VerifyError code) {
        _signatures.push_back(SigItem{name, signature, code});
    }
    const std::vector<SigItem>& Signatures() const { return _signatures; }
    // Not owned; may be null.
    void SetVersions(PDF::Versions* versions) { _versions = versions; }
    PDF::Versions* GetVersions() const { return _versions; }

private:
    std::vector<SigItem> _signatures;
    PDF::Versions* _versions = nullptr;
};
