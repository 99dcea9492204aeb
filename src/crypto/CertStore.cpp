#include "crypto/CertStore.h"

#include "crypto/CertInfo.h"
#include "crypto/Certificate.h"
#include "crypto/DNCompare.h"
#include "crypto/PublicKey.h"
#include "crypto/PublicKeyFactory.h"

namespace Crypto {

void CertStore::SetCAs(const std::string& list) {
    _cas.clear();
    std::string::size_type start = 0;
    while (start <= list.size()) {
        const std::string::size_type end = list.find(';', start);
        const std::string piece =
            list.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (!piece.empty()) _cas.insert(piece);
        if (end == std::string::npos) break;
        start = end + 1;
    }
}

bool CertStore::CheckPrivateKey(const Certificate* cert) const {
    if (cert == nullptr) return false;
    return !_onlyPrivateKeys || cert->HasPrivateKey();
}

bool CertStore::CheckTimeValid(const Certificate* cert, std::time_t now) const {
    if (cert == nullptr) return false;
    return !_checkTimeValidity || cert->NotAfter() > now;
}

bool CertStore::CheckKeyUsage(const Certificate* cert) const {
    if (cert == nullptr) return false;
    if (_keyUsage == 0) return true;
    return cert->CertKeyUsage().count(static_cast<KeyUsage::Usages>(_keyUsage)) != 0;
}

bool CertStore::CheckCAs(const Certificate* cert) const {
    if (cert == nullptr) return false;
    return _cas.empty() || _cas.count(cert->Issuer()) != 0;
}

bool CertStore::CheckAllPolicies(const Certificate* cert, std::time_t now) const {
    return CheckCAs(cert) && CheckKeyUsage(cert) && CheckPrivateKey(cert) && CheckTimeValid(cert, now);
}

template <typename Match>
Certificate* CertStore::FindFirst(Match match) {
    const std::time_t now = std::time(nullptr);
    for (Certificate* cert = Begin(); cert != nullptr; cert = Next()) {
        if (match(*cert) && CheckAllPolicies(cert, now)) return cert;
    }
    return nullptr;
}

bool CertStore::SubjectMatches(const Certificate& cert, const std::string& subject) const {
    if (DNCompare::IsDN(subject))
        return DNCompare::Instance()->CompareDNs(subject, cert.SubjectDN(), _subsetDNCompare);
    return subject == cert.Subject();
}

bool CertStore::IssuerMatches(const Certificate& cert, const std::string& issuer) const {
    if (DNCompare::IsDN(issuer))
        return DNCompare::Instance()->CompareDNs(issuer, cert.IssuerDN(), _subsetDNCompare);
    return issuer == cert.Issuer();
}

Certificate* CertStore::FindBySubject(const std::string& subject) {
    return FindFirst([&](const Certificate& cert) { return SubjectMatches(cert, subject); });
}

Certificate* CertStore::FindByIssuer(const std::string& issuer) {
    return FindFirst([&](const Certificate& cert) { return IssuerMatches(cert, issuer); });
}

Certificate* CertStore::FindBySubjectIssuer(const std::string& subject, const std::string& issuer) {
    return FindFirst([&](const Certificate& cert) {
        return SubjectMatches(cert, subject) && IssuerMatches(cert, issuer);
    });
}

Certificate* CertStore::FindByIssuerSerial(const std::string& issuer, const BigInteger& serial) {
    return FindFirst([&](const Certificate& cert) {
        return IssuerMatches(cert, issuer) && cert.SerialNumber() == serial;
    });
}

// An empty request matches nothing: a certificate that could not be decoded
// has an empty fingerprint, and one without the extension an empty SKI.
Certificate* CertStore::FindByHash(const std::vector<unsigned char>& hash) {
    if (hash.empty()) return nullptr;
    return FindFirst([&](const Certificate& cert) { return cert.Hash() == hash; });
}

Certificate* CertStore::FindBySKI(const std::vector<unsigned char>& ski) {
    if (ski.empty()) return nullptr;
    return FindFirst([&](const Certificate& cert) { return cert.SKI() == ski; });
}

Certificate* CertStore::FindByPublicKey(const PublicKey* key, const PublicKeyFactory* factory) {
    if (key == nullptr || factory == nullptr) return nullptr;
    return FindFirst([&](const Certificate& cert) {
        const std::unique_ptr<PublicKey> made = factory->Create(cert);
        return made != nullptr && key->IsEqual(made.get());
    });
}

Certificate* CertStore::FindByCertInfo(const CertInfo* info) {
    if (info == nullptr) return nullptr;
    Certificate* found = nullptr;
    if (!info->hash.empty()) found = FindByHash(info->hash);
    if (found == nullptr && info->serial != 0 && !info->issuer.empty())
        found = FindByIssuerSerial(info->issuer, info->serial);
    if (found == nullptr && !info->subject.empty() && !info->issuer.empty())
        found = FindBySubjectIssuer(info->subject, info->issuer);
    if (found == nullptr && !info->subject.empty()) found = FindBySubject(info->subject);
    if (found == nullptr && !info->issuer.empty()) found = FindByIssuer(info->issuer);
    return found;
}

}  // namespace Crypto
