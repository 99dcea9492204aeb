#include <gtest/gtest.h>

#include "crypto/CertInfo.h"
#include "crypto/CertStore.h"
#include "crypto/Certificate.h"
#include "crypto/PublicKey.h"
#include "crypto/openssl/CertStoreFile.h"
#include "crypto/openssl/PublicKeyFactoryOpenSSL.h"
#include "support/ScopedEnv.h"
#include "support/TestPKI.h"

namespace {

using Crypto::Certificate;
using Crypto::CertStore;
using TestSupport::TestPKI;
using Bytes = std::vector<unsigned char>;

const TestPKI& PKI() {
    return TestPKI::Shared();
}

std::unique_ptr<Certificate> Load(TestPKI::Id id) {
    const std::string der = TestSupport::ReadFile(PKI().Get(id).certDer);
    return std::make_unique<Crypto::CertificateOpenSSL>(reinterpret_cast<const unsigned char*>(der.data()),
                                                        der.size());
}

std::string SubjectOf(const Certificate* cert) {
    return cert != nullptr ? cert->Subject() : "(none)";
}

Bytes FromHex(const std::string& hex) {
    Bytes bytes;
    Certificate::HexToByteBuffer(hex, bytes);
    return bytes;
}

// The Personal store of the shared PKI's keychain.
struct PersonalStore : ::testing::Test {
    void SetUp() override { ASSERT_TRUE(store.Open(CertStore::Personal)); }
    Crypto::CertStoreFile store{PKI().Keychain()};
};

TEST(CertStore, CheckCAsComparesIssuerDisplayNamesExactly) {
    const auto signer = Load(TestPKI::Signer);
    const auto untrusted = Load(TestPKI::Untrusted);
    const auto intermediate = Load(TestPKI::Intermediate);
    Crypto::CertStoreFile store("/nonexistent");
    const struct {
        const char* cas;
        bool signer, untrusted, intermediate;
    } cases[] = {
        {"", true, true, true},
        {"Pendrel Test CA Unit;Other Test", true, true, false},
        {"Pendrel Test CA Unit;", true, false, false},
        {";;Pendrel Test", false, false, true},
        {"Other Test; Pendrel Test CA Unit", false, true, false},  // a leading space never matches
        {"pendrel test ca unit", false, false, false},             // nor another case
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.cas);
        store.SetCAs(c.cas);
        EXPECT_EQ(store.CheckCAs(signer.get()), c.signer);
        EXPECT_EQ(store.CheckCAs(untrusted.get()), c.untrusted);
        EXPECT_EQ(store.CheckCAs(intermediate.get()), c.intermediate);
    }
    EXPECT_FALSE(store.CheckCAs(nullptr));
}

TEST(CertStore, CheckKeyUsageRequiresTheUsageAsked) {
    Crypto::CertStoreFile store("/nonexistent");
    const struct {
        TestPKI::Id id;
        int usage;
        bool passes;
    } cases[] = {
        {TestPKI::Signer, 0, true},
        {TestPKI::Signer, Crypto::KeyUsage::DigitalSignature, true},
        {TestPKI::Signer, Crypto::KeyUsage::NonRepudiation, true},
        {TestPKI::Signer, Crypto::KeyUsage::KeyEncipherment, false},
        {TestPKI::NoKeyUsage, 0, true},
        {TestPKI::NoKeyUsage, Crypto::KeyUsage::DigitalSignature, false},
        {TestPKI::KeyEnciphermentOnly, Crypto::KeyUsage::DigitalSignature, false},
        {TestPKI::KeyEnciphermentOnly, Crypto::KeyUsage::KeyEncipherment, true},
        {TestPKI::Root, Crypto::KeyUsage::KeyCertSign, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(PKI().Get(c.id).name + " usage " + std::to_string(c.usage));
        store.SetKeyUsage(c.usage);
        EXPECT_EQ(store.CheckKeyUsage(Load(c.id).get()), c.passes);
    }
    EXPECT_FALSE(store.CheckKeyUsage(nullptr));
}

TEST(CertStore, CheckTimeValidLooksOnlyAtTheEnd) {
    Crypto::CertStoreFile store("/nonexistent");
    const std::time_t now = std::time(nullptr);
    const auto expired = Load(TestPKI::Expired);
    const auto notYet = Load(TestPKI::NotYetValid);
    const auto soon = Load(TestPKI::ExpiringSoon);
    const Crypto::CertificateOpenSSL broken(reinterpret_cast<const unsigned char*>("xx"), 2);
    EXPECT_FALSE(store.CheckTimeValid(expired.get(), now));
    EXPECT_TRUE(store.CheckTimeValid(notYet.get(), now));  // the start is not checked here
    EXPECT_TRUE(store.CheckTimeValid(soon.get(), now));
    EXPECT_FALSE(store.CheckTimeValid(soon.get(), soon->NotAfter()));  // the last second is already past
    EXPECT_TRUE(store.CheckTimeValid(soon.get(), soon->NotAfter() - 1));
    EXPECT_FALSE(store.CheckTimeValid(&broken, now));  // NotAfter 0
    store.SetCheckTimeValidity(false);
    EXPECT_TRUE(store.CheckTimeValid(expired.get(), now));
    EXPECT_FALSE(store.CheckTimeValid(nullptr, now));
}

TEST(CertStore, CheckPrivateKeyAndAllPolicies) {
    Crypto::CertStoreFile others(PKI().Keychain());
    ASSERT_TRUE(others.Open(CertStore::Other));
    Certificate* withoutKey = others.FindBySubject("Pendrel Without Key");
    ASSERT_NE(withoutKey, nullptr);
    Crypto::CertStoreFile personal(PKI().Keychain());
    ASSERT_TRUE(personal.Open(CertStore::Personal));
    Certificate* identity = personal.FindBySubject("Pendrel Test Signer");
    ASSERT_NE(identity, nullptr);

    const std::time_t now = std::time(nullptr);
    EXPECT_TRUE(others.CheckPrivateKey(withoutKey));
    others.SetOnlyPrivateKeys(true);
    EXPECT_FALSE(others.CheckPrivateKey(withoutKey));
    EXPECT_TRUE(others.CheckPrivateKey(identity));
    EXPECT_FALSE(others.CheckAllPolicies(withoutKey, now));
    EXPECT_EQ(others.FindBySubject("Pendrel Without Key"), nullptr);
    EXPECT_TRUE(others.CheckAllPolicies(identity, now));
    others.SetKeyUsage(Crypto::KeyUsage::KeyEncipherment);
    EXPECT_FALSE(others.CheckAllPolicies(identity, now));
    EXPECT_FALSE(others.CheckAllPolicies(nullptr, now));
}

TEST_F(PersonalStore, FindBySubjectComparesDNsOrDisplayNames) {
    const struct {
        const char* subject;
        bool subset;
        const char* found;
    } cases[] = {
        {"Pendrel Test Signer", false, "Pendrel Test Signer"},
        {"CN=Pendrel Test Signer", false, "(none)"},
        {"CN=Pendrel Test Signer", true, "Pendrel Test Signer"},
        {"cn=Pendrel Test Signer; ou=Signing", true, "Pendrel Test Signer"},
        {"emailAddress=signer@example.com,CN=Pendrel Test Signer,OU=Signing,O=Pendrel Test,C=DE", false,
         "Pendrel Test Signer"},
        {"E=signer@example.com,CN=Pendrel Test Signer,OU=Signing,O=Pendrel Test,C=DE", false, "(none)"},
        {"OU=Pendrel Unit Without Name", true, "Pendrel Unit Without Name"},
        {"Pendrel Unit Without Name", false, "Pendrel Unit Without Name"},  // display name without CN
        {"pendrel test signer", false, "(none)"},
        {"Pendrel Expired", false, "(none)"},      // expired: fails the time policy
        {"Pendrel Without Key", false, "(none)"},  // not an identity
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.subject) + (c.subset ? " (subset)" : ""));
        store.SetSubsetDNCompare(c.subset);
        EXPECT_EQ(SubjectOf(store.FindBySubject(c.subject)), c.found);
    }
    store.SetCheckTimeValidity(false);
    EXPECT_EQ(SubjectOf(store.FindBySubject("Pendrel Expired")), "Pendrel Expired");
}

TEST_F(PersonalStore, SearchesByIssuerSerialHashKeyIdAndKey) {
    const Crypto::BigInteger leadingZero("0x8a1b2c3d4e5f60718293");
    const auto dsa = Load(TestPKI::DSASigner);
    const auto revoked = Load(TestPKI::Revoked);
    const Crypto::PublicKeyFactoryOpenSSL factory;
    const auto dsaKey = factory.Create(*dsa);
    const auto rsaKey = factory.Create(*revoked);
    ASSERT_NE(dsaKey, nullptr);
    ASSERT_NE(rsaKey, nullptr);
    EXPECT_EQ(factory.Create(*Load(TestPKI::ECSigner)), nullptr);

    EXPECT_EQ(SubjectOf(store.FindByIssuer("Pendrel Test CA Unit")), "Pendrel Test Signer");
    EXPECT_EQ(SubjectOf(store.FindByIssuer("Other Test")), "Pendrel Untrusted Signer");
    EXPECT_EQ(SubjectOf(store.FindByIssuer("CN=Other Test Root CA,O=Other Test,C=DE")),
              "Pendrel Untrusted Signer");
    EXPECT_EQ(SubjectOf(store.FindBySubjectIssuer("Pendrel EC Signer", "Pendrel Test CA Unit")),
              "Pendrel EC Signer");
    EXPECT_EQ(SubjectOf(store.FindBySubjectIssuer("Pendrel EC Signer", "Other Test")), "(none)");
    EXPECT_EQ(SubjectOf(store.FindByIssuerSerial("Pendrel Test CA Unit", leadingZero)),
              "Pendrel Leading Zero Serial");
    EXPECT_EQ(SubjectOf(store.FindByIssuerSerial("Other Test", leadingZero)), "(none)");
    EXPECT_EQ(SubjectOf(store.FindByIssuerSerial("Pendrel Test CA Unit", leadingZero + 1)), "(none)");
    EXPECT_EQ(SubjectOf(store.FindByHash(FromHex(PKI().Get(TestPKI::DSASigner).sha1Hex))),
              "Pendrel DSA Signer");
    EXPECT_EQ(SubjectOf(store.FindByHash(Bytes(20, 0))), "(none)");
    EXPECT_EQ(SubjectOf(store.FindByHash(Bytes())), "(none)");
    EXPECT_EQ(SubjectOf(store.FindBySKI(Load(TestPKI::NoCommonName)->SKI())), "Pendrel Unit Without Name");
    EXPECT_EQ(SubjectOf(store.FindBySKI(Bytes())), "(none)");
    EXPECT_EQ(SubjectOf(store.FindByPublicKey(dsaKey.get(), &factory)), "Pendrel DSA Signer");
    EXPECT_EQ(SubjectOf(store.FindByPublicKey(rsaKey.get(), &factory)), "Pendrel Revoked");
    EXPECT_EQ(store.FindByPublicKey(nullptr, &factory), nullptr);
    EXPECT_EQ(store.FindByPublicKey(rsaKey.get(), nullptr), nullptr);
}

TEST_F(PersonalStore, FindByCertInfoTriesHashSerialNamesInTurn) {
    const std::string sha1 = PKI().Get(TestPKI::ECSigner).sha1Hex;
    const struct {
        const char* what;
        std::string subject, issuer, serial, hash;
        const char* found;
    } cases[] = {
        {"hash wins", "Pendrel Test Signer", "Other Test", "", sha1, "Pendrel EC Signer"},
        {"unmatched hash falls through to the issuer", "", "Other Test", "", "00 11",
         "Pendrel Untrusted Signer"},
        {"issuer and serial", "", "Pendrel Test CA Unit", "00 8a 1b 2c 3d 4e 5f 60 71 82 93", "",
         "Pendrel Leading Zero Serial"},
        {"unmatched serial falls back to the issuer", "", "Pendrel Test CA Unit", "99", "",
         "Pendrel Test Signer"},
        {"subject and issuer", "Pendrel DSA Signer", "Pendrel Test CA Unit", "", "", "Pendrel DSA Signer"},
        {"subject alone", "Pendrel Revoked", "", "", "", "Pendrel Revoked"},
        {"subject with another issuer falls back to the subject", "Pendrel Revoked", "Other Test", "", "",
         "Pendrel Revoked"},
        {"nothing given", "", "", "", "", "(none)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Crypto::CertInfo info;
        info.subject = c.subject;
        info.issuer = c.issuer;
        info.serial = Certificate::HexToSerialNumber(c.serial);
        info.hash = FromHex(c.hash);
        EXPECT_EQ(SubjectOf(store.FindByCertInfo(&info)), c.found);
    }
    EXPECT_EQ(store.FindByCertInfo(nullptr), nullptr);
}

TEST_F(PersonalStore, PoliciesNarrowSearches) {
    store.SetKeyUsage(Crypto::KeyUsage::DigitalSignature);
    EXPECT_EQ(SubjectOf(store.FindBySubject("Pendrel Encipherment")), "(none)");
    EXPECT_EQ(SubjectOf(store.FindBySubject("Pendrel No Key Usage")), "(none)");
    store.SetCAs("Other Test");
    EXPECT_EQ(SubjectOf(store.FindByIssuer("Pendrel Test CA Unit")), "(none)");
    EXPECT_EQ(SubjectOf(store.FindBySubject("Pendrel Untrusted Signer")), "Pendrel Untrusted Signer");
}

}  // namespace
