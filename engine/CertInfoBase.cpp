#include "engine/CertInfoBase.h"

#include <cctype>
#include <climits>
#include <cstdlib>
#include <vector>

#include "common/Logger.h"
#include "crypto/CertInfo.h"
#include "crypto/CertStore.h"
#include "crypto/Certificate.h"
#include "crypto/KeyUsage.h"
#include "engine/ChooseCertDlg.h"

namespace {

std::string UpperCase(const std::string& text) {
    std::string upper = text;
    for (char& ch : upper) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    return upper;
}

// Reads a decimal integer as "%d" scanning does (leading white space, a
// sign, digits), without its undefined behaviour on overflow: a number out of
// range is clamped. Only white space reads as 0; false when no number begins
// the text.
bool ScanInteger(const std::string& text, int& number) {
    const char* const start = text.c_str();
    const char* p = start;
    while (*p != '\0' && std::isspace(static_cast<unsigned char>(*p))) ++p;
    if (*p == '\0') {
        number = 0;
        return true;
    }
    char* end = nullptr;
    const long value = std::strtol(p, &end, 10);
    if (end == p) return false;
    number = value > INT_MAX ? INT_MAX : value < INT_MIN ? INT_MIN : static_cast<int>(value);
    return true;
}

}  // namespace

CertInfoBase::CertInfoBase() {
    Logger::Get()->SetFunc("CertInfoBase");
    Logger::Get()->Log("*** Constructor, object %p", static_cast<void*>(this));
}

CertInfoBase::~CertInfoBase() {
    Logger::Get()->SetFunc("~CertInfoBase");
    Logger::Get()->Log("*** Destructor, object %p", static_cast<void*>(this));
    // The chooser lists the store: it goes first.
    _chooser.reset();
    _store.reset();
}

void CertInfoBase::SetStore(std::unique_ptr<Crypto::CertStore> store) {
    _store = std::move(store);
}

void CertInfoBase::SetChooser(std::unique_ptr<ChooseCertDlg> chooser) {
    _chooser = std::move(chooser);
}

bool CertInfoBase::IsOn(const std::string& value) {
    const std::string upper = UpperCase(value);
    return upper == "TRUE" || upper == "YES";
}

std::string CertInfoBase::GetPolicy(const std::string& name) const {
    const auto found = _policies.find(UpperCase(name));
    return found != _policies.end() ? found->second : std::string();
}

void CertInfoBase::SetPolicy(const std::string& name, const std::string& value) {
    _policies.emplace(UpperCase(name), value);  // a name already there keeps its value
}

void CertInfoBase::ApplyPolicies() {
    if (!_store) return;
    _store->SetCAs(std::string());
    _store->SetKeyUsage(0);
    _store->SetOnlyPrivateKeys(false);

    const std::string cas = GetPolicy("CAS");
    if (!cas.empty()) _store->SetCAs(cas);
    _store->SetKeyUsage(IsOn(GetPolicy("CHECKKEYUSAGE")) ? Crypto::KeyUsage::DigitalSignature : 0);
    _store->SetOnlyPrivateKeys(IsOn(GetPolicy("ONLYPRIVATEKEYS")));
    const std::string lang = GetPolicy("LANG");
    if (!lang.empty()) {
        // Only white space sets 0; text that does not begin with a number
        // changes nothing.
        int language = 0;
        if (ScanInteger(lang, language)) _language = language;
    }
    _store->SetSubsetDNCompare(IsOn(GetPolicy("SUBSETDNCOMPARE")));
}

bool CertInfoBase::Search() {
    if (!_store) return false;
    _store->SetOrigin(_origin);
    _store->SetLanguage(_language);
    _store->Open(Crypto::CertStore::Personal);
    ApplyPolicies();
    Crypto::CertInfo criteria;
    criteria.Adopt(this);
    const Crypto::Certificate* const found = _store->FindByCertInfo(&criteria);
    if (found == nullptr) {
        _certificate.reset();
        return false;
    }
    LoadCertificate(found);
    return true;
}

bool CertInfoBase::ShowDialog() {
    if (!_store || !_chooser) return false;
    _store->SetOrigin(_origin);
    _store->SetLanguage(_language);
    _store->Open(Crypto::CertStore::Personal);
    ApplyPolicies();
    bool listed = false;
    for (const Crypto::CertStore* store : _chooser->Stores()) listed = listed || store == _store.get();
    if (!listed) _chooser->AddStore(_store.get());
    _chooser->SetLanguage(_language);
    _chooser->SetOrigin(_origin);
    if (!_chooser->Show()) return false;
    const std::int64_t index = _chooser->SelectedIndex();
    const auto& candidates = _chooser->Candidates();
    if (index >= 0 && static_cast<std::size_t>(index) < candidates.size()) {
        LoadCertificate(candidates[static_cast<std::size_t>(index)]);
        return _certificate != nullptr;
    }
    _certificate.reset();
    return false;
}

void CertInfoBase::LoadCertificate(const Crypto::Certificate* certificate) {
    if (certificate == nullptr) return;
    _certificate = certificate->Clone();

    const std::vector<unsigned char> hash = certificate->Hash();
    if (hash.empty()) {
        _certHash.clear();
        _certHash64.clear();
    } else {
        _certHash = Crypto::Certificate::ByteBufferToHex(hash);
        Crypto::Certificate::ByteBufferToBase64(hash, _certHash64);
    }
    _serialNumber = Crypto::Certificate::SerialNumToHex(certificate->SerialNumber());
    _subject = certificate->Subject();
    _subjectDN = certificate->SubjectDN();
    _issuer = certificate->Issuer();
    _error = certificate->Error();
    _status = certificate->Status();
}
