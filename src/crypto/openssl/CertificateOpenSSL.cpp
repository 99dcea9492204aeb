#include "crypto/openssl/CertificateOpenSSL.h"

#include <algorithm>

#include "common/Logger.h"
#include "crypto/Exception.h"
#include "crypto/Hash.h"
#include "crypto/openssl/CertificateDetailsOpenSSL.h"
#include "crypto/openssl/CryptoUtils.h"
#include "crypto/openssl/PrivateKeySource.h"

namespace Crypto {

namespace {

constexpr std::size_t kMaxNameLength = 1023;

// The text of the first attribute of the list that the name holds, UTF-8.
std::string FirstAttribute(const X509_NAME* name, std::initializer_list<int> nids) {
    if (name == nullptr) return std::string();
    for (const int nid : nids) {
        const int index = X509_NAME_get_index_by_NID(name, nid, -1);
        if (index < 0) continue;
        const ASN1_STRING* data = X509_NAME_ENTRY_get_data(X509_NAME_get_entry(name, index));
        unsigned char* utf8 = nullptr;
        const int length = ASN1_STRING_to_UTF8(&utf8, data);
        if (length < 0) {
            ERR_clear_error();
            continue;
        }
        const OpenSSLStringPtr owner(reinterpret_cast<char*>(utf8));
        std::size_t keep = static_cast<std::size_t>(length);
        if (keep > kMaxNameLength) {
            // Cut before the character that would cross the limit: never
            // between the lead byte and the continuation bytes of one.
            keep = kMaxNameLength;
            while (keep > 0 && (static_cast<unsigned char>(owner.get()[keep]) & 0xC0) == 0x80) --keep;
        }
        return std::string(owner.get(), keep);
    }
    return std::string();
}

// RFC 2253 text, most specific attribute first, with its escaping; characters
// beyond ASCII stay UTF-8 instead of being escaped byte by byte, so that a
// name a page writes in plain text can match.
std::string PrintName(const X509_NAME* name) {
    if (name == nullptr) return std::string();
    const BIOPtr out(BIO_new(BIO_s_mem()));
    if (!out || X509_NAME_print_ex(out.get(), name, 0, XN_FLAG_RFC2253 & ~ASN1_STRFLGS_ESC_MSB) < 0) {
        ERR_clear_error();
        return std::string();
    }
    char* data = nullptr;
    const long length = BIO_get_mem_data(out.get(), &data);
    return length > 0 ? std::string(data, static_cast<std::size_t>(length)) : std::string();
}

}  // namespace

CertificateOpenSSL::CertificateOpenSSL(const unsigned char* der, std::size_t length) {
    if (der == nullptr || length == 0) {
        Logger::Get()->SetFunc("CertificateOpenSSL");
        Logger::Get()->Log("Data Certificate parsing failed !");
        return;
    }
    _der.assign(der, der + length);
    const unsigned char* p = _der.data();
    _x509.reset(d2i_X509(nullptr, &p, static_cast<long>(_der.size())));
    if (!_x509) {
        Logger::Get()->SetFunc("CertificateOpenSSL");
        Logger::Get()->Log("Data Certificate parsing failed ! %s", TakeOpenSSLError().c_str());
    }
}

CertificateOpenSSL::CertificateOpenSSL(X509* cert) {
    if (cert == nullptr || X509_up_ref(cert) != 1) {
        Logger::Get()->SetFunc("CertificateOpenSSL");
        Logger::Get()->Log("CertRef Certificate parsing failed!");
        return;
    }
    _x509.reset(cert);
    unsigned char* encoded = nullptr;
    const int length = i2d_X509(cert, &encoded);
    if (length <= 0) {
        Logger::Get()->SetFunc("CertificateOpenSSL");
        Logger::Get()->Log("CertRef Certificate parsing failed! %s", TakeOpenSSLError().c_str());
        _x509.reset();
        return;
    }
    const OpenSSLStringPtr owner(reinterpret_cast<char*>(encoded));
    _der.assign(encoded, encoded + length);
}

CertificateOpenSSL::CertificateOpenSSL(X509* cert, EVP_PKEY* privateKey) : CertificateOpenSSL(cert) {
    if (!_x509 || privateKey == nullptr) return;
    if (X509_check_private_key(_x509.get(), privateKey) != 1) {
        Logger::Get()->SetFunc("CertificateOpenSSL");
        Logger::Get()->Log("IdentityRef private key does not belong to the certificate !");
        ERR_clear_error();
        return;
    }
    if (EVP_PKEY_up_ref(privateKey) == 1) _privateKey.reset(privateKey);
}

CertificateOpenSSL::CertificateOpenSSL(X509* cert, std::shared_ptr<PrivateKeySource> keySource)
    : CertificateOpenSSL(cert) {
    if (_x509) _keySource = std::move(keySource);
}

CertificateOpenSSL::CertificateOpenSSL(const CertificateOpenSSL& other)
    : Certificate(other), _keySource(other._keySource), _der(other._der) {
    if (other._x509) _x509.reset(X509_dup(other._x509.get()));
    if (other._privateKey && EVP_PKEY_up_ref(other._privateKey.get()) == 1)
        _privateKey.reset(other._privateKey.get());
}

CertificateOpenSSL& CertificateOpenSSL::operator=(const CertificateOpenSSL& other) {
    if (this == &other) return *this;
    CertificateOpenSSL copy(other);
    // The key goes with the certificate: keeping this side's key beside
    // another certificate would pair a key with a certificate it does not
    // belong to.
    _x509 = std::move(copy._x509);
    _privateKey = std::move(copy._privateKey);
    _keySource = std::move(copy._keySource);
    _der = std::move(copy._der);
    ResetValidation();
    return *this;
}

Certificate& CertificateOpenSSL::operator=(const Certificate& other) {
    if (const auto* same = dynamic_cast<const CertificateOpenSSL*>(&other)) *this = *same;
    return *this;
}

std::unique_ptr<Certificate> CertificateOpenSSL::Clone() const {
    auto copy = std::make_unique<CertificateOpenSSL>(*this);
    copy->_timeValidity = _timeValidity;
    copy->_chainValidity = _chainValidity;
    copy->_crlValidity = _crlValidity;
    copy->_status = _status;
    copy->_error = _error;
    return copy;
}

void CertificateOpenSSL::ResetValidation() {
    _timeValidity = NotDetermined;
    _chainValidity = NotDetermined;
    _crlValidity = NotDetermined;
    _status = "XXXX";
    _error = Code::kNotValidated;
}

std::string CertificateOpenSSL::Subject() const {
    if (!_x509) return std::string();
    return FirstAttribute(X509_get_subject_name(_x509.get()), {NID_commonName, NID_organizationalUnitName,
                                                               NID_organizationName, NID_pkcs9_emailAddress});
}

std::string CertificateOpenSSL::Issuer() const {
    if (!_x509) return std::string();
    return FirstAttribute(
        X509_get_issuer_name(_x509.get()),
        {NID_organizationalUnitName, NID_organizationName, NID_commonName, NID_pkcs9_emailAddress});
}

std::string CertificateOpenSSL::SubjectDN() const {
    return _x509 ? PrintName(X509_get_subject_name(_x509.get())) : std::string();
}

std::string CertificateOpenSSL::IssuerDN() const {
    return _x509 ? PrintName(X509_get_issuer_name(_x509.get())) : std::string();
}

BigInteger CertificateOpenSSL::SerialNumber() const {
    if (!_x509) return 0;
    const ASN1_INTEGER* serial = X509_get0_serialNumber(_x509.get());
    if (serial == nullptr || ASN1_STRING_length(serial) <= 0) return 0;
    // OpenSSL keeps the magnitude, most significant byte first.
    const unsigned char* data = ASN1_STRING_get0_data(serial);
    std::vector<unsigned char> bytes(data, data + ASN1_STRING_length(serial));
    std::reverse(bytes.begin(), bytes.end());
    return ByteBufferToBigInteger(bytes);
}

std::vector<unsigned char> CertificateOpenSSL::Hash() const {
    if (!_x509 || _der.empty()) return {};
    std::vector<unsigned char> digest(EVP_MAX_MD_SIZE);
    unsigned int length = 0;
    if (EVP_Digest(_der.data(), _der.size(), digest.data(), &length, EVP_sha1(), nullptr) != 1) {
        ERR_clear_error();
        return {};
    }
    digest.resize(length);
    Logger::Get()->SetFunc("Hash");
    Logger::Get()->Log("Hashing %d bytes of DER result is %s", static_cast<int>(_der.size()),
                       ByteBufferToHex(digest).c_str());
    return digest;
}

std::vector<unsigned char> CertificateOpenSSL::SKI() const {
    if (!_x509) return {};
    const ASN1_OCTET_STRING* ski = X509_get0_subject_key_id(_x509.get());
    if (ski == nullptr) return {};
    const unsigned char* data = ASN1_STRING_get0_data(ski);
    return std::vector<unsigned char>(data, data + ASN1_STRING_length(ski));
}

bool CertificateOpenSSL::OutputDER(std::vector<unsigned char>& der) const {
    if (!_x509) return false;
    der = _der;
    return true;
}

std::time_t CertificateOpenSSL::NotAfter() const {
    return _x509 ? CryptoUtils::ASN1_TIME_to_time_t(X509_get0_notAfter(_x509.get())) : 0;
}

std::time_t CertificateOpenSSL::NotBefore() const {
    return _x509 ? CryptoUtils::ASN1_TIME_to_time_t(X509_get0_notBefore(_x509.get())) : 0;
}

bool CertificateOpenSSL::GetAlgorithm() const {
    EVP_PKEY* key = _x509 ? X509_get0_pubkey(_x509.get()) : nullptr;
    if (key == nullptr) {
        ERR_clear_error();
        throw Exception(Code::kUnknownKey, "No public key found in certificate!");
    }
    switch (EVP_PKEY_get_base_id(key)) {
        case EVP_PKEY_DSA:
            return true;
        case EVP_PKEY_RSA:
            return false;
        default:
            throw Exception(Code::kUnknownKey, "Unknown key type !");
    }
}

EVP_PKEY* CertificateOpenSSL::PrivateKey() const {
    if (_privateKey) return _privateKey.get();
    return _keySource ? _keySource->Key() : nullptr;
}

void CertificateOpenSSL::UnlockPrivateKey(const PromptContext& context) {
    if (_privateKey || !_keySource) return;
    _keySource->Unlock(*this, context);
}

std::string CertificateOpenSSL::TokenLabel() const {
    return _keySource ? _keySource->TokenLabel() : std::string();
}

std::vector<unsigned char> CertificateOpenSSL::SignHash(Crypto::Hash* hash) const {
    EVP_PKEY* const privateKey = PrivateKey();
    if (hash == nullptr || privateKey == nullptr) return {};
    const std::vector<unsigned char> digest = hash->GetData();
    if (digest.empty()) return {};
    const EVPPKeyCtxPtr ctx(EVP_PKEY_CTX_new(privateKey, nullptr));
    std::size_t length = 0;
    const bool ready =
        ctx && EVP_PKEY_sign_init(ctx.get()) == 1 &&
        (EVP_PKEY_get_base_id(privateKey) != EVP_PKEY_RSA ||
         EVP_PKEY_CTX_set_rsa_padding(ctx.get(), RSA_PKCS1_PADDING) == 1) &&
        EVP_PKEY_CTX_set_signature_md(ctx.get(), CryptoUtils::HashTypeToAlgo(hash->Type())) == 1 &&
        EVP_PKEY_sign(ctx.get(), nullptr, &length, digest.data(), digest.size()) == 1;
    std::vector<unsigned char> signature(length);
    if (!ready || EVP_PKEY_sign(ctx.get(), signature.data(), &length, digest.data(), digest.size()) != 1) {
        Logger::Get()->SetFunc("SignHash");
        Logger::Get()->Log("Signing the digest failed: %s", TakeOpenSSLError().c_str());
        return {};
    }
    signature.resize(length);
    return signature;
}

int CertificateOpenSSL::VerifyHash(Crypto::Hash* hash, const std::vector<unsigned char>* signature) const {
    if (!_x509 || _der.empty() || hash == nullptr || signature == nullptr) {
        Logger::Get()->SetFunc("VerifyHash");
        Logger::Get()->Log("Failed because empty objects !");
        return 2;
    }
    EVP_PKEY* key = X509_get0_pubkey(_x509.get());
    if (key == nullptr) {
        Logger::Get()->SetFunc("VerifyHash");
        Logger::Get()->Log("Failed to get public key: %s", TakeOpenSSLError().c_str());
        return 2;
    }
    const std::vector<unsigned char> digest = hash->GetData();
    if (digest.empty()) return 2;
    const EVPPKeyCtxPtr ctx(EVP_PKEY_CTX_new(key, nullptr));
    const bool ready =
        ctx && EVP_PKEY_verify_init(ctx.get()) == 1 &&
        (EVP_PKEY_get_base_id(key) != EVP_PKEY_RSA ||
         EVP_PKEY_CTX_set_rsa_padding(ctx.get(), RSA_PKCS1_PADDING) == 1) &&
        EVP_PKEY_CTX_set_signature_md(ctx.get(), CryptoUtils::HashTypeToAlgo(hash->Type())) == 1;
    if (!ready) {
        Logger::Get()->SetFunc("VerifyHash");
        Logger::Get()->Log("Verification set-up failed: %s", TakeOpenSSLError().c_str());
        return 2;
    }
    const int result =
        EVP_PKEY_verify(ctx.get(), signature->data(), signature->size(), digest.data(), digest.size());
    ERR_clear_error();
    if (result == 1) return 0;
    return result == 0 ? 1 : 2;
}

std::set<KeyUsage::Usages> CertificateOpenSSL::CertKeyUsage() const {
    std::set<KeyUsage::Usages> usages{KeyUsage::AnyUsage};
    if (!_x509) return usages;
    const std::uint32_t bits = X509_get_key_usage(_x509.get());  // fills the extension cache first
    if (bits == UINT32_MAX || bits == 0xFFFF) return usages;     // no keyUsage extension
    static const struct {
        std::uint32_t mask;
        KeyUsage::Usages usage;
    } kBits[] = {
        {KU_DATA_ENCIPHERMENT, KeyUsage::DataEncipherment},
        {KU_DIGITAL_SIGNATURE, KeyUsage::DigitalSignature},
        {KU_KEY_AGREEMENT, KeyUsage::KeyAgreement},
        {KU_KEY_CERT_SIGN, KeyUsage::KeyCertSign},
        {KU_KEY_ENCIPHERMENT, KeyUsage::KeyEncipherment},
        {KU_NON_REPUDIATION, KeyUsage::NonRepudiation},
        {KU_CRL_SIGN, KeyUsage::CRLSign},
    };
    for (const auto& bit : kBits) {
        if (bits & bit.mask) usages.insert(bit.usage);
    }
    return usages;
}

CertificateDetails CertificateOpenSSL::Details() const {
    return CertificateDetailsOpenSSL::Read(*this);
}

}  // namespace Crypto
