#include "crypto/openssl/TrustObject.h"

#include <algorithm>

namespace Crypto {

namespace {

// Problems of a revocation list (none found, stale, badly signed, ...): no
// list is required, so they leave revocation undetermined and do not fail
// the chain.
bool IsListProblem(int error) {
    switch (error) {
        case X509_V_ERR_UNABLE_TO_GET_CRL:
        case X509_V_ERR_UNABLE_TO_DECRYPT_CRL_SIGNATURE:
        case X509_V_ERR_CRL_SIGNATURE_FAILURE:
        case X509_V_ERR_CRL_NOT_YET_VALID:
        case X509_V_ERR_CRL_HAS_EXPIRED:
        case X509_V_ERR_ERROR_IN_CRL_LAST_UPDATE_FIELD:
        case X509_V_ERR_ERROR_IN_CRL_NEXT_UPDATE_FIELD:
        case X509_V_ERR_UNABLE_TO_GET_CRL_ISSUER:
        case X509_V_ERR_KEYUSAGE_NO_CRL_SIGN:
        case X509_V_ERR_UNHANDLED_CRITICAL_CRL_EXTENSION:
        case X509_V_ERR_DIFFERENT_CRL_SCOPE:
        case X509_V_ERR_CRL_PATH_VALIDATION_ERROR:
            return true;
        default:
            return false;
    }
}

X509Ptr Retained(X509* cert) {
    return X509Ptr(cert != nullptr && X509_up_ref(cert) == 1 ? cert : nullptr);
}

}  // namespace

TrustObject::TrustObject(X509* leaf)
    : _leaf(Retained(leaf)), _store(X509_STORE_new()), _untrusted(sk_X509_new_null()) {
    ERR_clear_error();
}

bool TrustObject::AddAnchor(X509* cert) {
    if (!_store || cert == nullptr) return false;
    X509Ptr kept = Retained(cert);
    // The same anchor twice is no failure.
    const bool added = kept && (X509_STORE_add_cert(_store.get(), cert) == 1 ||
                                ERR_GET_REASON(ERR_peek_last_error()) == X509_R_CERT_ALREADY_IN_HASH_TABLE);
    ERR_clear_error();
    if (added) _anchors.push_back(std::move(kept));
    return added;
}

bool TrustObject::AddCandidate(X509* cert) {
    if (!_untrusted || cert == nullptr) return false;
    X509Ptr kept = Retained(cert);
    if (!kept || sk_X509_push(_untrusted.get(), kept.get()) <= 0) return false;
    kept.release();  // now owned by the stack
    return true;
}

bool TrustObject::AddCRL(X509_CRL* crl) {
    if (!_store || crl == nullptr || X509_STORE_add_crl(_store.get(), crl) != 1) {
        ERR_clear_error();
        return false;
    }
    _hasCRL = true;
    return true;
}

std::vector<X509*> TrustObject::IssuerCandidates() const {
    std::vector<X509*> found;
    if (!_leaf) return found;
    const auto consider = [&](X509* cert) {
        if (X509_check_issued(cert, _leaf.get()) == X509_V_OK) found.push_back(cert);
    };
    for (const X509Ptr& anchor : _anchors) consider(anchor.get());
    for (int i = 0; _untrusted && i < sk_X509_num(_untrusted.get()); ++i)
        consider(sk_X509_value(_untrusted.get(), i));
    ERR_clear_error();
    return found;
}

int TrustObject::VerifyCallback(int ok, X509_STORE_CTX* ctx) {
    if (ok == 1) return ok;
    auto* self = static_cast<TrustObject*>(X509_STORE_CTX_get_app_data(ctx));
    const int error = X509_STORE_CTX_get_error(ctx);
    const int depth = X509_STORE_CTX_get_error_depth(ctx);
    if (self != nullptr) self->_evidence.push_back(Evidence{depth, error});
    if (error == X509_V_ERR_CERT_REVOKED || IsListProblem(error)) return 1;
    if (self != nullptr && self->_chainError == X509_V_OK) self->_chainError = error;
    return 0;
}

TrustObject::Result TrustObject::Evaluate() {
    _evidence.clear();
    _chainError = X509_V_OK;
    if (!Ready()) return kOtherError;
    const X509StoreCtxPtr ctx(X509_STORE_CTX_new());
    if (!ctx || X509_STORE_CTX_init(ctx.get(), _store.get(), _leaf.get(), _untrusted.get()) != 1) {
        ERR_clear_error();
        return kOtherError;
    }
    // A certificate the user put among the roots is an anchor even when it
    // is not self-signed.
    unsigned long flags = X509_V_FLAG_PARTIAL_CHAIN;
    if (_hasCRL) flags |= X509_V_FLAG_CRL_CHECK;
    X509_STORE_CTX_set_flags(ctx.get(), flags);
    X509_STORE_CTX_set_app_data(ctx.get(), this);
    X509_STORE_CTX_set_verify_cb(ctx.get(), &TrustObject::VerifyCallback);
    const int verified = X509_verify_cert(ctx.get());
    if (verified == 0 && _chainError == X509_V_OK) _chainError = X509_STORE_CTX_get_error(ctx.get());
    ERR_clear_error();
    if (verified > 0) return kProceed;
    return verified == 0 ? kRecoverableTrustFailure : kOtherError;
}

bool TrustObject::LeafRevoked() const {
    return std::any_of(_evidence.begin(), _evidence.end(),
                       [](const Evidence& e) { return e.depth == 0 && e.error == X509_V_ERR_CERT_REVOKED; });
}

}  // namespace Crypto
