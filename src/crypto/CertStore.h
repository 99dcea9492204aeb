#pragma once

#include <ctime>
#include <set>
#include <string>
#include <vector>

#include "crypto/BigInteger.h"

namespace Crypto {

class CertInfo;
class Certificate;
class PublicKey;
class PublicKeyFactory;

// Enumerates the certificates of one store and finds those that match a
// request and pass the selection policies. Certificates handed out belong
// to the store and stay valid as long as it lives.
class CertStore {
public:
    enum Type : int { Personal = 0, Root = 1, Other = 2 };

    virtual ~CertStore() = default;

    // Starts an enumeration of the store of that type.
    virtual bool Open(Type type) = 0;
    // Restarts the enumeration: the first certificate, or null.
    virtual Certificate* Begin() = 0;
    // The next certificate, or null at the end or on error.
    virtual Certificate* Next() = 0;

    // Policies. Acceptable issuer display names, separated by ';' (empty
    // pieces dropped, no trimming); empty means any issuer.
    void SetCAs(const std::string& list);
    const std::set<std::string>& CAs() const { return _cas; }
    // A KeyUsage::Usages value certificates must carry; 0 for none.
    void SetKeyUsage(int usage) { _keyUsage = usage; }
    int KeyUsage() const { return _keyUsage; }
    void SetOnlyPrivateKeys(bool only) { _onlyPrivateKeys = only; }
    bool OnlyPrivateKeys() const { return _onlyPrivateKeys; }
    // Distinguished names of a request match by inclusion instead of equality.
    void SetSubsetDNCompare(bool subset) { _subsetDNCompare = subset; }
    bool SubsetDNCompare() const { return _subsetDNCompare; }
    void SetCheckTimeValidity(bool check) { _checkTimeValidity = check; }
    bool CheckTimeValidity() const { return _checkTimeValidity; }
    // The origin of the page the store enumerates for, named by a passphrase
    // prompt the enumeration may need; empty for a local page.
    void SetOrigin(const std::string& origin) { _origin = origin; }
    // The message language of those prompts.
    void SetLanguage(int language) { _language = language; }
    int Language() const { return _language; }
    const std::string& Origin() const { return _origin; }

    // Policy checks; each is false for a null certificate.
    bool CheckPrivateKey(const Certificate* cert) const;
    bool CheckTimeValid(const Certificate* cert, std::time_t now) const;
    bool CheckKeyUsage(const Certificate* cert) const;
    bool CheckCAs(const Certificate* cert) const;
    bool CheckAllPolicies(const Certificate* cert, std::time_t now) const;

    // Searches: the first certificate of an enumeration from Begin() that
    // matches and passes every policy; null when none does. A name that is
    // a distinguished name is compared with the certificate's RFC 2253 name,
    // a plain name with its display name.
    Certificate* FindBySubject(const std::string& subject);
    Certificate* FindByIssuer(const std::string& issuer);
    Certificate* FindBySubjectIssuer(const std::string& subject, const std::string& issuer);
    Certificate* FindByIssuerSerial(const std::string& issuer, const BigInteger& serial);
    Certificate* FindByHash(const std::vector<unsigned char>& hash);
    Certificate* FindBySKI(const std::vector<unsigned char>& ski);
    Certificate* FindByPublicKey(const PublicKey* key, const PublicKeyFactory* factory);
    // By hash, then issuer and serial, subject and issuer, subject, issuer.
    Certificate* FindByCertInfo(const CertInfo* info);

protected:
    CertStore() = default;
    CertStore(const CertStore&) = delete;
    CertStore& operator=(const CertStore&) = delete;

private:
    template <typename Match>
    Certificate* FindFirst(Match match);
    bool SubjectMatches(const Certificate& cert, const std::string& subject) const;
    bool IssuerMatches(const Certificate& cert, const std::string& issuer) const;

    std::set<std::string> _cas;
    int _keyUsage = 0;
    bool _onlyPrivateKeys = false;
    bool _subsetDNCompare = false;
    bool _checkTimeValidity = true;
    std::string _origin;
    int _language = 0;
};

}  // namespace Crypto
