#include "crypto/openssl/CertStoreFile.h"

#include <openssl/pem.h>
#include <openssl/provider.h>
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

namespace Crypto {

namespace fs = std::filesystem;

namespace {

// Never prompts: the passphrase comes from the environment or not at all.
int PassphraseCallback(char* buffer, int size, int /*rwflag*/, void* /*userdata*/) {
    const char* passphrase = CertStoreFile::Passphrase();
    if (passphrase == nullptr || size <= 0) return -1;
    const int length =
        static_cast<int>(std::min<std::size_t>(std::strlen(passphrase), static_cast<std::size_t>(size)));
    std::memcpy(buffer, passphrase, static_cast<std::size_t>(length));
    return length;
}

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

// Many PKCS#12 files still protect their certificates with RC2 or other
// algorithms that OpenSSL 3 keeps in its legacy provider. It is loaded on
// the first file that needs it, with the default provider kept beside it.
bool LoadLegacyProvider() {
    using ProviderPtr = std::unique_ptr<OSSL_PROVIDER, FreeWith<&OSSL_PROVIDER_unload>>;
    static const ProviderPtr legacy(OSSL_PROVIDER_try_load(nullptr, "legacy", 1));  // unloaded at exit
    if (!legacy) ERR_clear_error();
    return legacy != nullptr;
}

bool ParsePKCS12(PKCS12* p12, EVPPKeyPtr& key, X509Ptr& cert, X509StackPtr& chain) {
    const auto parse = [&](const char* passphrase) {
        EVP_PKEY* rawKey = nullptr;
        X509* rawCert = nullptr;
        STACK_OF(X509)* rawChain = nullptr;
        const bool parsed = PKCS12_parse(p12, passphrase, &rawKey, &rawCert, &rawChain) == 1;
        key.reset(rawKey);
        cert.reset(rawCert);
        chain.reset(rawChain);
        if (!parsed) ERR_clear_error();
        return parsed;
    };
    const char* passphrase = CertStoreFile::Passphrase();
    // With the passphrase of the keychain, then without one ("" also tries none).
    return (passphrase != nullptr && parse(passphrase)) || parse("");
}

void LogSkip(const std::string& path, const std::string& why) {
    Logger::Get()->SetFunc("Next");
    Logger::Get()->Log("Skipping %s: %s", path.c_str(), why.c_str());
}

}  // namespace

CertStoreFile::CertStoreFile() : CertStoreFile(KeychainFolder()) {}

CertStoreFile::CertStoreFile(const std::string& keychainFolder) : _keychain(keychainFolder) {
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
    if (_pending.empty()) return nullptr;
    _certificates.push_back(std::move(_pending.front()));
    _pending.pop_front();
    return _certificates.back().get();
}

void CertStoreFile::LoadFile(const std::string& path) {
    std::string bytes;
    if (!ReadWholeFile(path, bytes)) {
        LogSkip(path, std::string("cannot be read: ") + std::strerror(errno));
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
    if (bytes.find("-----BEGIN") != std::string::npos) {
        const BIOPtr in = MemoryBIO(bytes);
        while (in) {
            const X509Ptr cert(PEM_read_bio_X509(in.get(), nullptr, nullptr, nullptr));
            if (!cert) break;
            ++found;
            Queue(cert.get(), nullptr);
        }
    } else {
        const unsigned char* p = reinterpret_cast<const unsigned char*>(bytes.data());
        const unsigned char* const end = p + bytes.size();
        while (p < end) {
            const X509Ptr cert(d2i_X509(nullptr, &p, static_cast<long>(end - p)));
            if (!cert) break;
            ++found;
            Queue(cert.get(), nullptr);
        }
    }
    if (found == 0) LogSkip(path, "no certificate found");
}

void CertStoreFile::LoadPKCS12(const std::string& path, const std::string& bytes) {
    const unsigned char* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const PKCS12Ptr p12(d2i_PKCS12(nullptr, &p, static_cast<long>(bytes.size())));
    if (!p12) {
        LogSkip(path, "not a PKCS#12 file: " + TakeOpenSSLError());
        return;
    }
    EVPPKeyPtr key;
    X509Ptr cert;
    X509StackPtr chain;
    bool parsed = ParsePKCS12(p12.get(), key, cert, chain);
    if (!parsed && LoadLegacyProvider()) parsed = ParsePKCS12(p12.get(), key, cert, chain);
    if (!parsed) {
        LogSkip(path, "cannot be opened (wrong passphrase or damaged file)");
        return;
    }
    if (!cert || !key) {
        LogSkip(path, "holds no certificate with a private key");
        return;
    }
    if (X509_check_private_key(cert.get(), key.get()) != 1) {
        LogSkip(path, "the private key does not belong to the certificate");
        return;
    }
    Queue(cert.get(), key.get());
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
    EVPPKeyPtr key;
    {
        const BIOPtr in = MemoryBIO(bytes);
        if (in) key.reset(PEM_read_bio_PrivateKey(in.get(), nullptr, &PassphraseCallback, nullptr));
    }
    if (certs.empty()) {
        LogSkip(path, "no certificate found");
        return;
    }
    if (!key) {
        LogSkip(path, "no private key that can be opened: " + TakeOpenSSLError());
        return;
    }
    for (const X509Ptr& cert : certs) {
        if (X509_check_private_key(cert.get(), key.get()) == 1) {
            Queue(cert.get(), key.get());
            return;
        }
        ERR_clear_error();
    }
    LogSkip(path, "the private key does not belong to any certificate of the file");
}

void CertStoreFile::Queue(X509* cert, EVP_PKEY* key) {
    auto certificate = key != nullptr ? std::make_unique<CertificateOpenSSL>(cert, key)
                                      : std::make_unique<CertificateOpenSSL>(cert);
    std::vector<unsigned char> der;
    if (!certificate->OutputDER(der)) return;
    if (_type == Root && !_seen.insert(der).second) return;  // an anchor listed twice
    _pending.push_back(std::move(certificate));
}

}  // namespace Crypto
