#include <gtest/gtest.h>
#include <openssl/pem.h>

#include <algorithm>
#include <cctype>
#include <cstdio>

#include "crypto/Exception.h"
#include "crypto/openssl/CertificateOpenSSL.h"
#include "crypto/openssl/HashOpenSSL.h"
#include "support/Process.h"
#include "support/ScopedEnv.h"
#include "support/TestPKI.h"

namespace {

using Crypto::CertificateOpenSSL;
using Crypto::KeyUsage::Usages;
using TestSupport::TestPKI;
using Bytes = std::vector<unsigned char>;

const TestPKI& PKI() {
    return TestPKI::Shared();
}

std::string Slurp(const std::string& path) {
    return TestSupport::ReadFile(path);
}

CertificateOpenSSL FromDer(TestPKI::Id id) {
    const std::string der = Slurp(PKI().Get(id).certDer);
    return CertificateOpenSSL(reinterpret_cast<const unsigned char*>(der.data()), der.size());
}

// The certificate with its private key, read from the PKI's PEM files.
CertificateOpenSSL Identity(TestPKI::Id id) {
    const Crypto::BIOPtr certIn(BIO_new_file(PKI().Get(id).certPem.c_str(), "r"));
    const Crypto::X509Ptr cert(PEM_read_bio_X509(certIn.get(), nullptr, nullptr, nullptr));
    const Crypto::BIOPtr keyIn(BIO_new_file(PKI().Get(id).keyPem.c_str(), "r"));
    const Crypto::EVPPKeyPtr key(PEM_read_bio_PrivateKey(keyIn.get(), nullptr, nullptr, nullptr));
    return CertificateOpenSSL(cert.get(), key.get());
}

// Text of an `openssl x509` query on a certificate file.
std::string OpenSSLX509(const std::string& pem, const std::vector<std::string>& options) {
    std::vector<std::string> argv = {"openssl", "x509", "-in", pem, "-noout"};
    argv.insert(argv.end(), options.begin(), options.end());
    std::string output;
    EXPECT_EQ(TestSupport::RunProgram(argv, &output), 0) << output;
    while (!output.empty() && (output.back() == '\n' || output.back() == ' ')) output.pop_back();
    return output;
}

TEST(CertificateOpenSSL, DisplayNamesFollowTheirPreferenceOrders) {
    const struct {
        TestPKI::Id id;
        const char* subject;
        const char* issuer;
    } cases[] = {
        {TestPKI::Signer, "Pendrel Test Signer", "Pendrel Test CA Unit"},  // issuer: unit before common name
        {TestPKI::NoCommonName, "Pendrel Unit Without Name", "Pendrel Test CA Unit"},
        {TestPKI::Intermediate, "Pendrel Test Intermediate CA", "Pendrel Test"},  // issuer: organization
        {TestPKI::Root, "Pendrel Test Root CA", "Pendrel Test"},
        {TestPKI::Untrusted, "Pendrel Untrusted Signer", "Other Test"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(PKI().Get(c.id).name);
        const CertificateOpenSSL cert = FromDer(c.id);
        EXPECT_EQ(cert.Subject(), c.subject);
        EXPECT_EQ(cert.Issuer(), c.issuer);
    }
}

TEST(CertificateOpenSSL, DistinguishedNamesAreRFC2253) {
    const struct {
        TestPKI::Id id;
        const char* subjectDN;
        const char* issuerDN;
    } cases[] = {
        {TestPKI::Signer,
         "emailAddress=signer@example.com,CN=Pendrel Test Signer,OU=Signing,O=Pendrel Test,C=DE",
         "CN=Pendrel Test Intermediate CA,OU=Pendrel Test CA Unit,O=Pendrel Test,C=DE"},
        {TestPKI::KeyEnciphermentOnly,
         "CN=Pendrel Encipherment+serialNumber=42,O=Pendrel Test\\, Encipherment,C=DE",
         "CN=Pendrel Test Intermediate CA,OU=Pendrel Test CA Unit,O=Pendrel Test,C=DE"},
        {TestPKI::Root, "CN=Pendrel Test Root CA,O=Pendrel Test,C=DE",
         "CN=Pendrel Test Root CA,O=Pendrel Test,C=DE"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(PKI().Get(c.id).name);
        const CertificateOpenSSL cert = FromDer(c.id);
        EXPECT_EQ(cert.SubjectDN(), c.subjectDN);
        EXPECT_EQ(cert.IssuerDN(), c.issuerDN);
        EXPECT_EQ("subject=" + cert.SubjectDN(),
                  OpenSSLX509(PKI().Get(c.id).certPem, {"-subject", "-nameopt", "RFC2253"}));
    }
}

TEST(CertificateOpenSSL, NonAsciiNamesStayReadableUTF8) {
    // A certificate made here with a UTF-8 common name.
    const Crypto::X509Ptr cert(X509_new());
    X509_NAME* name = X509_get_subject_name(cert.get());
    const std::string cn = "J\xC3\xBCrgen M\xC3\xBCller";
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_UTF8, reinterpret_cast<const unsigned char*>(cn.c_str()),
                               -1, -1, 0);
    const Crypto::BIOPtr keyIn(BIO_new_file(PKI().Get(TestPKI::Signer).keyPem.c_str(), "r"));
    const Crypto::EVPPKeyPtr key(PEM_read_bio_PrivateKey(keyIn.get(), nullptr, nullptr, nullptr));
    X509_set_issuer_name(cert.get(), name);
    X509_set_pubkey(cert.get(), key.get());
    ASSERT_GT(X509_sign(cert.get(), key.get(), EVP_sha256()), 0);
    const CertificateOpenSSL wrapped(cert.get());
    EXPECT_EQ(wrapped.SubjectDN(), "CN=" + cn);
    EXPECT_EQ(wrapped.Subject(), cn);
}

// Display names stop at 1023 bytes, never inside a UTF-8 character: the
// names here are set without the usual length limits, as a hostile issuer
// could make them.
TEST(CertificateOpenSSL, LongDisplayNamesAreCutAtACharacterBoundary) {
    const std::string e = "\xC3\xA9";             // two bytes
    const std::string euro = "\xE2\x82\xAC";      // three bytes
    const std::string clef = "\xF0\x9D\x84\x9E";  // four bytes
    const struct {
        const char* name;
        std::string text;
        std::string expected;
    } cases[] = {
        {"ASCII, cut at 1023", std::string(2000, 'a'), std::string(1023, 'a')},
        {"exactly 1023 bytes", std::string(1021, 'a') + e, std::string(1021, 'a') + e},
        {"two-byte character across the limit", std::string(1022, 'a') + e + "b", std::string(1022, 'a')},
        {"three-byte character across the limit", std::string(1021, 'a') + euro, std::string(1021, 'a')},
        {"four-byte character across the limit", std::string(1020, 'a') + clef + "x", std::string(1020, 'a')},
        {"four-byte character ending at the limit", std::string(1019, 'a') + clef + "x",
         std::string(1019, 'a') + clef},
    };
    const Crypto::BIOPtr keyIn(BIO_new_file(PKI().Get(TestPKI::Signer).keyPem.c_str(), "r"));
    const Crypto::EVPPKeyPtr key(PEM_read_bio_PrivateKey(keyIn.get(), nullptr, nullptr, nullptr));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Crypto::X509Ptr cert(X509_new());
        const auto* bytes = reinterpret_cast<const unsigned char*>(c.text.data());
        const int length = static_cast<int>(c.text.size());
        X509_NAME* subject = X509_get_subject_name(cert.get());
        ASSERT_EQ(
            X509_NAME_add_entry_by_NID(subject, NID_commonName, V_ASN1_UTF8STRING, bytes, length, -1, 0), 1);
        X509_NAME* issuer = X509_get_issuer_name(cert.get());
        ASSERT_EQ(X509_NAME_add_entry_by_NID(issuer, NID_organizationalUnitName, V_ASN1_UTF8STRING, bytes,
                                             length, -1, 0),
                  1);
        X509_set_pubkey(cert.get(), key.get());
        ASSERT_GT(X509_sign(cert.get(), key.get(), EVP_sha256()), 0);
        const CertificateOpenSSL wrapped(cert.get());
        EXPECT_EQ(wrapped.Subject(), c.expected);
        EXPECT_EQ(wrapped.Issuer(), c.expected);
    }
}

TEST(CertificateOpenSSL, SerialNumberHidesTheDERPaddingByte) {
    const CertificateOpenSSL cert = FromDer(TestPKI::LeadingZeroSerial);
    EXPECT_EQ(Crypto::Certificate::SerialNumToHex(cert.SerialNumber()), "8a 1b 2c 3d 4e 5f 60 71 82 93");
    EXPECT_EQ(cert.SerialNumber(), Crypto::BigInteger("0x8a1b2c3d4e5f60718293"));
    // On disk the INTEGER is 11 bytes long and begins with the 0x00 that keeps it positive.
    const std::string der = Slurp(PKI().Get(TestPKI::LeadingZeroSerial).certDer);
    EXPECT_NE(der.find(std::string("\x02\x0b\x00\x8a\x1b", 5)), std::string::npos);
    EXPECT_EQ(OpenSSLX509(PKI().Get(TestPKI::LeadingZeroSerial).certPem, {"-serial"}),
              "serial=8A1B2C3D4E5F60718293");
}

TEST(CertificateOpenSSL, FingerprintAndKeyIdentifierMatchOpenSSL) {
    for (const TestPKI::Id id : {TestPKI::Root, TestPKI::Signer, TestPKI::ECSigner, TestPKI::DSASigner}) {
        SCOPED_TRACE(PKI().Get(id).name);
        const CertificateOpenSSL cert = FromDer(id);
        EXPECT_EQ(Crypto::Certificate::ByteBufferToHex(cert.Hash()), PKI().Get(id).sha1Hex);

        std::string fingerprint = OpenSSLX509(PKI().Get(id).certPem, {"-fingerprint", "-sha1"});
        fingerprint = fingerprint.substr(fingerprint.find('=') + 1);
        std::replace(fingerprint.begin(), fingerprint.end(), ':', ' ');
        std::transform(fingerprint.begin(), fingerprint.end(), fingerprint.begin(), ::tolower);
        EXPECT_EQ(Crypto::Certificate::ByteBufferToHex(cert.Hash()), fingerprint);

        std::string ski = OpenSSLX509(PKI().Get(id).certPem, {"-ext", "subjectKeyIdentifier"});
        ski = ski.substr(ski.find_last_of(' ') + 1);
        std::replace(ski.begin(), ski.end(), ':', ' ');
        std::transform(ski.begin(), ski.end(), ski.begin(), ::tolower);
        EXPECT_EQ(Crypto::Certificate::ByteBufferToHex(cert.SKI()), ski);

        Bytes der;
        EXPECT_TRUE(cert.OutputDER(der));
        EXPECT_EQ(std::string(der.begin(), der.end()), Slurp(PKI().Get(id).certDer));
    }
}

TEST(CertificateOpenSSL, KeyUsageSetsFollowTheExtension) {
    const struct {
        TestPKI::Id id;
        std::set<Usages> usages;
    } cases[] = {
        {TestPKI::Signer, {Usages::AnyUsage, Usages::DigitalSignature, Usages::NonRepudiation}},
        {TestPKI::NoKeyUsage, {Usages::AnyUsage}},
        {TestPKI::KeyEnciphermentOnly, {Usages::AnyUsage, Usages::KeyEncipherment}},
        {TestPKI::Root, {Usages::AnyUsage, Usages::KeyCertSign, Usages::CRLSign}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(PKI().Get(c.id).name);
        EXPECT_EQ(FromDer(c.id).CertKeyUsage(), c.usages);
    }
}

TEST(CertificateOpenSSL, GetAlgorithmTellsDSAFromRSAAndRejectsOthers) {
    EXPECT_FALSE(FromDer(TestPKI::Signer).GetAlgorithm());
    EXPECT_TRUE(FromDer(TestPKI::DSASigner).GetAlgorithm());
    try {
        FromDer(TestPKI::ECSigner).GetAlgorithm();
        FAIL() << "no exception";
    } catch (const Crypto::Exception& e) {
        EXPECT_STREQ(e.what(), "Unknown key type !");
        EXPECT_EQ(e.Code(), 0);
    }
    const CertificateOpenSSL broken(reinterpret_cast<const unsigned char*>("\x30\x03\x02\x01\x01"), 5);
    try {
        broken.GetAlgorithm();
        FAIL() << "no exception";
    } catch (const Crypto::Exception& e) {
        EXPECT_STREQ(e.what(), "No public key found in certificate!");
    }
}

TEST(CertificateOpenSSL, NotAfterIsReadAsUTCWhateverTheLocalZone) {
    const TestSupport::ScopedEnv zone("TZ", "Asia/Tokyo");
    ::tzset();
    const std::time_t now = std::time(nullptr);
    const std::time_t expired = FromDer(TestPKI::Expired).NotAfter();
    const std::time_t soon = FromDer(TestPKI::ExpiringSoon).NotAfter();
    ::unsetenv("TZ");
    ::tzset();
    EXPECT_NEAR(static_cast<double>(expired), static_cast<double>(now - 24 * 3600), 120.0);
    EXPECT_NEAR(static_cast<double>(soon), static_cast<double>(now + 2 * 24 * 3600), 120.0);
}

TEST(CertificateOpenSSL, ValidateJudgesTheValidityPeriod) {
    const TestSupport::ScopedEnv keychain("PENDREL_KEYCHAIN", PKI().Keychain().c_str());
    const struct {
        TestPKI::Id id;
        int time;
        int chain;
        const char* status;
    } cases[] = {
        {TestPKI::Signer, 0, 0, "11XX"},
        {TestPKI::ExpiringSoon, 0, 0, "11XX"},
        {TestPKI::Expired, 1, 1, "00XX"},  // an expired certificate fails its chain too
        {TestPKI::NotYetValid, 1, 1, "00XX"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(PKI().Get(c.id).name);
        CertificateOpenSSL cert = FromDer(c.id);
        EXPECT_EQ(cert.Status(), "XXXX");
        EXPECT_EQ(cert.TimeValidity(), 2);
        cert.Validate(false);
        EXPECT_EQ(cert.TimeValidity(), c.time);
        EXPECT_EQ(cert.ChainValidity(), c.chain);
        EXPECT_EQ(cert.CRLValidity(), 2);
        EXPECT_EQ(cert.Status(), c.status);
        std::string formatted;
        cert.FormatStatus(formatted);
        EXPECT_EQ(formatted, c.status);
    }
}

TEST(CertificateOpenSSL, BadDERGivesAnEmptyCertificate) {
    const std::string good = Slurp(PKI().Get(TestPKI::Signer).certDer);
    std::string corrupt = good;
    corrupt[corrupt.size() / 2] ^= 0x5a;
    corrupt[1] = '\x7f';
    const struct {
        const char* what;
        std::string bytes;
    } cases[] = {
        {"empty", ""},
        {"garbage", "not a certificate at all"},
        {"truncated", good.substr(0, good.size() - 10)},
        {"only the header", good.substr(0, 4)},
        {"corrupt lengths", corrupt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const CertificateOpenSSL cert(reinterpret_cast<const unsigned char*>(c.bytes.data()), c.bytes.size());
        EXPECT_EQ(cert.X509Handle(), nullptr);
        EXPECT_EQ(cert.Subject(), "");
        EXPECT_EQ(cert.IssuerDN(), "");
        EXPECT_EQ(cert.SerialNumber(), 0);
        EXPECT_TRUE(cert.Hash().empty());
        EXPECT_TRUE(cert.SKI().empty());
        EXPECT_EQ(cert.NotAfter(), 0);
        EXPECT_FALSE(cert.HasPrivateKey());
        EXPECT_EQ(cert.CertKeyUsage(), std::set<Usages>{Usages::AnyUsage});
        Bytes der = {1};
        EXPECT_FALSE(cert.OutputDER(der));
        Crypto::HashOpenSSL hash(Crypto::Hash::SHA256);
        const Bytes signature(256, 1);
        EXPECT_EQ(cert.VerifyHash(&hash, &signature), 2);
    }
}

TEST(CertificateOpenSSL, CopiesKeepTheKeyWithItsCertificate) {
    CertificateOpenSSL identity = Identity(TestPKI::Signer);
    ASSERT_TRUE(identity.HasPrivateKey());
    const CertificateOpenSSL copy(identity);
    EXPECT_TRUE(copy.HasPrivateKey());
    EXPECT_EQ(copy.Hash(), identity.Hash());

    identity.Validate(false);
    CertificateOpenSSL target = Identity(TestPKI::SignerPem);
    target = static_cast<const Crypto::Certificate&>(FromDer(TestPKI::NoPrivateKey));
    EXPECT_FALSE(target.HasPrivateKey());  // no stale key beside another certificate
    EXPECT_EQ(target.Subject(), "Pendrel Without Key");
    EXPECT_EQ(target.Status(), "XXXX");
    target = identity;
    EXPECT_TRUE(target.HasPrivateKey());
    EXPECT_EQ(target.Subject(), "Pendrel Test Signer");
    const Crypto::CertificateOpenSSL& self = target;
    target = self;  // self-assignment changes nothing
    EXPECT_TRUE(target.HasPrivateKey());
    EXPECT_EQ(target.Subject(), "Pendrel Test Signer");
}

TEST(CertificateOpenSSL, AKeyOfAnotherCertificateIsNotKept) {
    const Crypto::BIOPtr certIn(BIO_new_file(PKI().Get(TestPKI::Signer).certPem.c_str(), "r"));
    const Crypto::X509Ptr cert(PEM_read_bio_X509(certIn.get(), nullptr, nullptr, nullptr));
    const Crypto::BIOPtr keyIn(BIO_new_file(PKI().Get(TestPKI::SignerPem).keyPem.c_str(), "r"));
    const Crypto::EVPPKeyPtr key(PEM_read_bio_PrivateKey(keyIn.get(), nullptr, nullptr, nullptr));
    const CertificateOpenSSL mismatched(cert.get(), key.get());
    EXPECT_FALSE(mismatched.HasPrivateKey());
    EXPECT_EQ(mismatched.Subject(), "Pendrel Test Signer");
}

}  // namespace

namespace {

Crypto::Hash::HashType kTypes[] = {Crypto::Hash::SHA1, Crypto::Hash::SHA256, Crypto::Hash::SHA384,
                                   Crypto::Hash::SHA512};
const char* kDgstNames[] = {"-sha1", "-sha256", "-sha384", "-sha512"};

void WriteBytes(const std::string& path, const Bytes& bytes) {
    TestSupport::WriteFile(path, std::string(bytes.begin(), bytes.end()));
}

TEST(CertificateOpenSSL, SignHashIsAcceptedByOpenSSLDgst) {
    TestSupport::TempDir dir;
    const std::string data = "The document bytes that are signed.\n";
    TestSupport::WriteFile(dir.File("data"), data);
    for (const TestPKI::Id id : {TestPKI::Signer, TestPKI::DSASigner, TestPKI::ECSigner}) {
        const CertificateOpenSSL identity = Identity(id);
        ASSERT_TRUE(identity.HasPrivateKey());
        for (std::size_t t = 0; t < 4; ++t) {
            SCOPED_TRACE(PKI().Get(id).name + " " + kDgstNames[t]);
            Crypto::HashOpenSSL hash(kTypes[t]);
            hash.FeedData(reinterpret_cast<const unsigned char*>(data.data()),
                          static_cast<unsigned>(data.size()));
            const Bytes signature = identity.SignHash(&hash);
            ASSERT_FALSE(signature.empty());
            WriteBytes(dir.File("sig"), signature);
            std::string output;
            EXPECT_EQ(
                TestSupport::RunProgram({"openssl", "dgst", kDgstNames[t], "-prverify", PKI().Get(id).keyPem,
                                         "-signature", dir.File("sig"), dir.File("data")},
                                        &output),
                0)
                << output;
        }
    }
}

TEST(CertificateOpenSSL, SignHashNeedsKeyAndDigest) {
    Crypto::HashOpenSSL hash(Crypto::Hash::SHA256);
    EXPECT_TRUE(FromDer(TestPKI::Signer).SignHash(&hash).empty());  // no private key
    EXPECT_TRUE(Identity(TestPKI::Signer).SignHash(nullptr).empty());
    hash.GetData();  // the digest is finished: nothing left to sign
    EXPECT_TRUE(Identity(TestPKI::Signer).SignHash(&hash).empty());
}

TEST(CertificateOpenSSL, VerifyHashJudgesSignaturesMadeByOpenSSL) {
    TestSupport::TempDir dir;
    const std::string data = "Bytes signed by the openssl tool.\n";
    TestSupport::WriteFile(dir.File("data"), data);
    const CertificateOpenSSL cert = FromDer(TestPKI::Signer);
    for (std::size_t t = 0; t < 4; ++t) {
        SCOPED_TRACE(kDgstNames[t]);
        ASSERT_EQ(TestSupport::RunProgram({"openssl", "dgst", kDgstNames[t], "-sign",
                                           PKI().Get(TestPKI::Signer).keyPem, "-out", dir.File("sig"),
                                           dir.File("data")}),
                  0);
        const std::string sigText = TestSupport::ReadFile(dir.File("sig"));
        const Bytes signature(sigText.begin(), sigText.end());
        Bytes tampered = signature;
        tampered[tampered.size() / 2] ^= 1;
        const auto digestOf = [&](const std::string& text, Crypto::Hash::HashType type) {
            auto hash = std::make_unique<Crypto::HashOpenSSL>(type);
            hash->FeedData(reinterpret_cast<const unsigned char*>(text.data()),
                           static_cast<unsigned>(text.size()));
            return hash;
        };
        EXPECT_EQ(cert.VerifyHash(digestOf(data, kTypes[t]).get(), &signature), 0);
        EXPECT_EQ(cert.VerifyHash(digestOf(data, kTypes[t]).get(), &tampered), 1);
        EXPECT_EQ(cert.VerifyHash(digestOf(data + "x", kTypes[t]).get(), &signature), 1);
        EXPECT_EQ(cert.VerifyHash(digestOf(data, kTypes[(t + 1) % 4]).get(), &signature), 1);
        EXPECT_EQ(FromDer(TestPKI::SignerPem).VerifyHash(digestOf(data, kTypes[t]).get(), &signature), 1);
        EXPECT_EQ(cert.VerifyHash(digestOf(data, kTypes[t]).get(), nullptr), 2);
        EXPECT_EQ(cert.VerifyHash(nullptr, &signature), 2);
    }
}

}  // namespace
