#pragma once

#include <utility>
#include <vector>

#include "crypto/openssl/OpenSSLPtr.h"

namespace Crypto {

using X509StorePtr = std::unique_ptr<X509_STORE, FreeWith<&X509_STORE_free>>;
using X509StoreCtxPtr = std::unique_ptr<X509_STORE_CTX, FreeWith<&X509_STORE_CTX_free>>;

// One chain evaluation of one certificate: trusted anchors, untrusted
// candidates for the chain and, optionally, revocation lists whose entries
// count as evidence for the certificate itself.
class TrustObject {
public:
    // Trust results, numbered as the validation's log lines report them.
    enum Result : unsigned {
        kInvalid = 0,
        kProceed = 1,
        kConfirm = 2,
        kDeny = 3,
        kUnspecified = 4,
        kRecoverableTrustFailure = 5,
        kFatalTrustFailure = 6,
        kOtherError = 7,
    };

    // A verification error reported for the certificate at a depth of the
    // chain (0 is the evaluated certificate).
    struct Evidence {
        int depth;
        int error;
    };

    // Null handles when OpenSSL cannot make them (Ready() is then false).
    explicit TrustObject(X509* leaf);
    TrustObject(const TrustObject&) = delete;
    TrustObject& operator=(const TrustObject&) = delete;

    bool Ready() const { return _store && _untrusted && _leaf; }
    bool AddAnchor(X509* cert);
    bool AddCandidate(X509* cert);
    // A list that takes part in the evaluation: the certificate is then
    // checked against it (only the certificate, not its issuers).
    bool AddCRL(X509_CRL* crl);

    // Anchors and candidates that could have issued the certificate.
    std::vector<X509*> IssuerCandidates() const;

    // Runs the evaluation: kProceed when a chain to an anchor was built and
    // holds, kRecoverableTrustFailure when not, kOtherError when the
    // evaluation could not run. Revocation of the certificate, and lists
    // that cannot be used, are evidence and no chain failure.
    Result Evaluate();
    // The first error that failed the chain (X509_V_OK when none).
    int ChainError() const { return _chainError; }
    const std::vector<Evidence>& Evidences() const { return _evidence; }
    bool LeafRevoked() const;

private:
    static int VerifyCallback(int ok, X509_STORE_CTX* ctx);

    X509Ptr _leaf;
    X509StorePtr _store;
    X509StackPtr _untrusted;
    std::vector<X509Ptr> _anchors;
    bool _hasCRL = false;
    int _chainError = X509_V_OK;
    std::vector<Evidence> _evidence;
};

}  // namespace Crypto
