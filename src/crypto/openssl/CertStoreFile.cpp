#include "crypto/openssl/CertStoreFile.h"

#include <openssl/pem.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

#include "common/Logger.h"
#include "common/Util.h"
#include "common/posix/HomeDir.h"
#include "crypto/Secret.h"
#include "crypto/SecretPrompt.h"
#include "crypto/openssl/EncryptedFileKey.h"
#include "crypto/openssl/KeySession.h"
#include "crypto/openssl/TokenIdentities.h"

namespace Crypto {

namespace fs = std::filesystem;

namespace {

bool ReadWholeFile(const std::string& path, std::string& bytes) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::ostringstream out;
    out << in.rdbuf();
    if (in.bad()) return false;
    bytes = out.str();
    return true;
}

BIOPtr MemoryBIO(const std::string& bytes) {
    return BIOPtr(BIO_new_mem_buf(bytes.data(), static_cast<int>(bytes.size())));
}

bool HasExtension(const std::string& path, const char* extension) {
    const std::string ext = fs::path(path).extension().string();
    return ext.size() == std::strlen(extension) && Util::StartsWithNoCase(ext, extension);
}

void LogSkip(const std::string& path, const std::string& why) {
    Logger::Get()->SetFunc("Next");
    Logger::Get()->Log("Skipping %s: %s", path.c_str(), why.c_str());
}

}  // namespace

CertStoreFile::CertStoreFile() : CertStoreFile(KeychainFolder()) {}

CertStoreFile::CertStoreFile(const std::string& keychainFolder, std::shared_ptr<KeySession> session)
    : _keychain(keychainFolder), _session(session ? std::move(session) : std::make_shared<KeySession>()) {
    Logger::Get()->SetFunc("CertStoreFile");
    Logger::Get()->Log("*** Constructor, object %p", static_cast<void*>(this));
}

CertStoreFile::~CertStoreFile() {
    Logger::Get()->SetFunc("~CertStoreFile");
    Logger::Get()->Log("*** Destructor, object %p", static_cast<void*>(this));
}

std::string CertStoreFile::KeychainFolder() {
    const char* configured = std::getenv("PENDREL_KEYCHAIN");
    if (configured != nullptr && *configured != '\0') return configured;
    return Util::HomeDirectory() + "/.local/share/pendrel/keychain";
}

std::string CertStoreFile::FolderName(Type type) {
    switch (type) {
        case Personal:
            return "identities";
        case Root:
            return "roots";
        case Other:
            return "certs";
    }
    return std::string();
}

const char* CertStoreFile::Passphrase() {
    const char* passphrase = std::getenv("PENDREL_KEYCHAIN_PASSPHRASE");
    return passphrase;
}

bool CertStoreFile::Open(Type type) {
    _type = type;
    _open = false;
    _files.clear();
    _nextFile = 0;
    _pending.clear();
    _seen.clear();
    _tokensLoaded = type != Personal;
    if (type != Personal && type != Root && type != Other) return true;  // nothing to enumerate

    std::error_code error;
    const fs::file_status keychain = fs::status(_keychain, error);
    if (!fs::exists(keychain)) {
        // No keychain yet: an empty store (the system anchors still count as roots).
        if (type == Root) AddSystemAnchors();
        _open = true;
        return true;
    }
    if (!ListFolder(_keychain + "/" + FolderName(type), __LINE__)) return false;
    if (type == Root) AddSystemAnchors();
    _open = true;
    return true;
}

bool CertStoreFile::ListFolder(const std::string& folder, int line) {
    struct stat info {};
    if (::stat(folder.c_str(), &info) != 0) {
        if (errno == ENOENT) return true;  // a store the user has not created is empty
        const std::string reason = std::strerror(errno);
        Logger::Get()->SetFunc("Open");
        Logger::Get()->Log("Line #%d: %s", line, (folder + ": " + reason).c_str());
        return false;
    }
    std::error_code error;
    fs::directory_iterator it(folder, error);
    if (error) {
        Logger::Get()->SetFunc("Open");
        Logger::Get()->Log("Line #%d: %s", line, (folder + ": " + error.message()).c_str());
        return false;
    }
    std::vector<std::string> names;
    for (; it != fs::directory_iterator(); it.increment(error)) {
        if (error) break;
        std::error_code typeError;
        if (it->is_regular_file(typeError)) names.push_back(it->path().string());
    }
    if (error) {
        Logger::Get()->SetFunc("Open");
        Logger::Get()->Log("Line #%d: %s", line, (folder + ": " + error.message()).c_str());
        return false;
    }
    std::sort(names.begin(), names.end());
    _files.insert(_files.end(), names.begin(), names.end());
    return true;
}

// OpenSSL's default trust anchors, honouring SSL_CERT_FILE and SSL_CERT_DIR
// as OpenSSL itself does. The bundle file is preferred; the folder (whose
// hashed names are links to the same certificates) only serves without it.
void CertStoreFile::AddSystemAnchors() {
    const char* fileEnv = std::getenv(X509_get_default_cert_file_env());
    const std::string file = fileEnv != nullptr ? fileEnv : X509_get_default_cert_file();
    std::error_code error;
    if (!file.empty() && fs::is_regular_file(file, error)) {
        _files.push_back(file);
        return;
    }
    const char* dirEnv = std::getenv(X509_get_default_cert_dir_env());
    const std::string dirs = dirEnv != nullptr ? dirEnv : X509_get_default_cert_dir();
    std::stringstream list(dirs);
    std::string dir;
    while (std::getline(list, dir, ':')) {
        if (dir.empty() || !fs::is_directory(dir, error)) continue;
        ListFolder(dir, __LINE__);
    }
}

Certificate* CertStoreFile::Begin() {
    if (!Open(_type)) return nullptr;
    return Next();
}

Certificate* CertStoreFile::Next() {
    if (!_open) return nullptr;
    while (_pending.empty() && _nextFile < _files.size()) LoadFile(_files[_nextFile++]);
    if (_pending.empty() && !_tokensLoaded) LoadTokens();
    if (_pending.empty()) return nullptr;
    _certificates.push_back(std::move(_pending.front()));
    _pending.pop_front();
    return _certificates.back().get();
}

void CertStoreFile::LoadFile(const std::string& path) {
    std::string bytes;
    if (!ReadWholeFile(path, bytes)) {
        Skip(path, std::string("cannot be read: ") + std::strerror(errno));
        return;
    }
    if (_type != Personal) {
        LoadCertificates(path, bytes);
    } else if (HasExtension(path, ".p12") || HasExtension(path, ".pfx")) {
        LoadPKCS12(path, bytes);
    } else {
        LoadPEMIdentity(path, bytes);
    }
    ERR_clear_error();
}

void CertStoreFile::LoadCertificates(const std::string& path, const std::string& bytes) {
    int found = 0;
    const auto queue = [&](X509Ptr cert) {
        ++found;
        Queue(std::make_unique<CertificateOpenSSL>(cert.get()), path);
    };
    if (bytes.find("-----BEGIN") != std::string::npos) {
        const BIOPtr in = MemoryBIO(bytes);
        while (in) {
            X509Ptr cert(PEM_read_bio_X509(in.get(), nullptr, nullptr, nullptr));
            if (!cert) break;
            queue(std::move(cert));
        }
    } else {
        const unsigned char* p = reinterpret_cast<const unsigned char*>(bytes.data());
        const unsigned char* const end = p + bytes.size();
        while (p < end) {
            X509Ptr cert(d2i_X509(nullptr, &p, static_cast<long>(end - p)));
            if (!cert) break;
            queue(std::move(cert));
        }
    }
    if (found == 0) Skip(path, "no certificate found");
}

void CertStoreFile::LoadPKCS12(const std::string& path, const std::string& bytes) {
    const unsigned char* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const PKCS12Ptr p12(d2i_PKCS12(nullptr, &p, static_cast<long>(bytes.size())));
    if (!p12) {
        Skip(path, "not a PKCS#12 file: " + TakeOpenSSLError());
        return;
    }
    const std::string fileId = EncryptedFileKey::FileId(path, bytes);
    EVPPKeyPtr key;
    X509Ptr cert;
    if (X509* opened = _session->OpenedCertificate(fileId)) {
        // Opened with its passphrase earlier in this session.
        QueueIdentity(path, opened, _session->OpenedKey(fileId));
        return;
    }
    // Without a passphrase, then with the keychain's from the environment.
    const char* passphrase = Passphrase();
    if (EncryptedFileKey::OpenPKCS12(p12.get(), nullptr, key, cert) ||
        (passphrase != nullptr && EncryptedFileKey::OpenPKCS12(p12.get(), passphrase, key, cert))) {
        QueueIdentity(path, cert.get(), key.get());
        return;
    }
    bool keyPresent = false;
    X509Ptr readable = EncryptedFileKey::ReadableCertificate(p12.get(), keyPresent);
    if (readable && !keyPresent) {
        const CertificateOpenSSL seen(readable.get());
        Skip(path, "holds no private key", &seen);
        return;
    }
    if (readable) {
        auto source =
            std::make_shared<EncryptedFileKey>(_session, fileId, bytes, EncryptedFileKey::PKCS12File);
        Queue(std::make_unique<CertificateOpenSSL>(readable.get(), std::move(source)), path,
              "the passphrase is asked for when signing");
        return;
    }
    OpenEncryptedPKCS12(path, fileId, p12.get());
}

void CertStoreFile::OpenEncryptedPKCS12(const std::string& path, const std::string& fileId, PKCS12* p12) {
    static const char kNeedsPassphrase[] =
        "its certificates are encrypted: the passphrase is needed to read them";
    if (_session->Declined(fileId)) {
        Skip(path, "the passphrase was not given");
        return;
    }
    if (!_session->Interactive()) {
        Skip(path, kNeedsPassphrase);
        return;
    }
    SecretRequest request;
    request.kind = SecretRequest::Passphrase;
    request.certificate = fs::path(path).filename().string();
    request.origin = Origin();
    request.language = Language();
    EVPPKeyPtr key;
    X509Ptr cert;
    const SecretPrompt::Outcome outcome =
        SecretPrompt::AskUntilAccepted(request, [&](const Secret& passphrase) {
            return EncryptedFileKey::OpenPKCS12(p12, passphrase.CStr(), key, cert);
        });
    switch (outcome) {
        case SecretPrompt::Accepted:
            _session->KeepOpened(fileId, key.get(), cert.get());
            QueueIdentity(path, cert.get(), key.get());
            return;
        case SecretPrompt::Declined:
            _session->Decline(fileId);
            Skip(path, "the passphrase was not given");
            return;
        case SecretPrompt::Refused:
            Skip(path, "cannot be opened (wrong passphrase or damaged file)");
            return;
        case SecretPrompt::NoSecret:
            Skip(path, kNeedsPassphrase);
            return;
    }
}

void CertStoreFile::LoadPEMIdentity(const std::string& path, const std::string& bytes) {
    std::vector<X509Ptr> certs;
    {
        const BIOPtr in = MemoryBIO(bytes);
        while (in) {
            X509Ptr cert(PEM_read_bio_X509(in.get(), nullptr, nullptr, nullptr));
            if (!cert) break;
            certs.push_back(std::move(cert));
        }
        ERR_clear_error();
    }
    if (certs.empty()) {
        Skip(path, "no certificate found");
        return;
    }
    const EVPPKeyPtr key = EncryptedFileKey::ReadPEMKey(bytes, Passphrase());
    if (key) {
        for (const X509Ptr& cert : certs) {
            if (X509_check_private_key(cert.get(), key.get()) == 1) {
                QueueIdentity(path, cert.get(), key.get());
                return;
            }
            ERR_clear_error();
        }
        Skip(path, "the private key does not belong to any certificate of the file");
        return;
    }
    if (!EncryptedFileKey::HasEncryptedPEMKey(bytes)) {
        Skip(path, "no private key that can be opened");
        return;
    }
    // The key opens only with its passphrase, when signing: until then its
    // certificate is the first of the file that is no authority.
    X509* cert = certs.front().get();
    for (const X509Ptr& candidate : certs) {
        if (X509_check_ca(candidate.get()) == 0) {
            cert = candidate.get();
            break;
        }
    }
    auto source = std::make_shared<EncryptedFileKey>(_session, EncryptedFileKey::FileId(path, bytes), bytes,
                                                     EncryptedFileKey::PEM);
    Queue(std::make_unique<CertificateOpenSSL>(cert, std::move(source)), path,
          "the passphrase is asked for when signing");
}

void CertStoreFile::LoadTokens() {
    _tokensLoaded = true;
    std::vector<std::unique_ptr<CertificateOpenSSL>> identities;
    TokenIdentities::Collect(_session, TokenIdentities::ConfiguredModules(), identities, _observer);
    for (auto& identity : identities) _pending.push_back(std::move(identity));
}

void CertStoreFile::QueueIdentity(const std::string& path, X509* cert, EVP_PKEY* key) {
    if (cert == nullptr || key == nullptr) {
        Skip(path, "holds no certificate with a private key");
        return;
    }
    if (X509_check_private_key(cert, key) != 1) {
        ERR_clear_error();
        const CertificateOpenSSL seen(cert);
        Skip(path, "the private key does not belong to the certificate", &seen);
        return;
    }
    Queue(std::make_unique<CertificateOpenSSL>(cert, key), path);
}

void CertStoreFile::Queue(std::unique_ptr<CertificateOpenSSL> certificate, const std::string& where,
                          const std::string& note) {
    std::vector<unsigned char> der;
    if (!certificate->OutputDER(der)) return;
    if (_type == Root && !_seen.insert(der).second) return;  // an anchor listed twice
    if (_observer) _observer(StoreEntry{where, certificate.get(), true, note});
    _pending.push_back(std::move(certificate));
}

void CertStoreFile::Skip(const std::string& where, const std::string& why, const Certificate* certificate) {
    LogSkip(where, why);
    if (_observer) _observer(StoreEntry{where, certificate, false, why});
}

}  // namespace Crypto
