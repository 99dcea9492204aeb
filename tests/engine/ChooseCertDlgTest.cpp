#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "crypto/CertStore.h"
#include "crypto/Certificate.h"
#include "crypto/openssl/PlatformOpenSSL.h"
#include "engine/ChooseCertDlg.h"
#include "support/ScopedEnv.h"
#include "support/TestPKI.h"

namespace {

class RecordingChooser final : public ChooseCertDlg {
public:
    bool Show() override {
        BuildCandidates();
        if (_answer < 0) return false;
        SetSelectedIndex(_answer);
        return true;
    }
    long _answer = -1;
};

std::vector<std::string> Subjects(const ChooseCertDlg& dialog) {
    std::vector<std::string> subjects;
    for (const Crypto::Certificate* cert : dialog.Candidates()) subjects.push_back(cert->Subject());
    return subjects;
}

}  // namespace

TEST(ChooseCertDlg, OffersWhatPassesThePoliciesOnceAndKeepsTheList) {
    const TestSupport::TestPKI& pki = TestSupport::TestPKI::Shared();
    const TestSupport::ScopedEnv keychain("PENDREL_KEYCHAIN", pki.Keychain().c_str());
    const TestSupport::ScopedEnv passphrase("PENDREL_KEYCHAIN_PASSPHRASE", TestSupport::TestPKI::kPassphrase);
    const Crypto::PlatformOpenSSL platform;
    const auto store = platform.CreateCertStore();
    ASSERT_TRUE(store->Open(Crypto::CertStore::Personal));

    // what the store enumerates and its policies pass, in enumeration order
    std::vector<std::string> expected;
    for (Crypto::Certificate* cert = store->Begin(); cert != nullptr; cert = store->Next())
        if (store->CheckAllPolicies(cert, std::time(nullptr))) expected.push_back(cert->Subject());
    ASSERT_FALSE(expected.empty());

    RecordingChooser chooser;
    chooser.AddStore(store.get());
    EXPECT_FALSE(chooser.Show());
    EXPECT_EQ(chooser.SelectedIndex(), -1);
    EXPECT_EQ(Subjects(chooser), expected);
    // the expired signer is not offered
    const std::string expired = pki.Get(TestSupport::TestPKI::Expired).subjectDN;
    for (const Crypto::Certificate* cert : chooser.Candidates()) EXPECT_NE(cert->SubjectDN(), expired);

    // stricter policies later do not change the list built
    store->SetOnlyPrivateKeys(true);
    store->SetKeyUsage(7);
    chooser._answer = 1;
    EXPECT_TRUE(chooser.Show());
    EXPECT_EQ(chooser.SelectedIndex(), 1);
    EXPECT_EQ(Subjects(chooser), expected);
    chooser._answer = -1;
    EXPECT_FALSE(chooser.Show());
    EXPECT_EQ(chooser.SelectedIndex(), 1);
}
