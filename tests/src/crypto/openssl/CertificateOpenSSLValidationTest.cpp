#include <gtest/gtest.h>

#include <ctime>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "crypto/CryptoCodes.h"
#include "crypto/openssl/CRLCache.h"
#include "crypto/openssl/CertificateOpenSSL.h"
#include "support/HttpServer.h"
#include "support/LogCapture.h"
#include "support/Process.h"
#include "support/ScopedEnv.h"
#include "support/SlapdServer.h"
#include "support/TempDir.h"
#include "support/TestIssuer.h"
#include "support/TestPKI.h"

namespace {

namespace fs = std::filesystem;
using Crypto::CertificateOpenSSL;
using TestSupport::HttpServer;
using TestSupport::IssueRequest;
using TestSupport::LogCapture;
using TestSupport::ScopedEnv;
using TestSupport::TestPKI;

CertificateOpenSSL FromBytes(const std::string& der) {
    return CertificateOpenSSL(reinterpret_cast<const unsigned char*>(der.data()), der.size());
}

CertificateOpenSSL FromPKI(const TestPKI& pki, TestPKI::Id id) {
    return FromBytes(TestSupport::ReadFile(pki.Get(id).certDer));
}

// The files of the keychain's revocation-list cache.
std::vector<std::string> CachedFiles(const TestPKI& pki) {
    std::vector<std::string> files;
    std::error_code error;
    for (fs::directory_iterator it(pki.Keychain() + "/crls", error), end; !error && it != end;
         it.increment(error))
        files.push_back(it->path().string());
    return files;
}

void ClearCache(const TestPKI& pki) {
    for (const std::string& file : CachedFiles(pki)) fs::remove(file);
}

// The time code of a certificate issued with notBefore and notAfter at
// offsets from the current second, validated within that same second (made
// again when the clock ticked meanwhile).
int TimeValidityAt(const TestPKI& pki, long notBeforeOffset, long notAfterOffset) {
    for (int attempt = 0; attempt < 10; ++attempt) {
        const std::time_t now = std::time(nullptr);
        IssueRequest request;
        request.notBefore = now + notBeforeOffset;
        request.notAfter = now + notAfterOffset;
        CertificateOpenSSL cert = FromBytes(TestSupport::IssueCertificate(pki, request));
        cert.Validate(false);
        if (std::time(nullptr) == now) return cert.TimeValidity();
    }
    return -1;
}

TEST(CertificateOpenSSLValidation, ValidityPeriodIsOpenAtBothEndsInAnyZone) {
    const TestPKI& pki = TestPKI::Shared();
    const ScopedEnv keychain("PENDREL_KEYCHAIN", pki.Keychain().c_str());
    const struct {
        const char* what;
        long notBefore;
        long notAfter;
        int time;
    } cases[] = {
        {"notAfter is now: expired", -3600, 0, 1},    {"notBefore is now: not yet valid", 0, 3600, 1},
        {"one second inside the start", -1, 3600, 0}, {"one second before the end", -3600, 1, 0},
        {"ended a second ago", -3600, -1, 1},         {"starts in a second", 1, 3600, 1},
    };
    // Far east and far west of UTC: a period read as local time would be
    // shifted by up to 14 hours.
    for (const char* zone : {"UTC", "Pacific/Kiritimati", "Pacific/Pago_Pago"}) {
        const ScopedEnv tz("TZ", zone);
        ::tzset();
        for (const auto& c : cases) {
            SCOPED_TRACE(std::string(zone) + ": " + c.what);
            EXPECT_EQ(TimeValidityAt(pki, c.notBefore, c.notAfter), c.time);
        }
    }
    ::tzset();
}

TEST(CertificateOpenSSLValidation, ChainIsJudgedAgainstTheKeychainAsOpenSSLVerifyDoes) {
    const TestPKI& pki = TestPKI::Shared();
    const ScopedEnv keychain("PENDREL_KEYCHAIN", pki.Keychain().c_str());
    const struct {
        TestPKI::Id id;
        int chain;
        const char* status;
    } cases[] = {
        {TestPKI::Signer, 0, "11XX"},    {TestPKI::Intermediate, 0, "11XX"}, {TestPKI::Root, 0, "11XX"},
        {TestPKI::DSASigner, 0, "11XX"}, {TestPKI::Untrusted, 1, "10XX"},  // its root is not in the keychain
        {TestPKI::OtherRoot, 1, "10XX"}, {TestPKI::Expired, 1, "00XX"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(pki.Get(c.id).name);
        CertificateOpenSSL cert = FromPKI(pki, c.id);
        EXPECT_EQ(cert.Error(), Crypto::Code::kNotValidated);
        const LogCapture log;
        cert.Validate(false);
        EXPECT_EQ(cert.ChainValidity(), c.chain);
        EXPECT_EQ(cert.Status(), c.status);
        EXPECT_EQ(cert.CRLValidity(), 2);
        EXPECT_EQ(cert.Error(), Crypto::Code::kValidated);
        EXPECT_EQ(log.Has("Validate", "Got bad trust result 5 0x5"), c.chain == 1);
        // The openssl command, given the keychain's root and intermediate, agrees.
        const int verified = TestSupport::RunProgram(
            {"openssl", "verify", "-no-CApath", "-no-CAstore", "-CAfile", pki.Keychain() + "/roots/root.pem",
             "-untrusted", pki.Keychain() + "/certs/intermediate.pem", pki.Get(c.id).certPem});
        EXPECT_EQ(verified == 0, c.chain == 0);
    }
}

TEST(CertificateOpenSSLValidation, AnchorsAreTheKeychainRootsAndOpenSSLDefaults) {
    const TestPKI pki;
    const ScopedEnv keychain("PENDREL_KEYCHAIN", pki.Keychain().c_str());
    const TestSupport::TempDir elsewhere;
    const std::string root = elsewhere.File("root.pem");
    fs::rename(pki.Keychain() + "/roots/root.pem", root);
    TestSupport::WriteFile(elsewhere.File("no-anchors.pem"), "");
    const struct {
        const char* what;
        std::string systemAnchors;
        int chain;
    } cases[] = {
        {"root neither in roots/ nor among the defaults", elsewhere.File("no-anchors.pem"), 1},
        {"root among OpenSSL's default anchors", root, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const ScopedEnv anchors("SSL_CERT_FILE", c.systemAnchors.c_str());
        CertificateOpenSSL cert = FromPKI(pki, TestPKI::Signer);
        cert.Validate(false);
        EXPECT_EQ(cert.ChainValidity(), c.chain);
    }
    // Without the intermediate in certs/ no chain can be built.
    fs::rename(root, pki.Keychain() + "/roots/root.pem");
    fs::remove(pki.Keychain() + "/certs/intermediate.pem");
    CertificateOpenSSL cert = FromPKI(pki, TestPKI::Signer);
    cert.Validate(false);
    EXPECT_EQ(cert.Status(), "10XX");
}

TEST(CertificateOpenSSLValidation, ACachedListIsEvidenceAndDecidesWithoutDownload) {
    const TestPKI pki;  // no distribution points: a download would fail with kNoDistributionPoints
    const ScopedEnv keychain("PENDREL_KEYCHAIN", pki.Keychain().c_str());
    const struct {
        const char* what;
        std::string cachedList;
        TestPKI::Id id;
        bool checkCRL;
        const char* status;
        int error;
        const char* logLine;  // of CheckRevocationStatus, or null
    } cases[] = {
        {"revoked, evidence only", pki.RevokingCRLDer(), TestPKI::Revoked, false, "11X0", 1, nullptr},
        {"not revoked, evidence only", pki.RevokingCRLDer(), TestPKI::Signer, false, "11XX", 1, nullptr},
        {"revoked, checked", pki.RevokingCRLDer(), TestPKI::Revoked, true, "11X0", 1,
         "Certificate is REVOKED!"},
        {"not revoked, checked", pki.RevokingCRLDer(), TestPKI::Signer, true, "11X1", 1,
         "Certificate is NOT REVOKED."},
        {"empty list, checked", pki.EmptyCRLDer(), TestPKI::Revoked, true, "11X1", 1,
         "Certificate is NOT REVOKED."},
        {"stale list is no evidence", pki.StaleCRLDer(), TestPKI::Revoked, false, "11XX", 1, nullptr},
        {"stale list, so a download is tried", pki.StaleCRLDer(), TestPKI::Revoked, true, "11XX",
         Crypto::Code::kNoDistributionPoints, "CRL Download was NOT SUCCESSFULL !"},
        {"untrusted chain leaves revocation open", pki.RevokingCRLDer(), TestPKI::Untrusted, true, "10XX", 1,
         nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ClearCache(pki);
        fs::copy_file(c.cachedList, pki.Keychain() + "/crls/by-hand.crl");
        CertificateOpenSSL cert = FromPKI(pki, c.id);
        const LogCapture log;
        cert.Validate(c.checkCRL);
        EXPECT_EQ(cert.Status(), c.status);
        EXPECT_EQ(cert.Error(), c.error);
        if (c.logLine != nullptr) {
            EXPECT_TRUE(log.Has("CheckRevocationStatus", c.logLine));
        }
        const bool cacheHit = c.checkCRL && c.error == 1 && c.status[1] == '1';
        EXPECT_EQ(log.Has("CheckRevocationStatus", "The CRL was found in cache!"), cacheHit);
    }
}

TEST(CertificateOpenSSLValidation, ADownloadedListIsCheckedCachedAndFoundNextTime) {
    HttpServer http;
    const TestPKI pki(TestPKI::Options{http.Url("/ca.crl")});
    const ScopedEnv keychain("PENDREL_KEYCHAIN", pki.Keychain().c_str());
    const Crypto::CRLCache cache(pki.Keychain());
    const struct {
        const char* what;
        std::string list;
        TestPKI::Id id;
        const char* status;
        const char* decision;
        std::string derFile;  // what the cache must hold
    } cases[] = {
        {"empty list", TestSupport::ReadFile(pki.EmptyCRLDer()), TestPKI::Signer, "11X1",
         "Certificate is NOT REVOKED.", pki.EmptyCRLDer()},
        {"list naming another certificate", TestSupport::ReadFile(pki.RevokingCRLDer()), TestPKI::Signer,
         "11X1", "Certificate is NOT REVOKED.", pki.RevokingCRLDer()},
        {"list naming this certificate", TestSupport::ReadFile(pki.RevokingCRLDer()), TestPKI::Revoked,
         "11X0", "Certificate is REVOKED!", pki.RevokingCRLDer()},
        {"PEM list", TestSupport::ReadFile(pki.RevokingCRLPem()), TestPKI::Revoked, "11X0",
         "Certificate is REVOKED!", pki.RevokingCRLDer()},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ClearCache(pki);
        http.Serve("/ca.crl", 200, c.list);
        const int before = http.RequestCount("/ca.crl");
        CertificateOpenSSL cert = FromPKI(pki, c.id);
        {
            const LogCapture log;
            cert.Validate(true);
            EXPECT_EQ(cert.Status(), c.status);
            EXPECT_EQ(cert.Error(), Crypto::Code::kValidated);
            EXPECT_EQ(http.RequestCount("/ca.crl"), before + 1);
            EXPECT_TRUE(log.Has("CheckRevocationStatus", "CRL Download was SUCCESSFUL"));
            EXPECT_TRUE(log.Has("CheckRevocationStatus", "CRL Signature is valid."));
            EXPECT_TRUE(log.Has("CheckRevocationStatus", c.decision));
        }
        // Cached as DER, in the issuer's one file.
        const std::vector<std::string> files = CachedFiles(pki);
        ASSERT_EQ(files.size(), 1u);
        EXPECT_EQ(TestSupport::ReadFile(files[0]), TestSupport::ReadFile(c.derFile));
        // Validated again in a row: the cached list decides the same way.
        for (int again = 0; again < 2; ++again) {
            const LogCapture log;
            cert.Validate(true);
            EXPECT_EQ(cert.Status(), c.status);
            EXPECT_EQ(cert.Error(), Crypto::Code::kValidated);
            EXPECT_TRUE(log.Has("CheckRevocationStatus", "The CRL was found in cache!"));
            EXPECT_TRUE(log.Has("CheckRevocationStatus", c.decision));
        }
        EXPECT_EQ(http.RequestCount("/ca.crl"), before + 1);
    }
}

TEST(CertificateOpenSSLValidation, AListThatCannotBeTrustedLeavesRevocationOpen) {
    HttpServer http;
    const TestPKI pki(TestPKI::Options{http.Url("/ca.crl")});
    const ScopedEnv keychain("PENDREL_KEYCHAIN", pki.Keychain().c_str());
    const std::time_t now = std::time(nullptr);
    TestSupport::CrlRequest noNextUpdate;
    noNextUpdate.thisUpdate = now - 3600;
    TestSupport::CrlRequest wrongSigner = noNextUpdate;
    wrongSigner.nextUpdate = now + 3600;
    wrongSigner.signer = TestPKI::OtherRoot;
    wrongSigner.revokedSerialsHex = {"100e"};
    const std::string good = TestSupport::ReadFile(pki.RevokingCRLDer());
    const struct {
        const char* what;
        int status;
        std::string body;
        const char* logLine;
    } cases[] = {
        {"nextUpdate passed", 200, TestSupport::ReadFile(pki.StaleCRLDer()),
         "CRL NextUpdate time is in the past ! - NOT OK!"},
        {"no nextUpdate", 200, TestSupport::IssueCRL(pki, noNextUpdate),
         "CRL NextUpdate time is in the past ! - NOT OK!"},
        {"signed by another key", 200, TestSupport::IssueCRL(pki, wrongSigner), "CRL Signature is INVALID !"},
        {"garbage", 200, "this is not a revocation list", "CRL decoding failed!"},
        {"truncated", 200, good.substr(0, good.size() - 20), "CRL decoding failed!"},
        {"empty body", 200, "", "CRL Download was NOT SUCCESSFULL !"},
        {"error page", 500, "<html>Internal error</html>", "CRL Download was NOT SUCCESSFULL !"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ClearCache(pki);
        http.Serve("/ca.crl", c.status, c.body);
        for (const TestPKI::Id id : {TestPKI::Revoked, TestPKI::Signer}) {
            CertificateOpenSSL cert = FromPKI(pki, id);
            const LogCapture log;
            cert.Validate(true);
            EXPECT_EQ(cert.Status(), "11XX");
            EXPECT_EQ(cert.CRLValidity(), 2);
            EXPECT_EQ(cert.Error(), Crypto::Code::kValidated);
            EXPECT_TRUE(log.Has("CheckRevocationStatus", c.logLine));
        }
        EXPECT_TRUE(CachedFiles(pki).empty());
    }
}

TEST(CertificateOpenSSLValidation, ADirectoryServesTheList) {
    if (!TestSupport::SlapdServer::Available()) GTEST_SKIP() << "slapd is not installed";
    // Lists of every test PKI verify with each other's intermediate: the keys are shared.
    TestSupport::SlapdServer ldap(
        {{"cn=ca,cn=crls", {TestSupport::ReadFile(TestPKI::Shared().RevokingCRLDer())}}});
    const TestPKI pki(TestPKI::Options{ldap.Url("cn=ca%2Ccn=crls")});  // %2C: a comma would split the entry
    const ScopedEnv keychain("PENDREL_KEYCHAIN", pki.Keychain().c_str());
    CertificateOpenSSL revoked = FromPKI(pki, TestPKI::Revoked);
    revoked.Validate(true);
    EXPECT_EQ(revoked.Status(), "11X0");
    EXPECT_EQ(CachedFiles(pki).size(), 1u);
    CertificateOpenSSL signer = FromPKI(pki, TestPKI::Signer);
    const LogCapture log;
    signer.Validate(true);
    EXPECT_EQ(signer.Status(), "11X1");
    EXPECT_TRUE(log.Has("CheckRevocationStatus", "The CRL was found in cache!"));
}

TEST(CertificateOpenSSLValidation, ErrorTakesTheCodeOfAFailedDownload) {
    const TestPKI& pki = TestPKI::Shared();
    const ScopedEnv keychain("PENDREL_KEYCHAIN", pki.Keychain().c_str());
    const std::time_t now = std::time(nullptr);
    const auto issued = [&](const std::string& extensions, const std::string& sections) {
        IssueRequest request;
        request.notBefore = now - 3600;
        request.notAfter = now + 3600;
        request.extensions = extensions;
        request.sections = sections;
        return TestSupport::IssueCertificate(pki, request);
    };
    const struct {
        const char* what;
        std::string der;
        bool checkCRL;
        int error;
        bool downloadTried;
    } cases[] = {
        {"no distribution point", TestSupport::ReadFile(pki.Get(TestPKI::Signer).certDer), true,
         Crypto::Code::kNoDistributionPoints, true},
        {"only a directory name",
         issued("crlDistributionPoints = dirName:dir_sect", "[dir_sect]\nCN = Directory Only"), true,
         Crypto::Code::kNoURI, true},
        {"every point fails", issued("crlDistributionPoints = URI:http://127.0.0.1:1/ca.crl", ""), true, 1,
         true},
        {"not asked to check",
         issued("crlDistributionPoints = dirName:dir_sect", "[dir_sect]\nCN = Directory Only"), false, 1,
         false},
        {"untrusted: no download", TestSupport::ReadFile(pki.Get(TestPKI::Untrusted).certDer), true, 1,
         false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        CertificateOpenSSL cert = FromBytes(c.der);
        const LogCapture log;
        cert.Validate(c.checkCRL);
        EXPECT_EQ(cert.Error(), c.error);
        EXPECT_EQ(cert.CRLValidity(), 2);
        EXPECT_EQ(cert.Status()[3], 'X');
        EXPECT_EQ(log.Has("CheckRevocationStatus", "CRL Download was NOT SUCCESSFULL !"), c.downloadTried);
    }
}

}  // namespace
