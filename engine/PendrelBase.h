#pragma once

#include <memory>

#include "engine/FactoryPtr.h"

namespace Crypto {
class Certificate;
}

class CertInfoBase;
class PropBase;
class ResultBase;
class SignConsentDlg;
class SignatureBase;
class StatusDlg;
class StatusSigDlg;

// The two operations of the system on a loaded request: Sign appends one
// signature to a copy of the document, Verify checks every signature the
// document carries. Both answer a result object (null only for a null
// request or when the result cannot be created). The scriptable main object
// implements the factories: it creates the scriptable result, certificate
// information and signature-list objects and the platform dialogs.
class PendrelBase {
public:
    virtual ~PendrelBase() = default;

    FactoryPtr<ResultBase> Sign(PropBase* request);
    FactoryPtr<ResultBase> Verify(PropBase* request);

    // For a web page, Sign first asks the user (unless the page's origin
    // is allowed for good); a refusal, or no window to ask in, gives this code.
    static constexpr int kSignDenied = -79;

protected:
    PendrelBase() = default;
    PendrelBase(const PendrelBase&) = delete;
    PendrelBase& operator=(const PendrelBase&) = delete;

    // The caller of Sign/Verify owns the result. A created certificate
    // information object is handed to the signature list (AddSignature), the
    // list to the result (SetSignatures); one that nothing took is released
    // when its owner goes. Any of the three may be null when it cannot be
    // created.
    virtual FactoryPtr<ResultBase> CreateResultObject() = 0;
    virtual FactoryPtr<CertInfoBase> CreateCertificateObject() = 0;
    virtual FactoryPtr<SignatureBase> CreateSignatureObject() = 0;
    // Always a dialog; destroyed before the operation returns.
    virtual std::unique_ptr<StatusSigDlg> CreateStatusSigDlg() = 0;
    virtual std::unique_ptr<StatusDlg> CreateStatusDlg() = 0;
    // The window that asks whether a web page may sign; null when there is
    // none (then such a page is denied).
    virtual std::unique_ptr<SignConsentDlg> CreateSignConsentDlg();

private:
    // Whether the request's web page may sign with the certificate: allowed
    // for good, or allowed by the user now.
    bool ConsentToSign(const PropBase& request, const Crypto::Certificate& certificate);
};
