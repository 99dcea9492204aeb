#include "crypto/openssl/KeychainListing.h"

#include <cctype>
#include <memory>

#include "crypto/CertStore.h"
#include "crypto/openssl/CertStoreFile.h"
#include "crypto/openssl/CertificateOpenSSL.h"
#include "crypto/openssl/KeySession.h"
#include "crypto/openssl/TokenIdentities.h"

namespace Crypto {

namespace {

std::string Fingerprint(const std::vector<unsigned char>& bytes) {
    static const char kDigits[] = "0123456789ABCDEF";
    std::string text;
    for (const unsigned char byte : bytes) {
        if (!text.empty()) text += ':';
        text += kDigits[byte >> 4];
        text += kDigits[byte & 0x0F];
    }
    return text;
}

bool Inside(const std::string& path, const std::string& folder) {
    return path.size() > folder.size() && path.compare(0, folder.size(), folder) == 0 &&
           path[folder.size()] == '/';
}

// Whether a page is offered an identity the store lists, under the policies
// every page starts with (the end of the validity period is checked).
void JudgeIdentity(KeychainListing::Item& item, std::time_t now) {
    if (!item.offered || !item.hasCertificate) return;
    if (item.notAfter <= now) {
        item.offered = false;
        item.note = "expired on " + KeychainListing::FormatTime(item.notAfter);
    } else if (item.notBefore > now) {
        item.note = "not valid before " + KeychainListing::FormatTime(item.notBefore) +
                    ": signing fails the time test until then" + (item.note.empty() ? "" : "; " + item.note);
    }
}

void WriteItem(std::ostream& out, const KeychainListing::Item& item, bool identity) {
    if (item.hasCertificate) {
        out << "  " << (item.subject.empty() ? item.subjectDN : item.subject) << "\n";
        out << "    subject     " << item.subjectDN << "\n";
        out << "    issued by   " << item.issuer << "\n";
        out << "    expires     " << KeychainListing::FormatTime(item.notAfter) << "\n";
        out << "    SHA-1       " << item.sha1 << "\n";
        out << "    stored in   " << item.where << "\n";
    } else {
        out << "  " << item.where << "\n";
    }
    if (identity || !item.offered) {
        out << "    offered     " << (item.offered ? "yes" : "no");
        if (!item.note.empty()) out << (item.offered ? " (" : ": ") << item.note << (item.offered ? ")" : "");
        out << "\n";
    }
}

}  // namespace

KeychainListing::KeychainListing(std::string keychainFolder) : _keychain(std::move(keychainFolder)) {}

std::string KeychainListing::FormatTime(std::time_t time) {
    if (time == 0) return "unknown";
    std::tm utc{};
    if (gmtime_r(&time, &utc) == nullptr) return "unknown";
    char text[40];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S UTC", &utc);
    return text;
}

std::vector<KeychainListing::Item> KeychainListing::Items(int type) const {
    auto session = std::make_shared<KeySession>();
    session->SetInteractive(false);
    CertStoreFile store(_keychain, session);
    std::vector<Item> items;
    store.SetObserver([&items](const StoreEntry& entry) {
        Item item;
        item.where = entry.where;
        item.offered = entry.offered;
        item.note = entry.note;
        if (const Certificate* cert = entry.certificate) {
            item.hasCertificate = true;
            item.subject = cert->Subject();
            item.subjectDN = cert->SubjectDN();
            item.issuer = cert->IssuerDN();
            item.notAfter = cert->NotAfter();
            if (const auto* openssl = dynamic_cast<const CertificateOpenSSL*>(cert))
                item.notBefore = openssl->NotBefore();
            item.sha1 = Fingerprint(cert->Hash());
        }
        items.push_back(std::move(item));
    });
    if (!store.Open(static_cast<CertStore::Type>(type))) {
        Item item;
        item.where = _keychain + "/" + CertStoreFile::FolderName(static_cast<CertStore::Type>(type));
        item.note = "the folder cannot be read";
        items.push_back(item);
        return items;
    }
    for (Certificate* cert = store.Begin(); cert != nullptr; cert = store.Next()) {
    }
    return items;
}

void KeychainListing::Write(std::ostream& out, std::time_t now) const {
    const std::vector<std::string> modules = TokenIdentities::ConfiguredModules();
    out << "Keychain folder: " << _keychain << "\n";
    out << "Token modules:   ";
    if (modules.empty()) out << "none";
    for (std::size_t i = 0; i < modules.size(); ++i) out << (i > 0 ? ", " : "") << modules[i];
    out << "\n\nIdentities (offered for signing)\n";
    std::vector<Item> identities = Items(CertStore::Personal);
    if (identities.empty()) out << "  none\n";
    for (Item& item : identities) {
        JudgeIdentity(item, now);
        WriteItem(out, item, true);
    }

    out << "\nTrusted roots\n";
    int anchors = 0;
    bool listed = false;
    for (const Item& item : Items(CertStore::Root)) {
        if (!Inside(item.where, _keychain)) {
            anchors += item.hasCertificate ? 1 : 0;  // the system's, not the user's
            continue;
        }
        WriteItem(out, item, false);
        listed = true;
    }
    if (!listed) out << "  none in the keychain folder\n";
    out << "  and " << anchors << " trust anchors of the system\n";

    out << "\nOther certificates (issuers)\n";
    const std::vector<Item> others = Items(CertStore::Other);
    if (others.empty()) out << "  none\n";
    for (const Item& item : others) WriteItem(out, item, false);
}

}  // namespace Crypto
