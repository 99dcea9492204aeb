#pragma once

#include <memory>

class CertInfoBase;
class PropBase;
class ResultBase;
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

    ResultBase* Sign(PropBase* request);
    ResultBase* Verify(PropBase* request);

protected:
    PendrelBase() = default;
    PendrelBase(const PendrelBase&) = delete;
    PendrelBase& operator=(const PendrelBase&) = delete;

    // The caller of Sign/Verify owns the result. A created certificate
    // information object is handed to the signature list (AddSignature), the
    // list to the result (SetSignatures). Any of the three may be null when
    // it cannot be created.
    virtual ResultBase* CreateResultObject() = 0;
    virtual CertInfoBase* CreateCertificateObject() = 0;
    virtual SignatureBase* CreateSignatureObject() = 0;
    // Gives back a certificate information object that was created but could
    // not be handed to a signature list.
    virtual void ReleaseCertificateObject(CertInfoBase* certInfo) = 0;
    // Always a dialog; destroyed before the operation returns.
    virtual std::unique_ptr<StatusSigDlg> CreateStatusSigDlg() = 0;
    virtual std::unique_ptr<StatusDlg> CreateStatusDlg() = 0;
};
