#include "support/TestPKI.h"

#include <openssl/bn.h>
#include <openssl/dsa.h>
#include <openssl/ec.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/pkcs12.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>
#include <unistd.h>

#include <cstdio>
#include <ctime>
#include <filesystem>
#include <functional>
#include <memory>
#include <stdexcept>
#include <vector>

namespace TestSupport {

namespace {

namespace fs = std::filesystem;

template <auto FreeFn>
struct Free {
    template <typename T>
    void operator()(T* p) const noexcept {
        FreeFn(p);
    }
};
void FreeCertStack(STACK_OF(X509) * s) {
    sk_X509_free(s);
}  // the certificates are not owned
using KeyPtr = std::unique_ptr<EVP_PKEY, Free<&EVP_PKEY_free>>;
using KeyCtxPtr = std::unique_ptr<EVP_PKEY_CTX, Free<&EVP_PKEY_CTX_free>>;
using CertPtr = std::unique_ptr<X509, Free<&X509_free>>;
using CrlPtr = std::unique_ptr<X509_CRL, Free<&X509_CRL_free>>;
using BioPtr = std::unique_ptr<BIO, Free<&BIO_free_all>>;
using BnPtr = std::unique_ptr<BIGNUM, Free<&BN_free>>;
using P12Ptr = std::unique_ptr<PKCS12, Free<&PKCS12_free>>;
using StackPtr = std::unique_ptr<STACK_OF(X509), Free<&FreeCertStack>>;
using RevokedPtr = std::unique_ptr<X509_REVOKED, Free<&X509_REVOKED_free>>;
using TimePtr = std::unique_ptr<ASN1_TIME, Free<&ASN1_TIME_free>>;
using IntPtr = std::unique_ptr<ASN1_INTEGER, Free<&ASN1_INTEGER_free>>;

void Check(bool ok, const char* what) {
    if (ok) return;
    const unsigned long code = ERR_get_error();
    char text[256] = "";
    if (code != 0) ERR_error_string_n(code, text, sizeof text);
    ERR_clear_error();
    throw std::runtime_error(std::string("test PKI: ") + what + " failed " + text);
}

enum class KeyKind { RSA, EC, DSA };

KeyPtr GenerateKey(KeyKind kind) {
    if (kind == KeyKind::RSA) {
        KeyPtr key(EVP_RSA_gen(2048));
        Check(key != nullptr, "RSA key generation");
        return key;
    }
    if (kind == KeyKind::EC) {
        KeyPtr key(EVP_EC_gen("P-256"));
        Check(key != nullptr, "EC key generation");
        return key;
    }
    const KeyCtxPtr paramCtx(EVP_PKEY_CTX_new_from_name(nullptr, "DSA", nullptr));
    EVP_PKEY* rawParams = nullptr;
    Check(paramCtx && EVP_PKEY_paramgen_init(paramCtx.get()) == 1 &&
              EVP_PKEY_CTX_set_dsa_paramgen_bits(paramCtx.get(), 2048) == 1 &&
              EVP_PKEY_CTX_set_dsa_paramgen_q_bits(paramCtx.get(), 256) == 1 &&
              EVP_PKEY_paramgen(paramCtx.get(), &rawParams) == 1,
          "DSA parameter generation");
    const KeyPtr params(rawParams);
    const KeyCtxPtr keyCtx(EVP_PKEY_CTX_new(params.get(), nullptr));
    EVP_PKEY* rawKey = nullptr;
    Check(keyCtx && EVP_PKEY_keygen_init(keyCtx.get()) == 1 && EVP_PKEY_keygen(keyCtx.get(), &rawKey) == 1,
          "DSA key generation");
    return KeyPtr(rawKey);
}

// Keys are slow to make (DSA parameters above all) and need not be fresh:
// each is made once per build tree and kept in test-keys/.
KeyPtr CachedKey(const std::string& name, KeyKind kind) {
    const std::string folder = std::string(PENDREL_BINARY_DIR) + "/test-keys";
    const std::string path = folder + "/" + name + ".pem";
    if (FILE* in = std::fopen(path.c_str(), "r")) {
        KeyPtr key(PEM_read_PrivateKey(in, nullptr, nullptr, const_cast<char*>("")));
        std::fclose(in);
        if (key) return key;
        ERR_clear_error();
    }
    KeyPtr key = GenerateKey(kind);
    std::error_code ignored;
    fs::create_directories(folder, ignored);
    // Written under a private name and renamed, so that test programs running
    // side by side never read a half-written key.
    const std::string temp = path + ".tmp" + std::to_string(::getpid());
    if (FILE* out = std::fopen(temp.c_str(), "w")) {
        const bool written = PEM_write_PrivateKey(out, key.get(), nullptr, nullptr, 0, nullptr, nullptr) == 1;
        const bool closed = std::fclose(out) == 0;
        if (written && closed)
            fs::rename(temp, path, ignored);
        else
            fs::remove(temp, ignored);
    }
    return key;
}

struct NamePart {
    const char* field;
    const char* value;
    bool addToPrevious;  // part of the previous relative name (multi-valued)
};

struct CertRecipe {
    TestPKI::Id id;
    const char* name;
    KeyKind keyKind;
    const char* keyName;  // cache name of the key
    std::vector<NamePart> subject;
    const char* serialHex;
    long notBeforeOffset;  // seconds from now
    long notAfterOffset;
    bool ca;
    const char* keyUsage;  // extension value, null for none
    TestPKI::Id issuer;    // itself for a self-signed certificate
    enum Placement {
        None,
        RootsPem,
        CertsPem,
        CertsDer,
        P12,
        P12Passphrase,
        PemPair,
        PemPairEncrypted
    } placement;
    const char* keychainFile;
};

constexpr long kDay = 24 * 3600;
constexpr long kYear = 365 * kDay;
const char kSigningUsage[] = "critical,digitalSignature,nonRepudiation";

std::vector<CertRecipe> Recipes() {
    using TP = TestPKI;
    const std::vector<NamePart> signerBase = {{"C", "DE", false}, {"O", "Pendrel Test", false}};
    auto signer = [&](const char* ou, const char* cn, const char* email) {
        std::vector<NamePart> name = signerBase;
        name.push_back({"OU", ou, false});
        name.push_back({"CN", cn, false});
        if (email != nullptr) name.push_back({"emailAddress", email, false});
        return name;
    };
    return {
        {TP::Root,
         "root",
         KeyKind::RSA,
         "root",
         {{"C", "DE", false}, {"O", "Pendrel Test", false}, {"CN", "Pendrel Test Root CA", false}},
         "01",
         -kDay,
         10 * kYear,
         true,
         "critical,keyCertSign,cRLSign",
         TP::Root,
         CertRecipe::RootsPem,
         "root.pem"},
        {TP::Intermediate,
         "intermediate",
         KeyKind::RSA,
         "intermediate",
         {{"C", "DE", false},
          {"O", "Pendrel Test", false},
          {"OU", "Pendrel Test CA Unit", false},
          {"CN", "Pendrel Test Intermediate CA", false}},
         "02",
         -kDay,
         5 * kYear,
         true,
         "critical,keyCertSign,cRLSign",
         TP::Root,
         CertRecipe::CertsPem,
         "intermediate.pem"},
        {TP::Signer, "signer", KeyKind::RSA, "signer",
         signer("Signing", "Pendrel Test Signer", "signer@example.com"), "1001", -kDay, kYear, false,
         kSigningUsage, TP::Intermediate, CertRecipe::P12, "01-signer.p12"},
        {TP::SignerPassphrase, "signer-passphrase", KeyKind::RSA, "signer-passphrase",
         signer("Signing", "Pendrel Passphrase Signer", nullptr), "1002", -kDay, kYear, false, kSigningUsage,
         TP::Intermediate, CertRecipe::P12Passphrase, "02-signer-passphrase.p12"},
        {TP::SignerPem, "signer-pem", KeyKind::RSA, "signer-pem",
         signer("Signing", "Pendrel PEM Signer", nullptr), "1003", -kDay, kYear, false, kSigningUsage,
         TP::Intermediate, CertRecipe::PemPair, "03-signer-pem.pem"},
        {TP::SignerPemEncrypted, "signer-pem-encrypted", KeyKind::RSA, "signer-pem-encrypted",
         signer("Signing", "Pendrel Encrypted PEM Signer", nullptr), "1004", -kDay, kYear, false,
         kSigningUsage, TP::Intermediate, CertRecipe::PemPairEncrypted, "04-signer-pem-encrypted.pem"},
        {TP::NoKeyUsage, "no-key-usage", KeyKind::RSA, "no-key-usage",
         signer("Signing", "Pendrel No Key Usage", nullptr), "1005", -kDay, kYear, false, nullptr,
         TP::Intermediate, CertRecipe::P12, "05-no-key-usage.p12"},
        {TP::KeyEnciphermentOnly,
         "key-encipherment",
         KeyKind::RSA,
         "key-encipherment",
         {{"C", "DE", false},
          {"O", "Pendrel Test, Encipherment", false},
          {"CN", "Pendrel Encipherment", false},
          {"serialNumber", "42", true}},
         "1006",
         -kDay,
         kYear,
         false,
         "critical,keyEncipherment",
         TP::Intermediate,
         CertRecipe::P12,
         "06-key-encipherment.p12"},
        {TP::Expired, "expired", KeyKind::RSA, "expired", signer("Signing", "Pendrel Expired", nullptr),
         "1007", -2 * kYear, -kDay, false, kSigningUsage, TP::Intermediate, CertRecipe::P12,
         "07-expired.p12"},
        {TP::NotYetValid, "not-yet-valid", KeyKind::RSA, "not-yet-valid",
         signer("Signing", "Pendrel Not Yet Valid", nullptr), "1008", kDay, kYear, false, kSigningUsage,
         TP::Intermediate, CertRecipe::P12, "08-not-yet-valid.p12"},
        {TP::ExpiringSoon, "expiring-soon", KeyKind::RSA, "expiring-soon",
         signer("Signing", "Pendrel Expiring Soon", nullptr), "1009", -kYear, 2 * kDay, false, kSigningUsage,
         TP::Intermediate, CertRecipe::P12, "09-expiring-soon.p12"},
        {TP::ECSigner, "ec-signer", KeyKind::EC, "ec-signer", signer("Signing", "Pendrel EC Signer", nullptr),
         "100a", -kDay, kYear, false, kSigningUsage, TP::Intermediate, CertRecipe::PemPair,
         "10-ec-signer.pem"},
        {TP::DSASigner, "dsa-signer", KeyKind::DSA, "dsa-signer",
         signer("Signing", "Pendrel DSA Signer", nullptr), "100b", -kDay, kYear, false, kSigningUsage,
         TP::Intermediate, CertRecipe::PemPair, "11-dsa-signer.pem"},
        {TP::NoPrivateKey, "no-private-key", KeyKind::RSA, "no-private-key",
         signer("Signing", "Pendrel Without Key", nullptr), "100c", -kDay, kYear, false, kSigningUsage,
         TP::Intermediate, CertRecipe::CertsDer, "no-private-key.der"},
        {TP::NoCommonName,
         "no-common-name",
         KeyKind::RSA,
         "no-common-name",
         {{"C", "DE", false}, {"O", "Pendrel Test", false}, {"OU", "Pendrel Unit Without Name", false}},
         "100d",
         -kDay,
         kYear,
         false,
         kSigningUsage,
         TP::Intermediate,
         CertRecipe::P12,
         "12-no-common-name.p12"},
        {TP::LeadingZeroSerial, "leading-zero-serial", KeyKind::RSA, "leading-zero-serial",
         signer("Signing", "Pendrel Leading Zero Serial", nullptr), "8a1b2c3d4e5f60718293", -kDay, kYear,
         false, kSigningUsage, TP::Intermediate, CertRecipe::P12, "13-leading-zero-serial.p12"},
        {TP::Revoked, "revoked", KeyKind::RSA, "revoked", signer("Signing", "Pendrel Revoked", nullptr),
         "100e", -kDay, kYear, false, kSigningUsage, TP::Intermediate, CertRecipe::P12, "14-revoked.p12"},
        {TP::OtherRoot,
         "other-root",
         KeyKind::RSA,
         "other-root",
         {{"C", "DE", false}, {"O", "Other Test", false}, {"CN", "Other Test Root CA", false}},
         "03",
         -kDay,
         10 * kYear,
         true,
         "critical,keyCertSign,cRLSign",
         TP::OtherRoot,
         CertRecipe::None,
         ""},
        {TP::Untrusted,
         "untrusted",
         KeyKind::RSA,
         "untrusted",
         {{"C", "DE", false}, {"O", "Other Test", false}, {"CN", "Pendrel Untrusted Signer", false}},
         "2001",
         -kDay,
         kYear,
         false,
         kSigningUsage,
         TP::OtherRoot,
         CertRecipe::P12,
         "15-untrusted.p12"},
    };
}

void AddExtension(X509* cert, X509V3_CTX* ctx, int nid, const char* value) {
    X509_EXTENSION* ext = X509V3_EXT_conf_nid(nullptr, ctx, nid, value);
    Check(ext != nullptr, "extension");
    const int added = X509_add_ext(cert, ext, -1);
    X509_EXTENSION_free(ext);
    Check(added == 1, "adding an extension");
}

CertPtr MakeCertificate(const CertRecipe& recipe, EVP_PKEY* key, X509* issuer, EVP_PKEY* issuerKey,
                        const std::string& crlUrl) {
    CertPtr cert(X509_new());
    Check(cert != nullptr, "X509_new");
    Check(X509_set_version(cert.get(), 2) == 1, "version");
    BIGNUM* rawSerial = nullptr;
    Check(BN_hex2bn(&rawSerial, recipe.serialHex) > 0, "serial");
    const BnPtr serial(rawSerial);
    const IntPtr serialInt(BN_to_ASN1_INTEGER(serial.get(), nullptr));
    Check(serialInt && X509_set_serialNumber(cert.get(), serialInt.get()) == 1, "serial");
    X509_NAME* name = X509_get_subject_name(cert.get());
    for (const NamePart& part : recipe.subject) {
        Check(X509_NAME_add_entry_by_txt(name, part.field, MBSTRING_UTF8,
                                         reinterpret_cast<const unsigned char*>(part.value), -1, -1,
                                         part.addToPrevious ? -1 : 0) == 1,
              "subject name");
    }
    X509* const signer = issuer != nullptr ? issuer : cert.get();
    Check(X509_set_issuer_name(cert.get(), X509_get_subject_name(signer)) == 1, "issuer name");
    std::time_t now = std::time(nullptr);
    Check(X509_time_adj_ex(X509_getm_notBefore(cert.get()), 0, recipe.notBeforeOffset, &now) != nullptr,
          "notBefore");
    Check(X509_time_adj_ex(X509_getm_notAfter(cert.get()), 0, recipe.notAfterOffset, &now) != nullptr,
          "notAfter");
    Check(X509_set_pubkey(cert.get(), key) == 1, "public key");

    X509V3_CTX ctx;
    X509V3_set_ctx_nodb(&ctx);
    X509V3_set_ctx(&ctx, signer, cert.get(), nullptr, nullptr, 0);
    AddExtension(cert.get(), &ctx, NID_basic_constraints,
                 recipe.ca ? "critical,CA:TRUE" : "critical,CA:FALSE");
    if (recipe.keyUsage != nullptr) AddExtension(cert.get(), &ctx, NID_key_usage, recipe.keyUsage);
    AddExtension(cert.get(), &ctx, NID_subject_key_identifier, "hash");
    if (issuer != nullptr) AddExtension(cert.get(), &ctx, NID_authority_key_identifier, "keyid:always");
    if (!crlUrl.empty() && recipe.issuer == TestPKI::Intermediate)
        AddExtension(cert.get(), &ctx, NID_crl_distribution_points, ("URI:" + crlUrl).c_str());
    Check(X509_sign(cert.get(), issuerKey, EVP_sha256()) > 0, "signing a certificate");
    return cert;
}

void WriteBio(const std::string& path, const std::function<int(BIO*)>& write) {
    const BioPtr out(BIO_new_file(path.c_str(), "wb"));
    Check(out != nullptr, ("creating " + path).c_str());
    Check(write(out.get()) == 1, ("writing " + path).c_str());
}

std::string PrintName(const X509_NAME* name) {
    const BioPtr out(BIO_new(BIO_s_mem()));
    X509_NAME_print_ex(out.get(), name, 0, XN_FLAG_RFC2253 & ~ASN1_STRFLGS_ESC_MSB);
    char* data = nullptr;
    const long length = BIO_get_mem_data(out.get(), &data);
    return std::string(data, static_cast<std::size_t>(length));
}

std::string Hex(const unsigned char* data, std::size_t length) {
    static const char digits[] = "0123456789abcdef";
    std::string text;
    for (std::size_t i = 0; i < length; ++i) {
        if (i != 0) text += ' ';
        text += digits[data[i] >> 4];
        text += digits[data[i] & 15];
    }
    return text;
}

void WriteCRL(const std::string& derPath, const std::string& pemPath, X509* issuer, EVP_PKEY* issuerKey,
              const std::vector<const char*>& revokedSerials, long nextUpdateOffset) {
    CrlPtr crl(X509_CRL_new());
    Check(crl && X509_CRL_set_version(crl.get(), 1) == 1, "CRL version");
    Check(X509_CRL_set_issuer_name(crl.get(), X509_get_subject_name(issuer)) == 1, "CRL issuer");
    std::time_t now = std::time(nullptr);
    const TimePtr last(X509_time_adj_ex(nullptr, 0, nextUpdateOffset < 0 ? -2 * kDay : -3600, &now));
    const TimePtr next(X509_time_adj_ex(nullptr, 0, nextUpdateOffset, &now));
    Check(last && next && X509_CRL_set1_lastUpdate(crl.get(), last.get()) == 1 &&
              X509_CRL_set1_nextUpdate(crl.get(), next.get()) == 1,
          "CRL times");
    for (const char* serialHex : revokedSerials) {
        RevokedPtr revoked(X509_REVOKED_new());
        BIGNUM* raw = nullptr;
        Check(revoked && BN_hex2bn(&raw, serialHex) > 0, "revoked serial");
        const BnPtr bn(raw);
        const IntPtr serial(BN_to_ASN1_INTEGER(bn.get(), nullptr));
        const TimePtr when(X509_time_adj_ex(nullptr, 0, -3600, &now));
        Check(serial && when && X509_REVOKED_set_serialNumber(revoked.get(), serial.get()) == 1 &&
                  X509_REVOKED_set_revocationDate(revoked.get(), when.get()) == 1,
              "revoked entry");
        Check(X509_CRL_add0_revoked(crl.get(), revoked.get()) == 1, "revoked entry");
        revoked.release();  // now owned by the CRL
    }
    Check(X509_CRL_sort(crl.get()) == 1 && X509_CRL_sign(crl.get(), issuerKey, EVP_sha256()) > 0,
          "signing a CRL");
    WriteBio(derPath, [&](BIO* out) { return i2d_X509_CRL_bio(out, crl.get()); });
    if (!pemPath.empty()) WriteBio(pemPath, [&](BIO* out) { return PEM_write_bio_X509_CRL(out, crl.get()); });
}

}  // namespace

TestPKI::TestPKI() : TestPKI(Options()) {}

TestPKI::TestPKI(const Options& options) {
    _keychain = _dir.File("keychain");
    _pki = _dir.File("pki");
    Generate(options);
}

TestPKI::~TestPKI() = default;

const TestPKI& TestPKI::Shared() {
    static const TestPKI shared;
    return shared;
}

int TestPKI::IdentityCount() {
    int count = 0;
    for (const CertRecipe& recipe : Recipes()) {
        count += recipe.placement == CertRecipe::P12 || recipe.placement == CertRecipe::P12Passphrase ||
                 recipe.placement == CertRecipe::PemPair || recipe.placement == CertRecipe::PemPairEncrypted;
    }
    return count;
}

void TestPKI::Generate(const Options& options) {
    for (const char* sub : {"identities", "roots", "certs", "crls"})
        fs::create_directories(_keychain + "/" + sub);
    fs::create_directories(_pki);

    std::map<int, KeyPtr> keys;
    std::map<int, CertPtr> certs;
    for (const CertRecipe& recipe : Recipes()) {
        KeyPtr key = CachedKey(recipe.keyName, recipe.keyKind);
        const bool selfSigned = recipe.issuer == recipe.id;
        X509* issuer = selfSigned ? nullptr : certs.at(recipe.issuer).get();
        EVP_PKEY* issuerKey = selfSigned ? key.get() : keys.at(recipe.issuer).get();
        CertPtr cert = MakeCertificate(recipe, key.get(), issuer, issuerKey, options.crlDistributionPoint);

        PKICert info;
        info.name = recipe.name;
        info.certPem = Path(std::string(recipe.name) + ".pem");
        info.certDer = Path(std::string(recipe.name) + ".der");
        info.keyPem = Path(std::string(recipe.name) + "-key.pem");
        WriteBio(info.certPem, [&](BIO* out) { return PEM_write_bio_X509(out, cert.get()); });
        WriteBio(info.certDer, [&](BIO* out) { return i2d_X509_bio(out, cert.get()); });
        WriteBio(info.keyPem, [&](BIO* out) {
            return PEM_write_bio_PKCS8PrivateKey(out, key.get(), nullptr, nullptr, 0, nullptr, nullptr);
        });
        info.subjectDN = PrintName(X509_get_subject_name(cert.get()));
        info.issuerDN = PrintName(X509_get_issuer_name(cert.get()));
        const ASN1_INTEGER* serial = X509_get0_serialNumber(cert.get());
        info.serialHex =
            Hex(ASN1_STRING_get0_data(serial), static_cast<std::size_t>(ASN1_STRING_length(serial)));
        unsigned char digest[EVP_MAX_MD_SIZE];
        unsigned int digestLength = 0;
        Check(X509_digest(cert.get(), EVP_sha1(), digest, &digestLength) == 1, "fingerprint");
        info.sha1Hex = Hex(digest, digestLength);

        const std::string target = std::string(recipe.keychainFile);
        switch (recipe.placement) {
            case CertRecipe::None:
                break;
            case CertRecipe::RootsPem:
                fs::copy_file(info.certPem, _keychain + "/roots/" + target);
                break;
            case CertRecipe::CertsPem:
                fs::copy_file(info.certPem, _keychain + "/certs/" + target);
                break;
            case CertRecipe::CertsDer:
                fs::copy_file(info.certDer, _keychain + "/certs/" + target);
                break;
            case CertRecipe::P12:
            case CertRecipe::P12Passphrase: {
                const StackPtr chain(sk_X509_new_null());
                Check(chain != nullptr, "chain");
                X509* const chainCert = certs.at(recipe.issuer).get();
                sk_X509_push(chain.get(), chainCert);
                const char* pass = recipe.placement == CertRecipe::P12Passphrase ? kPassphrase : "";
                const P12Ptr p12(
                    PKCS12_create(pass, recipe.name, key.get(), cert.get(), chain.get(), 0, 0, 0, 0, 0));
                Check(p12 != nullptr, "PKCS12_create");
                info.p12 = Path(target);
                WriteBio(info.p12, [&](BIO* out) { return i2d_PKCS12_bio(out, p12.get()); });
                fs::copy_file(info.p12, _keychain + "/identities/" + target);
                break;
            }
            case CertRecipe::PemPair:
            case CertRecipe::PemPairEncrypted: {
                info.p12 = Path(target);
                const bool encrypted = recipe.placement == CertRecipe::PemPairEncrypted;
                WriteBio(info.p12, [&](BIO* out) {
                    const int certWritten = PEM_write_bio_X509(out, cert.get());
                    const int keyWritten =
                        encrypted ? PEM_write_bio_PKCS8PrivateKey(out, key.get(), EVP_aes_256_cbc(), nullptr,
                                                                  0, nullptr, const_cast<char*>(kPassphrase))
                                  : PEM_write_bio_PKCS8PrivateKey(out, key.get(), nullptr, nullptr, 0,
                                                                  nullptr, nullptr);
                    return certWritten == 1 && keyWritten == 1 ? 1 : 0;
                });
                fs::copy_file(info.p12, _keychain + "/identities/" + target);
                break;
            }
        }
        _certs[recipe.id] = info;
        keys[recipe.id] = std::move(key);
        certs[recipe.id] = std::move(cert);
    }

    X509* const intermediate = certs.at(Intermediate).get();
    EVP_PKEY* const intermediateKey = keys.at(Intermediate).get();
    const std::string revokedSerial = "100e";
    WriteCRL(EmptyCRLDer(), EmptyCRLPem(), intermediate, intermediateKey, {}, 7 * kDay);
    WriteCRL(RevokingCRLDer(), RevokingCRLPem(), intermediate, intermediateKey, {revokedSerial.c_str()},
             7 * kDay);
    WriteCRL(StaleCRLDer(), "", intermediate, intermediateKey, {}, -kDay);
    WriteCRL(RootCRLDer(), "", certs.at(Root).get(), keys.at(Root).get(), {}, 7 * kDay);
}

}  // namespace TestSupport
