#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <sstream>

#include "crypto/CertStore.h"
#include "crypto/openssl/KeychainListing.h"
#include "support/ScopedEnv.h"
#include "support/SoftHsm.h"
#include "support/TestPKI.h"

namespace {

using Crypto::KeychainListing;
using TestSupport::TestPKI;

// "0a ff" (OpenSSL's digest, as the test PKI keeps it) as "0A:FF".
std::string Fingerprint(std::string hex) {
    std::replace(hex.begin(), hex.end(), ' ', ':');
    for (char& c : hex) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return hex;
}

// The lines of the listing's entry titled `title` that follows `after`
// (empty when there is none).
std::string Entry(const std::string& listing, const std::string& title, const std::string& after = "") {
    const std::size_t from = after.empty() ? 0 : listing.find(after);
    if (from == std::string::npos) return std::string();
    const std::size_t start = listing.find("\n  " + title + "\n", from);
    if (start == std::string::npos) return std::string();
    const std::size_t end = listing.find("\n  ", listing.find("offered", start));
    return listing.substr(start + 1, end == std::string::npos ? std::string::npos : end - start);
}

TEST(KeychainListing, SaysWhereEachCertificateLivesAndWhyItIsOrIsNotOffered) {
    const TestPKI pki;
    TestSupport::SoftHsm hsm;
    hsm.AddToken("Pendrel Token A");
    hsm.Import("Pendrel Token A", pki.Get(TestPKI::ECSigner), "01", "ec");
    hsm.Import("Pendrel Token A", pki.Get(TestPKI::NoKeyUsage), "02", "lonely", false);
    TestSupport::WriteFile(pki.Keychain() + "/identities/00-garbage.p12", "not PKCS#12");
    const TestSupport::ScopedEnv passphrase("PENDREL_KEYCHAIN_PASSPHRASE", nullptr);
    const TestSupport::ScopedEnv noAnchors("SSL_CERT_FILE", pki.Get(TestPKI::OtherRoot).certPem.c_str());

    std::ostringstream out;
    KeychainListing(pki.Keychain()).Write(out, std::time(nullptr));
    const std::string listing = out.str();
    SCOPED_TRACE(listing);

    EXPECT_NE(listing.find("Keychain folder: " + pki.Keychain() + "\n"), std::string::npos);
    EXPECT_NE(listing.find(std::string("Token modules:   ") + TestSupport::SoftHsm::kModule + "\n"),
              std::string::npos);
    const std::string ids = pki.Keychain() + "/identities/";
    const std::string token =
        "stored in   token \"Pendrel Token A\"";  // the token's entries follow the folder's
    const struct {
        std::string title;
        std::string after;
        std::vector<std::string> lines;
    } cases[] = {
        {"Pendrel Test Signer",
         "",
         {"    SHA-1       " + Fingerprint(pki.Get(TestPKI::Signer).sha1Hex) + "\n",
          "    stored in   " + ids + "01-signer.p12\n", "    offered     yes\n",
          "    subject     " + pki.Get(TestPKI::Signer).subjectDN + "\n",
          "    issued by   " + pki.Get(TestPKI::Signer).issuerDN + "\n"}},
        {"Pendrel Encrypted PEM Signer",
         "",
         {"    offered     yes (the passphrase is asked for when signing)\n"}},
        {"Pendrel Expired", "", {"    offered     no: expired on "}},
        {"Pendrel Not Yet Valid", "", {"    offered     yes (not valid before "}},
        {"Pendrel EC Signer",
         "Pendrel Unit Without Name",
         {"    stored in   token \"Pendrel Token A\" (slot ",
          "    offered     yes (the PIN is asked for when signing)\n"}},
        {"Pendrel No Key Usage",
         token,
         {"    offered     no: no private key with the certificate's id on the token\n"}},
        {ids + "02-signer-passphrase.p12",
         "",
         {"    offered     no: its certificates are encrypted: the passphrase is needed to read them\n"}},
        {ids + "00-garbage.p12", "", {"    offered     no: not a PKCS#12 file"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.title);
        const std::string entry = Entry(listing, c.title, c.after);
        ASSERT_FALSE(entry.empty());
        for (const std::string& line : c.lines) EXPECT_NE(entry.find(line), std::string::npos) << line;
    }
    // The roots and other certificates of the folder; the system's anchors only counted.
    const std::size_t roots = listing.find("\nTrusted roots\n");
    const std::size_t others = listing.find("\nOther certificates (issuers)\n");
    ASSERT_NE(roots, std::string::npos);
    ASSERT_NE(others, std::string::npos);
    const std::string rootPart = listing.substr(roots, others - roots);
    EXPECT_NE(rootPart.find("  Pendrel Test Root CA\n"), std::string::npos);
    EXPECT_EQ(rootPart.find("Other Test Root CA"), std::string::npos);
    EXPECT_NE(rootPart.find("  and 1 trust anchors of the system\n"), std::string::npos);
    EXPECT_NE(listing.find("  Pendrel Test Intermediate CA\n", others), std::string::npos);
}

TEST(KeychainListing, TimesAreUTC) {
    EXPECT_EQ(KeychainListing::FormatTime(0), "unknown");
    EXPECT_EQ(KeychainListing::FormatTime(1'900'000'000), "2030-03-17 17:46:40 UTC");
}

}  // namespace
