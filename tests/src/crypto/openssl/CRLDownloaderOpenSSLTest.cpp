#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <vector>

#include "crypto/CRLProgressDialog.h"
#include "crypto/CryptoCodes.h"
#include "crypto/openssl/CRLDownloaderOpenSSL.h"
#include "support/ChildProcess.h"
#include "support/HttpServer.h"
#include "support/LogCapture.h"
#include "support/ScopedEnv.h"
#include "support/SlapdServer.h"
#include "support/TempDir.h"
#include "support/TestCrl.h"

using Crypto::CRLDownloaderOpenSSL;
using Crypto::CRLStatusItem;
using TestSupport::HttpServer;
using TestSupport::TempDir;

namespace {

using Bytes = std::vector<unsigned char>;

Bytes ToBytes(const std::string& s) {
    return Bytes(s.begin(), s.end());
}

// A self-signed certificate made by the openssl command whose extension
// section is `extension` (empty: none); answers its DER bytes.
Bytes MakeCertificate(const TempDir& dir, const std::string& extension) {
    const std::string config = dir.File("cert.cnf");
    TestSupport::WriteFile(config,
                           "[req]\ndistinguished_name = dn\nprompt = no\n[dn]\nCN = CRL test\n"
                           "[ext]\n" +
                               extension + "\n[dir_sect]\nCN = Directory Only\n");
    std::vector<std::string> argv = {"openssl",  "req",
                                     "-x509",    "-newkey",
                                     "rsa:2048", "-nodes",
                                     "-keyout",  dir.File("key.pem"),
                                     "-out",     dir.File("cert.pem"),
                                     "-days",    "1",
                                     "-config",  config};
    if (!extension.empty()) {
        argv.push_back("-extensions");
        argv.push_back("ext");
    }
    EXPECT_EQ(TestSupport::RunCommand(argv), 0);
    EXPECT_EQ(TestSupport::RunCommand({"openssl", "x509", "-in", dir.File("cert.pem"), "-outform", "DER",
                                       "-out", dir.File("cert.der")}),
              0);
    return ToBytes(TestSupport::ReadFile(dir.File("cert.der")));
}

Bytes WithPoints(const TempDir& dir, const std::vector<std::string>& uris) {
    std::string list;
    for (const std::string& uri : uris) list += (list.empty() ? "URI:" : ",URI:") + uri;
    return MakeCertificate(dir, "crlDistributionPoints = " + list);
}

// Stands in for the progress window: the user presses cancel once the
// worker has reached the server.
class CancelOnRequest final : public Crypto::CRLProgressDialog {
public:
    CancelOnRequest(Crypto::CRLFuture& future, HttpServer& server)
        : CRLProgressDialog(future), _server(server) {}
    bool ShowDialog() override {
        _reached = _server.WaitForRequest("/silent.crl", std::chrono::seconds(10));
        return false;
    }
    static bool _reached;

private:
    HttpServer& _server;
};
bool CancelOnRequest::_reached = false;

struct FactoryReset {
    ~FactoryReset() { Crypto::CRLProgressDialog::SetFactory(nullptr); }
};

}  // namespace

TEST(CRLDownloader, FindsURIsNonLDAPFirstOrTellsWhyNot) {
    const TempDir dir;
    CRLStatusItem item;
    std::vector<std::string> urls;
    const TestSupport::LogCapture log;
    ASSERT_TRUE(CRLDownloaderOpenSSL::FindURIs(
        urls, WithPoints(dir, {"ldap://a/x", "http://b/y", "LDAP://c/z", "ftp://d/w"}), item));
    EXPECT_EQ(urls, (std::vector<std::string>{"http://b/y", "ftp://d/w", "ldap://a/x", "LDAP://c/z"}));
    EXPECT_EQ(item.code, 1);
    EXPECT_TRUE(log.Contains("FindURIs: Found new DP ldap://a/x"));

    CRLStatusItem none;
    EXPECT_FALSE(CRLDownloaderOpenSSL::FindURIs(urls, MakeCertificate(dir, ""), none));
    EXPECT_EQ(none.code, Crypto::Code::kNoDistributionPoints);
    EXPECT_TRUE(urls.empty());

    CRLStatusItem directoryOnly;
    EXPECT_FALSE(CRLDownloaderOpenSSL::FindURIs(
        urls, MakeCertificate(dir, "crlDistributionPoints = dirName:dir_sect"), directoryOnly));
    EXPECT_EQ(directoryOnly.code, Crypto::Code::kNoURI);

    CRLStatusItem garbage;
    EXPECT_FALSE(CRLDownloaderOpenSSL::FindURIs(urls, ToBytes("not a certificate"), garbage));
    EXPECT_EQ(garbage.code, 1);
}

// Points that fail, and points that would never end (a server that never
// answers, a list beyond the size cap, an endless file) given up after their
// bound, move on to the next point.
TEST(CRLDownloader, TriesEachPointUntilOneDeliversARevocationList) {
    const TestSupport::ScopedEnv stall("PENDREL_NET_STALL_TIMEOUT", "0.3");
    const TempDir dir;
    const TestSupport::TestCrl crl = TestSupport::MakeTestCrl(dir);
    HttpServer http;
    http.Serve("/error.crl", 500, "<html>Internal error</html>");
    http.Serve("/empty.crl", 200, "");
    http.Serve("/pem.crl", 200, crl.pem);
    http.Serve("/der.crl", 200, crl.der);
    http.ServeSilence("/silent.crl");
    // Sparse files at the cap and one byte beyond it: they cost no disk.
    const std::size_t cap = Crypto::CRLDownloader::kMaxCRLSize;
    const std::string atCap = dir.File("at-cap.crl");
    const std::string beyond = dir.File("beyond.crl");
    TestSupport::WriteFile(atCap, "");
    TestSupport::WriteFile(beyond, "");
    ASSERT_EQ(::truncate(atCap.c_str(), static_cast<off_t>(cap)), 0);
    ASSERT_EQ(::truncate(beyond.c_str(), static_cast<off_t>(cap) + 1), 0);

    const struct {
        const char* name;
        std::vector<std::string> uris;
        bool ok;
        std::string expected;
    } cases[] = {
        {"error page, then DER", {http.Url("/error.crl"), http.Url("/der.crl")}, true, crl.der},
        {"empty, then PEM delivered as DER", {http.Url("/empty.crl"), http.Url("/pem.crl")}, true, crl.der},
        {"missing, then file", {http.Url("/missing.crl"), "file://" + dir.File("list.crl")}, true, crl.der},
        {"every point fails", {http.Url("/error.crl"), "http://127.0.0.1:1/x.crl"}, false, ""},
        {"silent server, then DER", {http.Url("/silent.crl"), http.Url("/der.crl")}, true, crl.der},
        {"endless file, then DER", {"file:///dev/zero", http.Url("/der.crl")}, true, crl.der},
        {"beyond the cap, then DER", {"file://" + beyond, http.Url("/der.crl")}, true, crl.der},
        {"exactly the cap is still taken", {"file://" + atCap}, true, std::string(cap, '\0')},
        {"nothing that ends", {http.Url("/silent.crl"), "file:///dev/zero"}, false, ""},
    };
    TestSupport::WriteFile(dir.File("list.crl"), crl.der);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const TempDir certDir;
        CRLDownloaderOpenSSL downloader(WithPoints(certDir, c.uris));
        const CRLStatusItem item = downloader.Download();
        EXPECT_EQ(item.ok, c.ok);
        EXPECT_EQ(item.code, 1);
        ASSERT_TRUE(item.data.has_value());
        if (c.ok) {
            EXPECT_EQ(*item.data, ToBytes(c.expected));
        }
    }
}

TEST(CRLDownloader, FallsBackFromADeadHttpPointToLDAP) {
    if (!TestSupport::SlapdServer::Available()) GTEST_SKIP() << "slapd is not installed";
    const TempDir dir;
    const TestSupport::TestCrl crl = TestSupport::MakeTestCrl(dir);
    TestSupport::SlapdServer ldap({{"cn=ca,cn=crls", {crl.der}}});
    HttpServer http;
    http.Serve("/gone.crl", 404, "Not found");
    // listed LDAP first: HTTP is still tried first
    // (a comma in a URI would split the entry in the openssl configuration)
    const std::string ldapUrl = ldap.Url("cn=ca%2Ccn=crls");
    CRLDownloaderOpenSSL downloader(WithPoints(dir, {ldapUrl, http.Url("/gone.crl")}));
    const CRLStatusItem item = downloader.Download();
    EXPECT_EQ(http.RequestCount("/gone.crl"), 1);
    ASSERT_TRUE(item.ok);
    EXPECT_EQ(*item.data, ToBytes(crl.der));
    EXPECT_EQ(item.message, ldapUrl);
}

TEST(CRLDownloader, DownloadCRLWaitsForTheWorkerOrReturnsAtOnceOnCancel) {
    const FactoryReset reset;
    const TempDir dir;
    const TestSupport::TestCrl crl = TestSupport::MakeTestCrl(dir);
    HttpServer http;
    http.Serve("/der.crl", 200, crl.der);
    http.ServeSilence("/silent.crl");

    std::vector<unsigned char> out;
    int error = 0;
    EXPECT_TRUE(CRLDownloaderOpenSSL::DownloadCRL(WithPoints(dir, {http.Url("/der.crl")}), out, error));
    EXPECT_EQ(out, ToBytes(crl.der));
    EXPECT_EQ(error, 0);

    out.clear();
    EXPECT_FALSE(CRLDownloaderOpenSSL::DownloadCRL(MakeCertificate(dir, ""), out, error));
    EXPECT_EQ(error, Crypto::Code::kNoDistributionPoints);
    EXPECT_FALSE(CRLDownloaderOpenSSL::DownloadCRL(
        MakeCertificate(dir, "crlDistributionPoints = dirName:dir_sect"), out, error));
    EXPECT_EQ(error, Crypto::Code::kNoURI);
    EXPECT_FALSE(
        CRLDownloaderOpenSSL::DownloadCRL(WithPoints(dir, {"http://127.0.0.1:1/x.crl"}), out, error));
    EXPECT_EQ(error, 1);
    EXPECT_TRUE(out.empty());

    // Cancelled while the worker waits on a server that never answers: the
    // call returns at once; the worker ends at its next interruption check.
    Crypto::CRLProgressDialog::SetFactory(
        [&http](Crypto::CRLFuture& future) { return std::make_unique<CancelOnRequest>(future, http); });
    const Bytes silent = WithPoints(dir, {http.Url("/silent.crl")});
    error = 0;
    EXPECT_FALSE(CRLDownloaderOpenSSL::DownloadCRL(silent, out, error));
    EXPECT_TRUE(CancelOnRequest::_reached);
    EXPECT_TRUE(out.empty());
    EXPECT_EQ(error, 0);
}

// Without a window nobody can cancel: the wait ends with the network bounds.
TEST(CRLDownloader, DownloadCRLWithoutAWindowEndsWhenTheServerStaysSilent) {
    const FactoryReset reset;
    const TestSupport::ScopedEnv stall("PENDREL_NET_STALL_TIMEOUT", "0.3");
    const TempDir dir;
    HttpServer http;
    http.ServeSilence("/silent.crl");
    std::vector<unsigned char> out;
    int error = 0;
    EXPECT_FALSE(CRLDownloaderOpenSSL::DownloadCRL(WithPoints(dir, {http.Url("/silent.crl")}), out, error));
    EXPECT_EQ(error, 1) << "every point failed";
    EXPECT_EQ(http.RequestCount("/silent.crl"), 1);
}
