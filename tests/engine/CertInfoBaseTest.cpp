#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "crypto/CertStore.h"
#include "crypto/Certificate.h"
#include "crypto/openssl/CertificateOpenSSL.h"
#include "crypto/openssl/PlatformOpenSSL.h"
#include "engine/CertInfoBase.h"
#include "engine/ChooseCertDlg.h"
#include "support/LogCapture.h"
#include "support/Process.h"
#include "support/ScopedEnv.h"
#include "support/TempDir.h"
#include "support/TestPKI.h"

using TestSupport::TestPKI;

namespace {

// Answers as the test says and notes the message language it was shown in.
class RecordingChooser final : public ChooseCertDlg {
public:
    bool Show() override {
        BuildCandidates();
        ++shown;
        languageAtShow = Language();
        if (answer < 0) return false;
        SetSelectedIndex(answer);
        return true;
    }
    long answer = -1;
    int shown = 0;
    int languageAtShow = -1;
};

class TestCertInfo final : public CertInfoBase {
public:
    explicit TestCertInfo(bool withStore = true, bool withChooser = true) {
        if (withStore) SetStore(Crypto::PlatformOpenSSL().CreateCertStore());
        if (withChooser) {
            auto dialog = std::make_unique<RecordingChooser>();
            chooser = dialog.get();
            SetChooser(std::move(dialog));
        }
    }
    RecordingChooser* chooser = nullptr;
};

std::unique_ptr<Crypto::Certificate> LoadDer(const std::string& path) {
    const std::string der = TestSupport::ReadFile(path);
    return std::make_unique<Crypto::CertificateOpenSSL>(reinterpret_cast<const unsigned char*>(der.data()),
                                                        der.size());
}

// The Base64 text of hexadecimal "0a ff" bytes, by Python.
std::string HexToBase64(const std::string& hex) {
    std::string out;
    TestSupport::RunProgram(
        {"python3", "-c",
         "import base64,sys;sys.stdout.write(base64.b64encode(bytes.fromhex(sys.argv[1]))."
         "decode())",
         hex},
        &out);
    return out;
}

// Issuer display names: the first organizational unit, else organization, else common name.
const std::string kIntermediateIssuer = "Pendrel Test CA Unit";
const std::string kOtherRootIssuer = "Other Test";

std::string DisplayName(TestPKI::Id id) {
    return LoadDer(TestPKI::Shared().Get(id).certDer)->Subject();
}

class CertInfoBaseTest : public ::testing::Test {
protected:
    const TestPKI& _pki = TestPKI::Shared();
    const TestSupport::ScopedEnv _keychain{"PENDREL_KEYCHAIN", _pki.Keychain().c_str()};
    const TestSupport::ScopedEnv _passphrase{"PENDREL_KEYCHAIN_PASSPHRASE", TestPKI::kPassphrase};
};

TEST_F(CertInfoBaseTest, PolicyNamesMatchInAnyCaseAndTheFirstValueStays) {
    const struct {
        std::string name;
        std::vector<std::pair<std::string, std::string>> set;
        std::string readAs;
        std::string value;
    } cases[] = {
        {"lower-case name, value in capitals", {{"onlyprivatekeys", "YES"}}, "OnlyPrivateKeys", "YES"},
        {"second set ignored",
         {{"CheckKeyUsage", "true"}, {"CHECKKEYUSAGE", "false"}},
         "checkkeyusage",
         "true"},
        {"any other name is kept", {{"Colour", "blue"}, {"colour", "red"}}, "COLOUR", "blue"},
        {"never set", {{"CAS", "x"}}, "LANG", ""},
        {"empty value counts as set", {{"cas", ""}, {"CAS", "Pendrel Test Root CA"}}, "Cas", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TestCertInfo info;
        for (const auto& [name, value] : c.set) info.SetPolicy(name, value);
        EXPECT_EQ(info.GetPolicy(c.readAs), c.value);
    }
}

TEST_F(CertInfoBaseTest, AppliedPoliciesSetTheStoreAndResetWhatIsNotSet) {
    const struct {
        std::string name;
        std::vector<std::pair<std::string, std::string>> set;
        std::set<std::string> cas;
        int keyUsage;
        bool onlyPrivateKeys;
        bool subset;
    } cases[] = {
        {"nothing set resets the store", {}, {}, 0, false, false},
        {"yes in capitals is on", {{"onlyprivatekeys", "YES"}}, {}, 0, true, false},
        {"true then false stays on",
         {{"CheckKeyUsage", "true"}, {"CHECKKEYUSAGE", "false"}},
         {},
         2,
         false,
         false},
        {"True is on", {{"SubsetDNCompare", "True"}}, {}, 0, false, true},
        {"1 and on are off", {{"SUBSETDNCOMPARE", "1"}, {"CHECKKEYUSAGE", "on"}}, {}, 0, false, false},
        {"CAS with a trailing separator",
         {{"CAS", "Other Test Root CA;"}},
         {"Other Test Root CA"},
         0,
         false,
         false},
        {"CAS list", {{"cas", "A;;B"}}, {"A", "B"}, 0, false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TestCertInfo info;
        Crypto::CertStore& store = *info.Store();
        store.SetCAs("Stale CA");
        store.SetKeyUsage(7);
        store.SetOnlyPrivateKeys(true);
        store.SetSubsetDNCompare(true);
        store.SetCheckTimeValidity(false);
        for (const auto& [name, value] : c.set) info.SetPolicy(name, value);
        info.ApplyPolicies();
        EXPECT_EQ(store.CAs(), c.cas);
        EXPECT_EQ(store.KeyUsage(), c.keyUsage);
        EXPECT_EQ(store.OnlyPrivateKeys(), c.onlyPrivateKeys);
        EXPECT_EQ(store.SubsetDNCompare(), c.subset);
        EXPECT_FALSE(store.CheckTimeValidity()) << "not a policy";
    }
    TestCertInfo withoutStore(false, false);
    withoutStore.SetPolicy("LANG", "3");
    withoutStore.ApplyPolicies();  // nothing to apply to
    EXPECT_EQ(withoutStore.Language(), 0);
}

TEST_F(CertInfoBaseTest, LangPolicyIsTheLanguageOfTheChooser) {
    const struct {
        std::string value;
        int language;  // 0 without a number
    } cases[] = {{"2", 2},
                 {" 3", 3},
                 {"4 and more", 4},
                 {"-1", -1},
                 {"   ", 0},
                 {"abc", 0},
                 {"", 0},
                 {"+", 0},
                 {"99999999999", 2147483647},
                 {"-99999999999", -2147483648}};
    for (const auto& c : cases) {
        SCOPED_TRACE("\"" + c.value + "\"");
        TestCertInfo info;
        info.SetPolicy("lang", c.value);
        EXPECT_FALSE(info.ShowDialog());
        EXPECT_EQ(info.chooser->languageAtShow, c.language);
    }
    // Each object carries its own: another one's policy does not reach it.
    TestCertInfo german;
    german.SetPolicy("LANG", "1");
    EXPECT_FALSE(german.ShowDialog());
    TestCertInfo plain;
    EXPECT_FALSE(plain.ShowDialog());
    EXPECT_EQ(german.chooser->languageAtShow, 1);
    EXPECT_EQ(plain.chooser->languageAtShow, 0);
}

TEST_F(CertInfoBaseTest, CasPolicyLimitsTheChooserToTheNamedIssuers) {
    const auto offered = [](const std::string& cas) {
        TestCertInfo info;
        if (!cas.empty()) info.SetPolicy("CAS", cas);
        info.ShowDialog();
        std::vector<std::string> subjects;
        for (const Crypto::Certificate* cert : info.chooser->Candidates())
            subjects.push_back(cert->SubjectDN());
        return subjects;
    };
    const std::vector<std::string> untrustedOnly{_pki.Get(TestPKI::Untrusted).subjectDN};
    EXPECT_EQ(offered(kOtherRootIssuer + ";"), untrustedOnly);
    EXPECT_EQ(offered(kOtherRootIssuer), untrustedOnly);
    EXPECT_EQ(offered("No Such CA;" + kOtherRootIssuer), untrustedOnly);
    EXPECT_TRUE(offered("Other Test Root CA").empty()) << "the issuer's display name, not its common name";
    EXPECT_TRUE(offered("No Such CA").empty());
    EXPECT_GT(offered(";").size(), untrustedOnly.size()) << "no names: every issuer";
    EXPECT_EQ(offered(";"), offered(""));
}

TEST_F(CertInfoBaseTest, LoadingFillsTheTextsFromTheCertificate) {
    for (const TestPKI::Id id :
         {TestPKI::Signer, TestPKI::LeadingZeroSerial, TestPKI::NoCommonName, TestPKI::ExpiringSoon}) {
        const TestSupport::PKICert& expected = _pki.Get(id);
        SCOPED_TRACE(expected.name);
        TestCertInfo info;
        {
            auto cert = LoadDer(expected.certDer);
            cert->Validate(false);
            info.LoadCertificate(cert.get());
            EXPECT_EQ(info.Status(), cert->Status());
            EXPECT_EQ(info.Error(), cert->Error());
        }  // the source is gone: the held copy stays
        EXPECT_EQ(info.Hash(), expected.sha1Hex);
        EXPECT_EQ(info.Hash64(), HexToBase64(expected.sha1Hex));
        EXPECT_EQ(info.Serial(), expected.serialHex);
        EXPECT_EQ(info.SubjectDN(), expected.subjectDN);
        ASSERT_NE(info.GetCertificate(), nullptr);
        EXPECT_EQ(info.GetCertificate()->SubjectDN(), expected.subjectDN);
        EXPECT_EQ(info.GetCertificate()->Status(), info.Status());
        EXPECT_EQ(info.Subject(), info.GetCertificate()->Subject());
        EXPECT_EQ(info.Issuer(), kIntermediateIssuer);

        info.LoadCertificate(nullptr);  // changes nothing
        EXPECT_EQ(info.SubjectDN(), expected.subjectDN);
        EXPECT_NE(info.GetCertificate(), nullptr);
    }
}

TEST_F(CertInfoBaseTest, SearchUsesHashFirstThenIssuerAndSerialThenNames) {
    const TestSupport::PKICert& signer = _pki.Get(TestPKI::Signer);
    const TestSupport::PKICert& soon = _pki.Get(TestPKI::ExpiringSoon);
    const std::string intermediate = kIntermediateIssuer;
    // what issuer alone finds: the first identity of that issuer that passes the policies
    std::string firstOfIssuer;
    {
        const auto store = Crypto::PlatformOpenSSL().CreateCertStore();
        store->Open(Crypto::CertStore::Personal);
        firstOfIssuer = store->FindByIssuer(intermediate)->SubjectDN();
    }
    ASSERT_NE(firstOfIssuer, soon.subjectDN);
    std::string colonHash = signer.sha1Hex;
    for (char& ch : colonHash) ch = ch == ' ' ? ':' : ch;

    const struct {
        std::string name;
        std::string hash, hash64, issuer, serial, subject;
        std::string found;  // subject DN, empty for none
    } cases[] = {
        {"hash64 only", "", HexToBase64(soon.sha1Hex), "", "", "", soon.subjectDN},
        {"hash wins over hash64", signer.sha1Hex, HexToBase64(soon.sha1Hex), "", "", "", signer.subjectDN},
        {"hash with colons", colonHash, "", "", "", "", signer.subjectDN},
        {"a hash that does not decode gives way to hash64", "zz yy", HexToBase64(soon.sha1Hex), "", "", "",
         soon.subjectDN},
        {"issuer and serial", "", "", intermediate, soon.serialHex, "", soon.subjectDN},
        {"issuer and an unknown serial fall back to issuer", "", "", intermediate, "01 02 03", "",
         firstOfIssuer},
        {"subject alone", "", "", "", "", DisplayName(TestPKI::Untrusted),
         _pki.Get(TestPKI::Untrusted).subjectDN},
        {"a root is not a personal certificate", _pki.Get(TestPKI::Root).sha1Hex, "", "", "", "", ""},
        {"an expired identity is not found", _pki.Get(TestPKI::Expired).sha1Hex, "", "", "", "", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TestCertInfo info;
        info.SetHash(c.hash);
        info.SetHash64(c.hash64);
        info.SetIssuer(c.issuer);
        info.SetSerial(c.serial);
        info.SetSubject(c.subject);
        const std::string& expected = c.found;
        EXPECT_EQ(info.Search(), !expected.empty());
        if (expected.empty()) {
            EXPECT_EQ(info.GetCertificate(), nullptr);
            EXPECT_EQ(info.Hash(), c.hash);
            continue;
        }
        ASSERT_NE(info.GetCertificate(), nullptr);
        EXPECT_EQ(info.GetCertificate()->SubjectDN(), expected);
        EXPECT_EQ(info.SubjectDN(), expected);
        EXPECT_TRUE(info.GetCertificate()->HasPrivateKey());
    }
}

TEST_F(CertInfoBaseTest, ASearchThatFindsNothingKeepsTheTextsButDropsTheCertificate) {
    const TestSupport::PKICert& signer = _pki.Get(TestPKI::Signer);
    TestCertInfo info;
    info.SetHash(signer.sha1Hex);
    ASSERT_TRUE(info.Search());
    const std::string hash64 = info.Hash64();

    // every criterion misses (the loaded texts would otherwise find the signer again)
    const std::string rootHash = _pki.Get(TestPKI::Root).sha1Hex;
    info.SetHash(rootHash);
    info.SetSerial("01 02 03");
    info.SetIssuer("No Such CA");
    info.SetSubject("Nobody");
    EXPECT_FALSE(info.Search());
    EXPECT_EQ(info.GetCertificate(), nullptr);
    EXPECT_EQ(info.Subject(), "Nobody");
    EXPECT_EQ(info.Issuer(), "No Such CA");
    EXPECT_EQ(info.Serial(), "01 02 03");
    EXPECT_EQ(info.Hash(), rootHash);
    EXPECT_EQ(info.Hash64(), hash64);
    EXPECT_EQ(info.SubjectDN(), signer.subjectDN);

    TestCertInfo withoutStore(false, false);
    withoutStore.SetHash(signer.sha1Hex);
    EXPECT_FALSE(withoutStore.Search());
}

TEST_F(CertInfoBaseTest, TheChooserPicksACertificateAndACancelKeepsThePreviousOne) {
    TestCertInfo info;
    info.chooser->answer = 1;
    ASSERT_TRUE(info.ShowDialog());
    ASSERT_GE(info.chooser->Candidates().size(), 2u);
    const Crypto::Certificate* chosen = info.GetCertificate();
    ASSERT_NE(chosen, nullptr);
    const std::string chosenDN = info.chooser->Candidates()[1]->SubjectDN();
    EXPECT_EQ(chosen->SubjectDN(), chosenDN);
    EXPECT_EQ(info.SubjectDN(), chosenDN);

    info.chooser->answer = -1;  // cancelled
    EXPECT_FALSE(info.ShowDialog());
    EXPECT_EQ(info.GetCertificate(), chosen);
    EXPECT_EQ(info.SubjectDN(), chosenDN);
    EXPECT_EQ(info.chooser->Stores().size(), 1u) << "the store is listed once";

    info.chooser->answer = 1000;  // an index outside the list
    EXPECT_FALSE(info.ShowDialog());
    EXPECT_EQ(info.GetCertificate(), nullptr);
    EXPECT_EQ(info.chooser->shown, 3);

    TestCertInfo noChooser(true, false);
    EXPECT_FALSE(noChooser.ShowDialog());
    TestCertInfo noStore(false, true);
    EXPECT_FALSE(noStore.ShowDialog());
    EXPECT_EQ(noStore.chooser->shown, 0);
}

TEST_F(CertInfoBaseTest, TheHeldCertificateOutlivesItsStoreAndKeepsItsKey) {
    std::shared_ptr<Crypto::Certificate> kept;
    TestCertInfo info;
    {
        auto store = Crypto::PlatformOpenSSL().CreateCertStore();
        store->Open(Crypto::CertStore::Personal);
        std::vector<unsigned char> hash;
        Crypto::Certificate::HexToByteBuffer(_pki.Get(TestPKI::Signer).sha1Hex, hash);
        info.LoadCertificate(store->FindByHash(hash));
        kept = info.SharedCertificate();
    }
    ASSERT_NE(info.GetCertificate(), nullptr);
    EXPECT_TRUE(info.GetCertificate()->HasPrivateKey());
    EXPECT_EQ(info.GetCertificate()->SubjectDN(), _pki.Get(TestPKI::Signer).subjectDN);
    info.LoadCertificate(LoadDer(_pki.Get(TestPKI::Root).certDer).get());  // replaced
    EXPECT_EQ(kept->SubjectDN(), _pki.Get(TestPKI::Signer).subjectDN) << "a shared holder keeps its copy";
}

TEST_F(CertInfoBaseTest, DestructionLogsItsLine) {
    const TestSupport::LogCapture log;
    char line[64];
    {
        TestCertInfo info;
        std::snprintf(line, sizeof line, "*** Destructor, object %p", static_cast<void*>(&info));
        info.ShowDialog();
    }
    if (log.Active()) {
        EXPECT_TRUE(log.Has("~CertInfoBase", line));
    }
}

}  // namespace
