#include <gtest/gtest.h>

#include <filesystem>

#include "crypto/CryptoCodes.h"
#include "crypto/Exception.h"
#include "crypto/KeyUsage.h"
#include "crypto/openssl/CMSignatureOpenSSL.h"
#include "crypto/openssl/CertStoreFile.h"
#include "crypto/openssl/KeySession.h"
#include "support/KeyUnlock.h"
#include "support/Process.h"
#include "support/ScopedEnv.h"
#include "support/ScriptedPrompt.h"
#include "support/SoftHsm.h"
#include "support/TestPKI.h"

namespace {

using TestSupport::UnlockCode;

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

// Without the passphrase: the encrypted PEM key's certificate can be read
// (its key opens when it signs); the PKCS#12 file encrypts its certificate too.
const std::vector<std::string> kOpenIdentities = {
    "Pendrel Test Signer",   "Pendrel PEM Signer",        "Pendrel Encrypted PEM Signer",
    "Pendrel No Key Usage",  "Pendrel Encipherment",      "Pendrel Expired",
    "Pendrel Not Yet Valid", "Pendrel Expiring Soon",     "Pendrel EC Signer",
    "Pendrel DSA Signer",    "Pendrel Unit Without Name", "Pendrel Leading Zero Serial",
    "Pendrel Revoked",       "Pendrel Untrusted Signer"};

TEST(CertStoreFile, EnumeratesEachStoreInFileOrder) {
    const TestPKI pki;
    const NoSystemAnchors anchors;
    std::vector<std::string> allIdentities = kOpenIdentities;
    allIdentities.insert(allIdentities.begin() + 1, "Pendrel Passphrase Signer");
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

namespace {

using TestSupport::ScriptedPrompt;

// A keychain with the encrypted identities of the test PKI: a PEM file with
// an encrypted key, a PKCS#12 file whose certificates are encrypted too,
// and one whose certificates are not (only its key is).
struct EncryptedIdentities : testing::Test {
    void SetUp() override {
        std::filesystem::create_directory(keychain.File("identities"));
        std::filesystem::copy_file(pki.Get(TestPKI::SignerPemEncrypted).p12,
                                   keychain.File("identities/a.pem"));
        std::filesystem::copy_file(pki.Get(TestPKI::SignerPassphrase).p12, keychain.File("identities/b.p12"));
        std::string output;
        ASSERT_EQ(
            TestSupport::RunProgram(
                {"openssl", "pkcs12", "-export", "-certpbe", "NONE", "-in", pki.Get(TestPKI::Signer).certPem,
                 "-inkey", pki.Get(TestPKI::Signer).keyPem, "-passout",
                 std::string("pass:") + TestPKI::kPassphrase, "-out", keychain.File("identities/c.p12")},
                &output),
            0)
            << output;
    }
    std::vector<std::string> Subjects(CertStoreFile& store) {
        EXPECT_TRUE(store.Open(CertStore::Personal));
        return Enumerate(store);
    }

    const TestPKI& pki = TestPKI::Shared();
    TestSupport::TempDir keychain;
    const ScopedEnv noPassphrase{"PENDREL_KEYCHAIN_PASSPHRASE", nullptr};
};

TEST_F(EncryptedIdentities, AreOfferedAndOpenWhenSigning) {
    CertStoreFile store(keychain.Path());
    EXPECT_EQ(Subjects(store),
              (std::vector<std::string>{"Pendrel Encrypted PEM Signer", "Pendrel Test Signer"}));
    for (Crypto::Certificate* cert = store.Begin(); cert != nullptr; cert = store.Next()) {
        EXPECT_TRUE(cert->HasPrivateKey());
        EXPECT_EQ(dynamic_cast<Crypto::CertificateOpenSSL*>(cert)->PrivateKey(), nullptr);  // still closed
    }
    const struct {
        const char* what;
        const char* environment;
        bool window;
        std::vector<ScriptedPrompt::Answer> answers;
        int code;
        std::size_t prompts;
    } cases[] = {
        {"no window, no passphrase", nullptr, false, {}, Crypto::Code::kSecretUnavailable, 0},
        {"wrong passphrase set", "wrong", false, {}, Crypto::Code::kWrongPassphrase, 0},
        {"the passphrase set", TestPKI::kPassphrase, false, {}, 0, 0},
        {"window cancelled", nullptr, true, {ScriptedPrompt::Cancel()}, Crypto::Code::kCancelled, 1},
        {"wrong, then right in the window",
         nullptr,
         true,
         {ScriptedPrompt::Give("wrong"), ScriptedPrompt::Give(TestPKI::kPassphrase)},
         0,
         2},
    };
    for (const char* subject : {"Pendrel Encrypted PEM Signer", "Pendrel Test Signer"}) {
        for (const auto& c : cases) {
            SCOPED_TRACE(std::string(subject) + ": " + c.what);
            const ScopedEnv passphrase("PENDREL_KEYCHAIN_PASSPHRASE", c.environment);
            std::unique_ptr<ScriptedPrompt> window;
            if (c.window) window = std::make_unique<ScriptedPrompt>(c.answers);
            // A session of its own that does not open b.p12 on the way.
            auto session = std::make_shared<Crypto::KeySession>();
            session->SetInteractive(false);
            CertStoreFile fresh(keychain.Path(), session);
            ASSERT_TRUE(fresh.Open(CertStore::Personal));
            Crypto::Certificate* cert = fresh.FindBySubject(subject);
            ASSERT_NE(cert, nullptr);
            EXPECT_EQ(UnlockCode(*cert), c.code);
            Crypto::CMSignatureOpenSSL cms;
            cms.SetSigner(cert);
            EXPECT_EQ(cms.InitSign(), c.code == 0);
            if (!window) continue;
            ASSERT_EQ(window->Requests().size(), c.prompts);
            EXPECT_EQ(window->Requests()[0].kind, Crypto::SecretRequest::Passphrase);
            EXPECT_EQ(window->Requests()[0].certificate, subject);
        }
    }
}

TEST_F(EncryptedIdentities, EachPassphraseIsAskedForOncePerSession) {
    const ScriptedPrompt window(
        {ScriptedPrompt::Give(TestPKI::kPassphrase), ScriptedPrompt::Give(TestPKI::kPassphrase)});
    const auto page = std::make_shared<Crypto::KeySession>();
    {
        CertStoreFile store(keychain.Path(), page);
        store.SetOrigin("https://example.test");
        // The PKCS#12 file whose certificates are encrypted is opened while listing.
        EXPECT_EQ(Subjects(store),
                  (std::vector<std::string>{"Pendrel Encrypted PEM Signer", "Pendrel Passphrase Signer",
                                            "Pendrel Test Signer"}));
        ASSERT_EQ(window.Requests().size(), 1u);
        EXPECT_EQ(window.Requests()[0].certificate, "b.p12");  // its certificate cannot be named yet
        EXPECT_EQ(window.Requests()[0].origin, "https://example.test");
        EXPECT_EQ(UnlockCode(*store.FindBySubject("Pendrel Passphrase Signer")), 0);  // open already
        EXPECT_EQ(UnlockCode(*store.FindBySubject("Pendrel Encrypted PEM Signer")), 0);
        EXPECT_EQ(window.Requests().size(), 2u);
    }
    CertStoreFile later(keychain.Path(), page);
    EXPECT_EQ(Subjects(later).size(), 3u);
    EXPECT_EQ(UnlockCode(*later.FindBySubject("Pendrel Encrypted PEM Signer")), 0);
    EXPECT_EQ(window.Requests().size(), 2u);  // nothing asked again in the session
}

TEST_F(EncryptedIdentities, ADeclinedPassphraseIsNotAskedForAgainInTheSession) {
    const ScriptedPrompt window({ScriptedPrompt::Cancel()});
    const auto page = std::make_shared<Crypto::KeySession>();
    CertStoreFile store(keychain.Path(), page);
    std::vector<std::string> notes;
    store.SetObserver([&](const Crypto::StoreEntry& e) {
        if (!e.offered) notes.push_back(e.note);
    });
    EXPECT_EQ(Subjects(store).size(), 2u);
    EXPECT_EQ(Subjects(store).size(), 2u);
    EXPECT_EQ(window.Requests().size(), 1u);
    ASSERT_EQ(notes.size(), 2u);
    EXPECT_EQ(notes[1], "the passphrase was not given");
    // A listing never asks.
    const auto listing = std::make_shared<Crypto::KeySession>();
    listing->SetInteractive(false);
    CertStoreFile quiet(keychain.Path(), listing);
    EXPECT_EQ(Subjects(quiet).size(), 2u);
    EXPECT_EQ(window.Requests().size(), 1u);
}

TEST(CertStoreFileTokens, TokenIdentitiesFollowTheFoldersIdentities) {
    const TestPKI& pki = TestPKI::Shared();
    TestSupport::SoftHsm hsm;
    hsm.AddToken("Pendrel Token A");
    hsm.Import("Pendrel Token A", pki.Get(TestPKI::ECSigner), "01", "ec");
    TestSupport::TempDir keychain;
    std::filesystem::create_directory(keychain.File("identities"));
    std::filesystem::copy_file(pki.Get(TestPKI::Signer).p12, keychain.File("identities/signer.p12"));
    CertStoreFile store(keychain.Path());
    ASSERT_TRUE(store.Open(CertStore::Personal));
    std::vector<std::string> found;
    for (Crypto::Certificate* cert = store.Begin(); cert != nullptr; cert = store.Next())
        found.push_back(cert->Subject() + " @" + cert->TokenLabel());
    EXPECT_EQ(found,
              (std::vector<std::string>{"Pendrel Test Signer @", "Pendrel EC Signer @Pendrel Token A"}));
    // Only the personal store lists tokens.
    ASSERT_TRUE(store.Open(CertStore::Other));
    EXPECT_EQ(store.Begin(), nullptr);
    // Searches and policies treat a token identity like any other.
    ASSERT_TRUE(store.Open(CertStore::Personal));
    store.SetOnlyPrivateKeys(true);
    store.SetKeyUsage(Crypto::KeyUsage::DigitalSignature);
    Crypto::Certificate* ec = store.FindBySubject("Pendrel EC Signer");
    ASSERT_NE(ec, nullptr);
    EXPECT_EQ(ec->TokenLabel(), "Pendrel Token A");
    EXPECT_EQ(store.FindByHash(ec->Hash())->TokenLabel(), "Pendrel Token A");
}

}  // namespace
