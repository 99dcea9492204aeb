#include "crypto/openssl/TokenIdentities.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <numeric>
#include <sstream>

#include "common/Logger.h"
#include "crypto/openssl/KeySession.h"
#include "crypto/openssl/Pkcs11Module.h"
#include "crypto/openssl/TokenKey.h"

namespace Crypto {

namespace {

bool SameId(const unsigned char* a, std::size_t aLength, const unsigned char* b, std::size_t bLength) {
    return aLength == bLength && aLength > 0 && std::equal(a, a + aLength, b);
}

bool HasKeyWithId(PKCS11_KEY* keys, unsigned int count, const PKCS11_CERT& cert) {
    for (unsigned int i = 0; i < count; ++i)
        if (SameId(keys[i].id, keys[i].id_len, cert.id, cert.id_len)) return true;
    return false;
}

// Certificates by label, then by id (byte order), for the same order on every enumeration.
std::vector<unsigned int> SortedCertificates(const PKCS11_CERT* certs, unsigned int count) {
    std::vector<unsigned int> order(count);
    std::iota(order.begin(), order.end(), 0u);
    std::stable_sort(order.begin(), order.end(), [certs](unsigned int a, unsigned int b) {
        const std::string la = certs[a].label != nullptr ? certs[a].label : "";
        const std::string lb = certs[b].label != nullptr ? certs[b].label : "";
        if (la != lb) return la < lb;
        return std::lexicographical_compare(certs[a].id, certs[a].id + certs[a].id_len, certs[b].id,
                                            certs[b].id + certs[b].id_len);
    });
    return order;
}

void Report(const StoreObserver& observer, const std::string& where, const Certificate* cert, bool offered,
            const std::string& note) {
    if (!observer) return;
    StoreEntry entry;
    entry.where = where;
    entry.certificate = cert;
    entry.offered = offered;
    entry.note = note;
    observer(entry);
}

void LogSkip(const std::string& where, const std::string& why) {
    Logger::Get()->SetFunc("Next");
    Logger::Get()->Log("Skipping %s: %s", where.c_str(), why.c_str());
}

void CollectToken(const std::shared_ptr<KeySession>& session, const std::shared_ptr<Pkcs11Module>& module,
                  unsigned int index, std::vector<std::unique_ptr<CertificateOpenSSL>>& out,
                  const StoreObserver& observer) {
    PKCS11_TOKEN* const token = module->Slot(index)->token;
    // The slot's description names the place for the listings even without an identity.
    const std::string where = TokenKey::Place(*module, index);
    PKCS11_CERT* certs = nullptr;
    unsigned int certCount = 0;
    if (PKCS11_enumerate_certs(token, &certs, &certCount) != 0) {
        TokenKey::TakeTokenError();
        const std::string why = "its certificates cannot be read";
        LogSkip(where, why);
        Report(observer, where, nullptr, false, why);
        return;
    }
    PKCS11_KEY* privateKeys = nullptr;
    unsigned int privateCount = 0;
    if (PKCS11_enumerate_keys(token, &privateKeys, &privateCount) != 0) {
        privateKeys = nullptr;
        privateCount = 0;
    }
    PKCS11_KEY* publicKeys = nullptr;
    unsigned int publicCount = 0;
    if (PKCS11_enumerate_public_keys(token, &publicKeys, &publicCount) != 0) {
        publicKeys = nullptr;
        publicCount = 0;
    }
    ERR_clear_error();
    for (const unsigned int i : SortedCertificates(certs, certCount)) {
        const PKCS11_CERT& cert = certs[i];
        if (cert.x509 == nullptr) continue;
        const bool publicKey = HasKeyWithId(publicKeys, publicCount, cert);
        const bool hasKey = publicKey || HasKeyWithId(privateKeys, privateCount, cert);
        if (!hasKey) {
            const CertificateOpenSSL seen(cert.x509);
            const std::string why = "no private key with the certificate's id on the token";
            LogSkip(where + " " + seen.Subject(), why);
            Report(observer, where, &seen, false, why);
            continue;
        }
        auto key = std::make_shared<TokenKey>(
            session, module, index, std::vector<unsigned char>(cert.id, cert.id + cert.id_len), publicKey);
        const std::string note = key->NeedsLogin() ? "the PIN is asked for when signing" : "";
        auto identity = std::make_unique<CertificateOpenSSL>(cert.x509, std::move(key));
        Report(observer, where, identity.get(), true, note);
        out.push_back(std::move(identity));
    }
}

}  // namespace

std::vector<std::string> TokenIdentities::ConfiguredModules() {
    std::vector<std::string> modules;
    const char* configured = std::getenv("PENDREL_PKCS11_MODULES");
    if (configured != nullptr) {
        std::stringstream list(configured);
        std::string path;
        while (std::getline(list, path, ':'))
            if (!path.empty()) modules.push_back(path);
        return modules;
    }
    std::error_code error;
    if (std::filesystem::exists(PENDREL_P11KIT_PROXY, error)) modules.push_back(PENDREL_P11KIT_PROXY);
    return modules;
}

void TokenIdentities::Collect(const std::shared_ptr<KeySession>& session,
                              const std::vector<std::string>& modules,
                              std::vector<std::unique_ptr<CertificateOpenSSL>>& out,
                              const StoreObserver& observer) {
    for (const std::string& path : modules) {
        const std::shared_ptr<Pkcs11Module> module = session->Module(path);
        if (!module) {
            const std::string why = "the PKCS#11 module cannot be loaded or lists no slots";
            LogSkip(path, why);
            Report(observer, path, nullptr, false, why);
            continue;
        }
        for (unsigned int i = 0; i < module->SlotCount(); ++i) {
            const PKCS11_SLOT* const slot = module->Slot(i);
            if (slot->token == nullptr || !slot->token->initialized) continue;
            CollectToken(session, module, i, out, observer);
        }
    }
}

}  // namespace Crypto
