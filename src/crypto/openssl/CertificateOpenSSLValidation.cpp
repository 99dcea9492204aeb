// Validation of a CertificateOpenSSL: validity period, chain trust against
// the keychain and revocation through the issuer's revocation list.

#include <cstdint>
#include <ctime>

#include "common/Logger.h"
#include "crypto/openssl/CRLCache.h"
#include "crypto/openssl/CRLDownloaderOpenSSL.h"
#include "crypto/openssl/CertStoreFile.h"
#include "crypto/openssl/CertificateOpenSSL.h"
#include "crypto/openssl/CryptoUtils.h"
#include "crypto/openssl/TrustObject.h"

namespace Crypto {

namespace {

// A number shown the second way the log lines show statuses.
void* AsPointer(unsigned value) {
    return reinterpret_cast<void*>(static_cast<std::uintptr_t>(value));
}

const CertificateOpenSSL* WithPublicKey(const Certificate* cert) {
    const auto* found = dynamic_cast<const CertificateOpenSSL*>(cert);
    if (found == nullptr || found->X509Handle() == nullptr ||
        X509_get0_pubkey(found->X509Handle()) == nullptr) {
        ERR_clear_error();
        return nullptr;
    }
    return found;
}

// Every certificate of an enumeration, as OpenSSL objects.
template <typename Add>
void ForEachCertificate(CertStoreFile& store, Add add) {
    for (Certificate* cert = store.Begin(); cert != nullptr; cert = store.Next()) {
        const auto* openssl = dynamic_cast<const CertificateOpenSSL*>(cert);
        if (openssl != nullptr && openssl->X509Handle() != nullptr) add(openssl->X509Handle());
    }
}

}  // namespace

void CertificateOpenSSL::SetValidity(int& field, int code) {
    field = code;
    FormatStatus(_status);
}

void CertificateOpenSSL::Validate(bool checkCRL, const PromptContext& context) {
    ResetValidation();
    if (!_x509) return;
    // Valid only strictly inside the validity period.
    const std::time_t now = std::time(nullptr);
    SetValidity(_timeValidity, (now <= NotBefore() || now >= NotAfter()) ? Invalid : Valid);

    CertStoreFile otherStore;
    if (!otherStore.Open(CertStore::Other)) {
        Logger::Get()->SetFunc("Validate");
        Logger::Get()->Log("Failed to open Other certificate store !");
        return;
    }
    const std::unique_ptr<TrustObject> trust = CreateTrustObject(_x509.get(), otherStore);
    if (!trust) {
        Logger::Get()->SetFunc("Validate");
        Logger::Get()->Log("CreateTrustObject failed.");
        return;
    }
    const TrustObject::Result result = trust->Evaluate();
    if (trust->ChainError() != X509_V_OK) {
        Logger::Get()->SetFunc("Validate");
        Logger::Get()->Log("Chain evaluation: %s", X509_verify_cert_error_string(trust->ChainError()));
    }
    if (trust->LeafRevoked()) SetValidity(_crlValidity, Invalid);
    switch (result) {
        case TrustObject::kDeny:
        case TrustObject::kRecoverableTrustFailure:
        case TrustObject::kFatalTrustFailure:
            Logger::Get()->SetFunc("Validate");
            Logger::Get()->Log("Got bad trust result %u %p", static_cast<unsigned>(result),
                               AsPointer(result));
            SetValidity(_chainValidity, Invalid);
            break;
        case TrustObject::kProceed:
            SetValidity(_chainValidity, Valid);
            break;
        default:
            Logger::Get()->SetFunc("Validate");
            Logger::Get()->Log("Got unknown trust result %u %p", static_cast<unsigned>(result),
                               AsPointer(result));
            break;
    }
    _error = 1;
    if (checkCRL) CheckRevocationStatus(otherStore, context);
}

std::unique_ptr<TrustObject> CertificateOpenSSL::CreateTrustObject(X509* cert, CertStoreFile& otherStore) {
    auto trust = std::make_unique<TrustObject>(cert);
    if (!trust->Ready()) {
        Logger::Get()->SetFunc("CreateTrustObject");
        Logger::Get()->Log("Trust creation failed !");
        return nullptr;
    }
    CertStoreFile rootStore(otherStore.Keychain());
    if (!rootStore.Open(CertStore::Root)) {
        Logger::Get()->SetFunc("CreateTrustObject");
        Logger::Get()->Log("Failed to open the Root certificate store !");
        return nullptr;
    }
    ForEachCertificate(rootStore, [&](X509* anchor) { trust->AddAnchor(anchor); });
    ForEachCertificate(otherStore, [&](X509* candidate) { trust->AddCandidate(candidate); });

    // The cached current list of the issuer takes part, if there is one.
    std::vector<EVP_PKEY*> issuerKeys;
    for (X509* issuer : trust->IssuerCandidates()) {
        if (EVP_PKEY* key = X509_get0_pubkey(issuer)) issuerKeys.push_back(key);
    }
    ERR_clear_error();
    const CRLCache cache(otherStore.Keychain());
    if (const X509CRLPtr cached = cache.Lookup(X509_get_issuer_name(cert), std::time(nullptr), issuerKeys)) {
        if (!trust->AddCRL(cached.get())) {
            Logger::Get()->SetFunc("CreateTrustObject");
            Logger::Get()->Log("Failed to set CRL policy options !");
            return nullptr;
        }
    }
    return trust;
}

void CertificateOpenSSL::CheckRevocationStatus(CertStoreFile& otherStore, const PromptContext& context) {
    // Revocation is only judged for a trusted chain.
    if (_chainValidity != Valid) {
        SetValidity(_crlValidity, NotDetermined);
        return;
    }
    if (!_x509) return;
    const std::string issuerDN = IssuerDN();
    const char* where = "USER";
    const CertificateOpenSSL* issuer = WithPublicKey(otherStore.FindBySubject(issuerDN));
    CertStoreFile rootStore(otherStore.Keychain());  // owns what it finds: lives as long as issuer
    if (issuer == nullptr) {
        where = "SYSTEM";
        if (rootStore.Open(CertStore::Root)) issuer = WithPublicKey(rootStore.FindBySubject(issuerDN));
    }
    if (issuer == nullptr) {
        Logger::Get()->SetFunc("CheckRevocationStatus");
        Logger::Get()->Log("Failed to find issuer certificate or certificate decoding failed !");
        return;
    }
    Logger::Get()->SetFunc("CheckRevocationStatus");
    Logger::Get()->Log("Issuer certificate found in %s keychain, SUBJECT = |%s|  ISSUER = |%s|", where,
                       issuer->SubjectDN().c_str(), issuer->IssuerDN().c_str());

    EVP_PKEY* const issuerKey = X509_get0_pubkey(issuer->X509Handle());
    const CRLCache cache(otherStore.Keychain());
    const std::time_t now = std::time(nullptr);
    if (const X509CRLPtr cached = cache.Lookup(X509_get_issuer_name(_x509.get()), now, {issuerKey})) {
        Logger::Get()->SetFunc("CheckRevocationStatus");
        Logger::Get()->Log("The CRL was found in cache!");
        // A cached list was checked before it was cached: it decides as a
        // downloaded one does.
        JudgeRevocation(cached.get());
        return;
    }

    std::vector<unsigned char> der;
    const bool downloaded = DownloadCRL(der, context);
    Logger::Get()->SetFunc("CheckRevocationStatus");
    Logger::Get()->Log("CRL Download was %s", downloaded ? "SUCCESSFUL" : "NOT SUCCESSFULL !");
    if (!downloaded) return;

    const unsigned char* p = der.data();
    const X509CRLPtr crl(d2i_X509_CRL(nullptr, &p, static_cast<long>(der.size())));
    Logger::Get()->SetFunc("CheckRevocationStatus");
    if (!crl) {
        ERR_clear_error();
        Logger::Get()->Log("CRL decoding failed!");
        return;
    }
    Logger::Get()->Log("CRL decoding succeeded.");
    if (issuerKey == nullptr) {
        Logger::Get()->SetFunc("CheckRevocationStatus");
        Logger::Get()->Log("Failed to extract issuer public key!");
        return;
    }
    const std::time_t nextUpdate = CryptoUtils::ASN1_TIME_to_time_t(X509_CRL_get0_nextUpdate(crl.get()));
    Logger::Get()->SetFunc("CheckRevocationStatus");
    if (nextUpdate <= now) {
        Logger::Get()->Log("CRL NextUpdate time is in the past ! - NOT OK!");
        return;
    }
    Logger::Get()->Log("CRL NextUpdate time is in the future. - OK");
    const bool signatureValid = X509_CRL_verify(crl.get(), issuerKey) == 1;
    ERR_clear_error();
    Logger::Get()->SetFunc("CheckRevocationStatus");
    if (!signatureValid) {
        Logger::Get()->Log("CRL Signature is INVALID !");
        return;
    }
    Logger::Get()->Log("CRL Signature is valid.");

    // Cached for later validations; a failure here does not stop the check.
    std::vector<unsigned char> issuerDer;
    issuer->OutputDER(issuerDer);
    Logger::Get()->SetFunc("DEBUGDER");
    Logger::Get()->Log("%s Outputing %u bytes DER, IdentityRef %p , CertRef %p , Cert %p", "OUTPUTDER",
                       static_cast<unsigned>(issuerDer.size()), static_cast<void*>(issuer->PrivateKey()),
                       static_cast<const void*>(issuer), static_cast<void*>(issuer->X509Handle()));
    std::string cacheError;
    if (!cache.Store(crl.get(), cacheError)) {
        Logger::Get()->SetFunc("CheckRevocationStatus");
        Logger::Get()->Log("Failed to cache the CRL in the user keychain: %s", cacheError.c_str());
    }
    JudgeRevocation(crl.get());
}

void CertificateOpenSSL::JudgeRevocation(const X509_CRL* crl) {
    const bool revoked = IsRevoked(crl);
    Logger::Get()->SetFunc("CheckRevocationStatus");
    Logger::Get()->Log("%s", revoked ? "Certificate is REVOKED!" : "Certificate is NOT REVOKED.");
    SetValidity(_crlValidity, revoked ? Invalid : Valid);
}

bool CertificateOpenSSL::DownloadCRL(std::vector<unsigned char>& out, const PromptContext& context) {
    return CRLDownloaderOpenSSL::DownloadCRL(_der, out, _error, context.language, context.origin);
}

bool CertificateOpenSSL::IsRevoked(const X509_CRL* crl) const {
    if (!_x509 || crl == nullptr) return true;
    // An empty list leaves the entries out altogether.
    const STACK_OF(X509_REVOKED)* entries = X509_CRL_get_REVOKED(const_cast<X509_CRL*>(crl));
    if (entries == nullptr) return false;
    const ASN1_INTEGER* serial = X509_get0_serialNumber(_x509.get());
    for (int i = 0; i < sk_X509_REVOKED_num(entries); ++i) {
        const X509_REVOKED* entry = sk_X509_REVOKED_value(entries, i);
        if (ASN1_INTEGER_cmp(X509_REVOKED_get0_serialNumber(entry), serial) == 0) return true;
    }
    return false;
}

}  // namespace Crypto
