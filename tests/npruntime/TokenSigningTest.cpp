// Signing with a token from a page and from the command line, through the
// stand-in browser and the real plug-in, with SoftHSM as the token; the
// signed copies judged by pdfsig (trust through the test root) and by the
// verify page script.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/NssDb.h"
#include "support/Process.h"
#include "support/ScopedEnv.h"
#include "support/SoftHsm.h"
#include "support/TempDir.h"
#include "support/TestPKI.h"

namespace {

using TestSupport::RunProgram;
using TestSupport::ScopedEnv;
using TestSupport::SoftHsm;
using TestSupport::TestPKI;

class TokenSigningTest : public testing::Test {
protected:
    void SetUp() override {
        // The keychain folder trusts the test root and knows its intermediate;
        // every identity is on the tokens.
        std::filesystem::create_directory(dir.File("keychain"));
        for (const char* folder : {"roots", "certs"})
            std::filesystem::copy(pki.Keychain() + "/" + folder, dir.File("keychain/") + folder,
                                  std::filesystem::copy_options::recursive);
        hsm.AddToken("Pendrel Token A");
        hsm.Import("Pendrel Token A", pki.Get(TestPKI::Signer), "01", "rsa");
        hsm.Import("Pendrel Token A", pki.Get(TestPKI::ECSigner), "02", "ec");
        hsm.Import("Pendrel Token A", pki.Get(TestPKI::SignerPem), "03", "certificate only", false);
        ASSERT_EQ(RunProgram({"python3", PENDREL_SOURCE_DIR "/scripts/make-sample.py", dir.File("sample.pdf"),
                              dir.File("seal.jpg")}),
                  0);
        ::mkdir(dir.File("tmp").c_str(), 0700);
    }

    int Host(const std::vector<std::string>& script, std::string& output) {
        std::vector<std::string> argv = {PENDREL_HOST_PROGRAM, "--plugin", PENDREL_PLUGIN_LIBRARY};
        argv.insert(argv.end(), script.begin(), script.end());
        output.clear();
        return RunProgram(argv, &output);
    }
    int Sign(const std::string& out, const std::string& subject, std::string& output) {
        return Host(
            {PENDREL_SOURCE_DIR "/scripts/sign.js", dir.File("sample.pdf"), out, "--subject", subject},
            output);
    }
    // pdfsig's report, with the test root trusted.
    std::string Pdfsig(const std::string& pdf) {
        std::string output;
        RunProgram({"pdfsig", "-nssdir", nss, pdf}, &output);
        return output;
    }

    const TestPKI& pki = TestPKI::Shared();
    TestSupport::TempDir dir;
    SoftHsm hsm;
    const std::string nss = TestSupport::MakeNssDb(dir);
    const ScopedEnv keychain{"PENDREL_KEYCHAIN", dir.File("keychain").c_str()};
    const ScopedEnv noWindows{"PENDREL_DIALOGS", "none"};
    const ScopedEnv tmp{"TMPDIR", dir.File("tmp").c_str()};
};

}  // namespace

TEST_F(TokenSigningTest, TheCommandLineSignsWithTheTokensRSAAndP256Keys) {
    const ScopedEnv pin("PENDREL_PKCS11_PIN", SoftHsm::kPin);
    for (const char* subject : {"Pendrel Test Signer", "Pendrel EC Signer"}) {
        SCOPED_TRACE(subject);
        const std::string out = dir.File(std::string(subject).substr(8, 4) + ".pdf");
        std::string output;
        ASSERT_EQ(Sign(out, subject, output), 0) << output;
        const std::string report = Pdfsig(out);
        EXPECT_NE(report.find("Signature is Valid."), std::string::npos) << report;
        EXPECT_NE(report.find("Certificate is Trusted."), std::string::npos) << report;
        EXPECT_NE(report.find(subject), std::string::npos) << report;
        ASSERT_EQ(Host({PENDREL_SOURCE_DIR "/scripts/verify.js", out}, output), 0) << output;
        EXPECT_NE(output.find(std::string("\t11") + "1"), std::string::npos)
            << output;  // time, chain, signature
        EXPECT_NE(output.find(subject), std::string::npos) << output;
    }
}

TEST_F(TokenSigningTest, FailuresOfTheTokenReachTheCommandLineAndLeaveNoCopy) {
    const struct {
        const char* what;
        const char* pin;
        const char* subject;
        const char* message;
    } cases[] = {
        {"wrong PIN", "0000", "Pendrel Test Signer", "signing failed: the token refused the PIN (error -73)"},
        {"no PIN and no window", nullptr, "Pendrel EC Signer",
         "signing failed: no passphrase or PIN for the key (no window, and the environment names none) "
         "(error -70)"},
        {"a certificate without its key on the token", SoftHsm::kPin, "Pendrel PEM Signer",
         "no signing certificate found"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const ScopedEnv pin("PENDREL_PKCS11_PIN", c.pin);
        std::string output;
        EXPECT_EQ(Sign(dir.File("failed.pdf"), c.subject, output), 1);
        EXPECT_NE(output.find(c.message), std::string::npos) << output;
        EXPECT_FALSE(TestSupport::FileExists(dir.File("failed.pdf")));
        EXPECT_TRUE(std::filesystem::is_empty(dir.File("tmp")));  // no working copy left behind
    }
}

TEST_F(TokenSigningTest, APageSignsWithTokenIdentities) {
    const ScopedEnv pin("PENDREL_PKCS11_PIN", SoftHsm::kPin);
    std::string output;
    ASSERT_EQ(Host({PENDREL_SOURCE_DIR "/tests/npruntime/scripts/tokens.js", dir.File("sample.pdf"),
                    dir.Path(), "Pendrel Test Signer", "Pendrel EC Signer", "Pendrel PEM Signer"},
                   output),
              0)
        << output;
    EXPECT_NE(output.find("Pendrel Test Signer\t1\tPendrel Test Signer 11"), std::string::npos) << output;
    EXPECT_NE(output.find("Pendrel EC Signer\t1\tPendrel EC Signer 11"), std::string::npos) << output;
    EXPECT_NE(output.find("Pendrel PEM Signer\tnot found"), std::string::npos) << output;
    for (const char* copy : {"1.pdf", "2.pdf"}) {
        const std::string report = Pdfsig(dir.File(copy));
        EXPECT_NE(report.find("Signature is Valid."), std::string::npos) << copy << report;
        EXPECT_NE(report.find("Certificate is Trusted."), std::string::npos) << copy << report;
    }
}

TEST_F(TokenSigningTest, TheKeychainCommandListsTheTokensIdentities) {
    std::string output;
    ASSERT_EQ(RunProgram({PENDREL_KEYCHAIN_PROGRAM}, &output), 0) << output;
    EXPECT_NE(output.find("Keychain folder: " + dir.File("keychain")), std::string::npos) << output;
    EXPECT_NE(output.find("stored in   token \"Pendrel Token A\""), std::string::npos) << output;
    EXPECT_NE(output.find("offered     no: no private key with the certificate's id on the token"),
              std::string::npos)
        << output;
    EXPECT_NE(output.find("  Pendrel Test Root CA\n"), std::string::npos) << output;
    EXPECT_EQ(RunProgram({PENDREL_KEYCHAIN_PROGRAM, "--help"}, &output), 2);
}
