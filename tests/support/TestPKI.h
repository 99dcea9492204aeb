#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "support/TempDir.h"

namespace TestSupport {

// One certificate of the test PKI and the files made for it. Paths are
// empty where a file does not exist for that certificate.
struct PKICert {
    std::string name;       // short name, also the base of its file names
    std::string certPem;    // the certificate, PEM
    std::string certDer;    // the certificate, DER
    std::string keyPem;     // the private key, unencrypted PKCS#8 PEM
    std::string p12;        // the identity file placed in the keychain (PKCS#12 or PEM pair), if any
    std::string subjectDN;  // RFC 2253, as OpenSSL prints it
    std::string issuerDN;
    std::string serialHex;  // serial number, most significant byte first, "8a 1b 2c" form
    std::string sha1Hex;    // SHA-1 fingerprint, "0a ff" form, computed by OpenSSL
};

// A small PKI made afresh with OpenSSL in a temporary folder:
//
//   <folder>/keychain/   a keychain folder (identities/, roots/, certs/, crls/)
//   <folder>/pki/        every certificate (PEM and DER), key, identity and CRL
//
// Root CA -> Intermediate CA (with an organizational unit) -> the signers.
// Keys are generated once per build tree and reused (test-keys/ in the build
// folder), so that making a PKI takes milliseconds; the certificates are made
// new each time with validity periods relative to now.
class TestPKI {
public:
    enum Id {
        Root,                 // self-signed, in keychain roots/
        Intermediate,         // issued by Root, in keychain certs/
        Signer,               // digitalSignature + nonRepudiation, PKCS#12 without passphrase
        SignerPassphrase,     // as Signer, PKCS#12 with kPassphrase
        SignerPem,            // as Signer, PEM file with certificate and unencrypted key
        SignerPemEncrypted,   // as Signer, PEM file with certificate and key encrypted with kPassphrase
        NoKeyUsage,           // no keyUsage extension
        KeyEnciphermentOnly,  // keyUsage keyEncipherment only; multi-valued RDN and a ',' in O
        Expired,              // notAfter yesterday
        NotYetValid,          // notBefore tomorrow
        ExpiringSoon,         // notAfter in two days
        ECSigner,             // P-256 key, PEM pair
        DSASigner,            // DSA key, PEM pair
        NoPrivateKey,         // certificate only, DER in keychain certs/
        NoCommonName,         // subject OU + O + C, no CN
        LeadingZeroSerial,    // serial 0x8a1b2c3d4e5f60718293 (DER 00 8a ...)
        Revoked,              // listed in the revoking CRL
        OtherRoot,            // a second root, not in the keychain
        Untrusted,            // issued by OtherRoot, in identities/
        Count
    };

    struct Options {
        // When not empty, every certificate the Intermediate issues carries a
        // CRL distribution point with this URI.
        std::string crlDistributionPoint;
    };

    static constexpr const char* kPassphrase = "pendrel-test-passphrase";

    TestPKI();
    explicit TestPKI(const Options& options);
    ~TestPKI();
    TestPKI(const TestPKI&) = delete;
    TestPKI& operator=(const TestPKI&) = delete;

    const std::string& Folder() const { return _dir.Path(); }
    const std::string& Keychain() const { return _keychain; }
    std::string Path(const std::string& name) const { return _pki + "/" + name; }
    const PKICert& Get(Id id) const { return _certs.at(id); }

    // CRLs of the Intermediate: without entries, listing Revoked, and one
    // whose nextUpdate has passed; DER and PEM.
    std::string EmptyCRLDer() const { return Path("empty-crl.der"); }
    std::string EmptyCRLPem() const { return Path("empty-crl.pem"); }
    std::string RevokingCRLDer() const { return Path("revoking-crl.der"); }
    std::string RevokingCRLPem() const { return Path("revoking-crl.pem"); }
    std::string StaleCRLDer() const { return Path("stale-crl.der"); }
    // A CRL of Root (empty), for the Intermediate's revocation check.
    std::string RootCRLDer() const { return Path("root-crl.der"); }

    // One PKI with default options for the whole test program, made on first
    // use and removed at exit.
    static const TestPKI& Shared();

    // The number of identities placed in keychain identities/.
    static int IdentityCount();

private:
    void Generate(const Options& options);

    TempDir _dir;
    std::string _keychain;
    std::string _pki;
    std::map<int, PKICert> _certs;
};

}  // namespace TestSupport
