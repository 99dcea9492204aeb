#include "crypto/openssl/CRLCache.h"

#include <fcntl.h>
#include <openssl/pem.h>
#include <openssl/rand.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "common/Logger.h"
#include "common/posix/FilePtr.h"
#include "crypto/openssl/CryptoUtils.h"

namespace Crypto {

namespace fs = std::filesystem;

namespace {

constexpr const char* kTempMarker = ".tmp-";
constexpr std::uintmax_t kMaxListSize = 64u * 1024u * 1024u;

std::string Hex(const unsigned char* data, std::size_t length) {
    static const char digits[] = "0123456789abcdef";
    std::string text;
    for (std::size_t i = 0; i < length; ++i) {
        text += digits[data[i] >> 4];
        text += digits[data[i] & 15];
    }
    return text;
}

bool ReadFile(const std::string& path, std::string& bytes) {
    std::error_code error;
    const std::uintmax_t size = fs::file_size(path, error);
    if (error || size > kMaxListSize) return false;
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

X509CRLPtr Decode(const std::string& bytes) {
    X509CRLPtr crl;
    if (bytes.find("-----BEGIN X509 CRL-----") != std::string::npos) {
        const BIOPtr in(BIO_new_mem_buf(bytes.data(), static_cast<int>(bytes.size())));
        if (in) crl.reset(PEM_read_bio_X509_CRL(in.get(), nullptr, nullptr, nullptr));
    } else {
        const unsigned char* p = reinterpret_cast<const unsigned char*>(bytes.data());
        crl.reset(d2i_X509_CRL(nullptr, &p, static_cast<long>(bytes.size())));
    }
    ERR_clear_error();
    return crl;
}

// Removes a temporary file that was not renamed into place.
class TempFile {
public:
    explicit TempFile(std::string path) : _path(std::move(path)) {}
    ~TempFile() {
        if (!_path.empty()) ::unlink(_path.c_str());
    }
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;
    const std::string& Path() const { return _path; }
    void Keep() { _path.clear(); }

private:
    std::string _path;
};

std::string Errno(const std::string& what) {
    return what + ": " + std::strerror(errno);
}

}  // namespace

CRLCache::CRLCache(const std::string& keychainFolder) : _folder(keychainFolder + "/crls") {}

std::string CRLCache::FileFor(const X509_NAME* issuer) const {
    const unsigned char* der = nullptr;
    std::size_t length = 0;
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int digestLength = 0;
    if (issuer == nullptr || X509_NAME_get0_der(issuer, &der, &length) != 1 ||
        EVP_Digest(der, length, digest, &digestLength, EVP_sha256(), nullptr) != 1) {
        ERR_clear_error();
        return std::string();
    }
    return _folder + "/" + Hex(digest, digestLength) + ".crl";
}

X509CRLPtr CRLCache::ReadCurrent(const std::string& path, const X509_NAME* issuer, std::time_t now,
                                 const std::vector<EVP_PKEY*>& issuerKeys) const {
    std::string bytes;
    if (!ReadFile(path, bytes)) return nullptr;
    X509CRLPtr crl = Decode(bytes);
    if (!crl || X509_NAME_cmp(X509_CRL_get_issuer(crl.get()), issuer) != 0) return nullptr;
    const std::time_t thisUpdate = CryptoUtils::ASN1_TIME_to_time_t(X509_CRL_get0_lastUpdate(crl.get()));
    const std::time_t nextUpdate = CryptoUtils::ASN1_TIME_to_time_t(X509_CRL_get0_nextUpdate(crl.get()));
    if (thisUpdate == 0 || nextUpdate == 0 || !(thisUpdate < now && now < nextUpdate)) return nullptr;
    const bool signedByIssuer = std::any_of(issuerKeys.begin(), issuerKeys.end(), [&](EVP_PKEY* key) {
        return key != nullptr && X509_CRL_verify(crl.get(), key) == 1;
    });
    ERR_clear_error();
    return signedByIssuer ? std::move(crl) : nullptr;
}

X509CRLPtr CRLCache::Lookup(const X509_NAME* issuer, std::time_t now,
                            const std::vector<EVP_PKEY*>& issuerKeys) const {
    if (issuer == nullptr || issuerKeys.empty()) return nullptr;
    const std::string own = FileFor(issuer);
    if (!own.empty()) {
        if (X509CRLPtr crl = ReadCurrent(own, issuer, now, issuerKeys)) return crl;
    }
    std::error_code error;
    std::vector<std::string> names;
    for (fs::directory_iterator it(_folder, error), end; !error && it != end; it.increment(error)) {
        std::error_code typeError;
        const std::string path = it->path().string();
        if (path == own || path.find(kTempMarker) != std::string::npos) continue;
        if (it->is_regular_file(typeError)) names.push_back(path);
    }
    std::sort(names.begin(), names.end());
    X509CRLPtr best;
    for (const std::string& path : names) {
        X509CRLPtr crl = ReadCurrent(path, issuer, now, issuerKeys);
        if (crl && (!best || ASN1_TIME_compare(X509_CRL_get0_lastUpdate(crl.get()),
                                               X509_CRL_get0_lastUpdate(best.get())) > 0))
            best = std::move(crl);
    }
    ERR_clear_error();
    return best;
}

bool CRLCache::Store(const X509_CRL* crl, std::string& error) const {
    if (crl == nullptr) {
        error = "no revocation list";
        return false;
    }
    const std::string target = FileFor(X509_CRL_get_issuer(crl));
    unsigned char* der = nullptr;
    const int length = i2d_X509_CRL(const_cast<X509_CRL*>(crl), &der);
    if (target.empty() || length <= 0) {
        error = "encoding failed: " + TakeOpenSSLError();
        return false;
    }
    const OpenSSLStringPtr derOwner(reinterpret_cast<char*>(der));

    if (::mkdir(_folder.c_str(), 0700) != 0 && errno != EEXIST) {
        error = Errno(_folder);
        return false;
    }
    unsigned char random[8];
    if (RAND_bytes(random, sizeof random) != 1) {
        error = "no random name: " + TakeOpenSSLError();
        return false;
    }
    // Never written through a planted link, never over another file.
    TempFile temp(target + kTempMarker + Hex(random, sizeof random));
    const int fd = ::open(temp.Path().c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) {
        const std::string reason = Errno(temp.Path());
        temp.Keep();  // not ours: leave it alone
        error = reason;
        return false;
    }
    Util::FilePtr file(::fdopen(fd, "wb"));
    if (!file) {
        error = Errno(temp.Path());
        ::close(fd);
        return false;
    }
    const bool written = std::fwrite(der, 1, static_cast<std::size_t>(length), file.get()) ==
                             static_cast<std::size_t>(length) &&
                         std::fflush(file.get()) == 0 && ::fsync(fd) == 0;
    if (!written) {
        error = Errno(temp.Path());
        return false;
    }
    if (!Util::FinishWrite(std::move(file))) {
        error = Errno(temp.Path());
        return false;
    }
    if (::rename(temp.Path().c_str(), target.c_str()) != 0) {
        error = Errno(target);
        return false;
    }
    temp.Keep();
    return true;
}

}  // namespace Crypto
