#include <gtest/gtest.h>

#include <filesystem>

#include "crypto/openssl/CertStoreFile.h"
#include "support/Process.h"
#include "support/ScopedEnv.h"
#include "support/TestPKI.h"

namespace {

using Crypto::CertStore;
using Crypto::CertStoreFile;
using TestSupport::ScopedEnv;
using TestSupport::TestPKI;

// Subjects of one enumeration, in order.
std::vector<std::string> Enumerate(CertStore& store) {
    std::vector<std::string> subjects;
    for (Crypto::Certificate* cert = store.Begin(); cert != nullptr; cert = store.Next())
        subjects.push_back(cert->Subject());
    return subjects;
}

// No system trust anchors, so that the Root store holds only the keychain's roots.
struct NoSystemAnchors {
    ScopedEnv file{"SSL_CERT_FILE", "/nonexistent/pendrel-anchors.pem"};
    ScopedEnv dir{"SSL_CERT_DIR", "/nonexistent/pendrel-anchors"};
};

const std::vector<std::string> kOpenIdentities = {"Pendrel Test Signer",
                                                  "Pendrel PEM Signer",
                                                  "Pendrel No Key Usage",
                                                  "Pendrel Encipherment",
                                                  "Pendrel Expired",
                                                  "Pendrel Not Yet Valid",
                                                  "Pendrel Expiring Soon",
                                                  "Pendrel EC Signer",
                                                  "Pendrel DSA Signer",
                                                  "Pendrel Unit Without Name",
                                                  "Pendrel Leading Zero Serial",
                                                  "Pendrel Revoked",
                                                  "Pendrel Untrusted Signer"};

TEST(CertStoreFile, EnumeratesEachStoreInFileOrder) {
    const TestPKI pki;
    const NoSystemAnchors anchors;
    std::vector<std::string> allIdentities = kOpenIdentities;
    allIdentities.insert(allIdentities.begin() + 1, "Pendrel Passphrase Signer");
    allIdentities.insert(allIdentities.begin() + 3, "Pendrel Encrypted PEM Signer");
    const struct {
        const char* what;
        CertStore::Type type;
        const char* passphrase;
        std::vector<std::string> subjects;
        bool privateKeys;
    } cases[] = {
        {"identities without passphrase", CertStore::Personal, nullptr, kOpenIdentities, true},
        {"identities with a wrong passphrase", CertStore::Personal, "wrong", kOpenIdentities, true},
        {"identities with the passphrase", CertStore::Personal, TestPKI::kPassphrase, allIdentities, true},
        {"roots", CertStore::Root, nullptr, {"Pendrel Test Root CA"}, false},
        {"other certificates, PEM and DER",
         CertStore::Other,
         nullptr,
         {"Pendrel Test Intermediate CA", "Pendrel Without Key"},
         false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const ScopedEnv passphrase("PENDREL_KEYCHAIN_PASSPHRASE", c.passphrase);
        CertStoreFile store(pki.Keychain());
        ASSERT_TRUE(store.Open(c.type));
        const std::vector<std::string> subjects = Enumerate(store);
        EXPECT_EQ(subjects, c.subjects);
        EXPECT_EQ(Enumerate(store), subjects);  // Begin starts again
        for (Crypto::Certificate* cert = store.Begin(); cert != nullptr; cert = store.Next())
            EXPECT_EQ(cert->HasPrivateKey(), c.privateKeys) << cert->Subject();
    }
    EXPECT_EQ(static_cast<int>(allIdentities.size()), TestPKI::IdentityCount());
}

TEST(CertStoreFile, RootsIncludeTheSystemAnchorsOnce) {
    const TestPKI pki;
    const struct {
        std::string anchors;
        std::vector<std::string> subjects;
    } cases[] = {
        {pki.Get(TestPKI::OtherRoot).certPem, {"Pendrel Test Root CA", "Other Test Root CA"}},
        {pki.Get(TestPKI::Root).certPem, {"Pendrel Test Root CA"}},  // the same root is not listed twice
    };
    for (const auto& c : cases) {
        const ScopedEnv file("SSL_CERT_FILE", c.anchors.c_str());
        CertStoreFile store(pki.Keychain());
        ASSERT_TRUE(store.Open(CertStore::Root));
        EXPECT_EQ(Enumerate(store), c.subjects);
    }
    // The anchors of a folder serve when there is no bundle file.
    TestSupport::TempDir anchorDir;
    std::filesystem::copy_file(pki.Get(TestPKI::OtherRoot).certPem, anchorDir.File("a.pem"));
    const ScopedEnv file("SSL_CERT_FILE", "/nonexistent/bundle.pem");
    const ScopedEnv dir("SSL_CERT_DIR", anchorDir.Path().c_str());
    CertStoreFile store(pki.Keychain());
    ASSERT_TRUE(store.Open(CertStore::Root));
    EXPECT_EQ(Enumerate(store), (std::vector<std::string>{"Pendrel Test Root CA", "Other Test Root CA"}));
}

TEST(CertStoreFile, CertificatesLiveAsLongAsTheStore) {
    const TestPKI pki;
    CertStoreFile store(pki.Keychain());
    ASSERT_TRUE(store.Open(CertStore::Personal));
    Crypto::Certificate* first = store.Begin();
    ASSERT_NE(first, nullptr);
    for (int round = 0; round < 3; ++round) Enumerate(store);
    EXPECT_EQ(first->Subject(), "Pendrel Test Signer");  // still readable after later enumerations
}

TEST(CertStoreFile, UnreadableFilesAreSkipped) {
    const TestPKI pki;
    const NoSystemAnchors anchors;
    const std::string ids = pki.Keychain() + "/identities/";
    const std::string signerPem = TestSupport::ReadFile(pki.Get(TestPKI::Signer).certPem);
    const std::string otherKey = TestSupport::ReadFile(pki.Get(TestPKI::SignerPem).keyPem);
    const std::string der = TestSupport::ReadFile(pki.Get(TestPKI::Root).certDer);
    TestSupport::WriteFile(ids + "00-garbage.p12", "this is not PKCS#12");
    TestSupport::WriteFile(ids + "00-empty.pfx", "");
    TestSupport::WriteFile(ids + "00-mismatched.pem", signerPem + otherKey);
    TestSupport::WriteFile(ids + "00-no-key.pem", signerPem);
    TestSupport::WriteFile(ids + "00-text.txt", "hello");
    const std::string p12 = TestSupport::ReadFile(pki.Get(TestPKI::Signer).p12);
    TestSupport::WriteFile(ids + "00-truncated.p12", p12.substr(0, p12.size() / 2));
    std::filesystem::create_directory(ids + "00-folder.p12");
    TestSupport::WriteFile(pki.Keychain() + "/roots/0-truncated.der", der.substr(0, der.size() - 1));
    TestSupport::WriteFile(pki.Keychain() + "/roots/1-garbage.pem", "-----BEGIN CERTIFICATE-----\nAAAA\n");

    CertStoreFile personal(pki.Keychain());
    ASSERT_TRUE(personal.Open(CertStore::Personal));
    EXPECT_EQ(Enumerate(personal), kOpenIdentities);
    CertStoreFile roots(pki.Keychain());
    ASSERT_TRUE(roots.Open(CertStore::Root));
    EXPECT_EQ(Enumerate(roots), std::vector<std::string>{"Pendrel Test Root CA"});
}

TEST(CertStoreFile, OpensPKCS12WithLegacyEncryption) {
    const TestPKI& pki = TestPKI::Shared();
    TestSupport::TempDir keychain;
    std::filesystem::create_directory(keychain.File("identities"));
    std::string output;
    ASSERT_EQ(
        TestSupport::RunProgram({"openssl", "pkcs12", "-export", "-legacy", "-in",
                                 pki.Get(TestPKI::Signer).certPem, "-inkey", pki.Get(TestPKI::Signer).keyPem,
                                 "-passout", "pass:legacy", "-out", keychain.File("identities/old.p12")},
                                &output),
        0)
        << output;
    const ScopedEnv passphrase("PENDREL_KEYCHAIN_PASSPHRASE", "legacy");
    CertStoreFile store(keychain.Path());
    ASSERT_TRUE(store.Open(CertStore::Personal));
    Crypto::Certificate* cert = store.Begin();
    ASSERT_NE(cert, nullptr);
    EXPECT_EQ(cert->Subject(), "Pendrel Test Signer");
    EXPECT_TRUE(cert->HasPrivateKey());
}

TEST(CertStoreFile, OpenOfMissingOrBrokenFolders) {
    const NoSystemAnchors anchors;
    TestSupport::TempDir dir;
    {
        CertStoreFile store(dir.File("no-keychain"));  // not created yet: empty stores
        for (const CertStore::Type type : {CertStore::Personal, CertStore::Root, CertStore::Other}) {
            EXPECT_TRUE(store.Open(type));
            EXPECT_EQ(store.Begin(), nullptr);
        }
    }
    std::filesystem::create_directory(dir.File("keychain"));
    TestSupport::WriteFile(dir.File("keychain/identities"), "a file where a folder belongs");
    CertStoreFile store(dir.File("keychain"));
    EXPECT_FALSE(store.Open(CertStore::Personal));
    EXPECT_EQ(store.Begin(), nullptr);
    EXPECT_EQ(store.FindBySubject("Pendrel Test Signer"), nullptr);
    EXPECT_TRUE(store.Open(CertStore::Other));  // a store whose folder is missing is empty
    EXPECT_EQ(store.Begin(), nullptr);
    EXPECT_TRUE(store.Open(static_cast<CertStore::Type>(7)));
    EXPECT_EQ(store.Begin(), nullptr);
}

TEST(CertStoreFile, KeychainFolderComesFromTheEnvironment) {
    {
        const ScopedEnv keychain("PENDREL_KEYCHAIN", "/some/where");
        EXPECT_EQ(CertStoreFile::KeychainFolder(), "/some/where");
        EXPECT_EQ(CertStoreFile().Keychain(), "/some/where");
    }
    const ScopedEnv keychain("PENDREL_KEYCHAIN", nullptr);
    const std::string folder = CertStoreFile::KeychainFolder();
    const std::string tail = "/.local/share/pendrel/keychain";
    ASSERT_GT(folder.size(), tail.size());
    EXPECT_EQ(folder.substr(folder.size() - tail.size()), tail);
}

}  // namespace
