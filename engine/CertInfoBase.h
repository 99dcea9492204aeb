#pragma once

#include <map>
#include <memory>
#include <string>

#include "crypto/CertInfoInterface.h"
#include "crypto/CryptoCodes.h"

class ChooseCertDlg;

namespace Crypto {
class Certificate;
class CertStore;
}  // namespace Crypto

// The certificate-information object: finds the signing certificate by
// criteria (Search) or lets the user choose it (ShowDialog), both under the
// policies the page set, and shows the details of the certificate it holds.
//
// The held certificate is this object's own copy (with the private key), so
// it stays valid whatever happens to the store, chooser or signature it came
// from; a later fill replaces it.
class CertInfoBase : public Crypto::CertInfoInterface {
public:
    CertInfoBase();
    ~CertInfoBase() override;
    CertInfoBase(const CertInfoBase&) = delete;
    CertInfoBase& operator=(const CertInfoBase&) = delete;

    std::string Subject() const override { return _subject; }
    std::string Issuer() const override { return _issuer; }
    std::string Serial() const override { return _serialNumber; }
    std::string Hash() const override { return _certHash; }
    std::string Hash64() const override { return _certHash64; }
    virtual std::string SubjectDN() const { return _subjectDN; }
    const std::string& Status() const { return _status; }
    int Error() const { return _error; }

    // Criteria for Search (the page writes these as plain properties).
    void SetSubject(const std::string& subject) { _subject = subject; }
    void SetIssuer(const std::string& issuer) { _issuer = issuer; }
    void SetSerial(const std::string& serialHex) { _serialNumber = serialHex; }
    void SetHash(const std::string& hashHex) { _certHash = hashHex; }
    void SetHash64(const std::string& hashBase64) { _certHash64 = hashBase64; }

    // The origin of the page this object serves (empty for a local page),
    // named by a passphrase window that the store's enumeration may need.
    void SetOrigin(const std::string& origin) { _origin = origin; }
    const std::string& Origin() const { return _origin; }

    // The store searched and offered, and the chooser; owned.
    void SetStore(std::unique_ptr<Crypto::CertStore> store);
    void SetChooser(std::unique_ptr<ChooseCertDlg> chooser);
    Crypto::CertStore* Store() const { return _store.get(); }
    ChooseCertDlg* Chooser() const { return _chooser.get(); }

    // The value set under `name` (any case), or empty.
    std::string GetPolicy(const std::string& name) const;
    // Stores the pair under the upper-cased name unless that name is there
    // already: the first value stays in force.
    void SetPolicy(const std::string& name, const std::string& value);
    // Pushes the policies into the store (when there is one): CAS,
    // CHECKKEYUSAGE, ONLYPRIVATEKEYS, SUBSETDNCOMPARE; LANG becomes the
    // language of the chooser.
    void ApplyPolicies();
    // The message language of the windows this object shows.
    int Language() const { return _language; }

    // Finds a certificate of the personal store by the criteria and loads it.
    // When none is found the texts stay, but no certificate is held.
    bool Search();
    // Lets the user choose; a cancel keeps the certificate held before.
    bool ShowDialog();
    // Holds a copy of `certificate` and fills the texts from it; null
    // changes nothing.
    void LoadCertificate(const Crypto::Certificate* certificate);

    // The held certificate, or null; valid until the next fill or the end of
    // this object. Shared, for holders that must outlive either.
    Crypto::Certificate* GetCertificate() const { return _certificate.get(); }
    std::shared_ptr<Crypto::Certificate> SharedCertificate() const { return _certificate; }

    // Boolean policy values: "true" or "yes" in any case.
    static bool IsOn(const std::string& value);

protected:
    // Fields the scriptable object maps to script properties.
    std::string _subject;
    std::string _subjectDN;
    std::string _issuer;
    std::string _serialNumber;
    std::string _certHash;
    std::string _certHash64;
    std::string _status;
    int _error = Crypto::Code::kNotValidated;

private:
    std::shared_ptr<Crypto::Certificate> _certificate;
    std::map<std::string, std::string> _policies;
    int _language = 0;
    std::string _origin;
    std::unique_ptr<Crypto::CertStore> _store;
    std::unique_ptr<ChooseCertDlg> _chooser;
};
