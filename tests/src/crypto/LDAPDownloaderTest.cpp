#include <gtest/gtest.h>

#include <boost/thread/thread.hpp>
#include <chrono>
#include <future>
#include <memory>
#include <string>
#include <vector>

#include "crypto/LDAPDownloader.h"
#include "support/HttpServer.h"
#include "support/LogCapture.h"
#include "support/Loopback.h"
#include "support/ScopedEnv.h"
#include "support/SlapdServer.h"
#include "support/TempDir.h"
#include "support/TestCrl.h"

namespace {

using TestSupport::SlapdServer;

std::string Bytes(const std::vector<unsigned char>& data) {
    return std::string(data.begin(), data.end());
}

// One directory for the whole suite: starting slapd is the slow part.
class LDAPDownloaderTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (!SlapdServer::Available()) return;
        _dir = std::make_unique<TestSupport::TempDir>();
        _crl = std::make_unique<TestSupport::TestCrl>(TestSupport::MakeTestCrl(*_dir));
        _server = std::make_unique<SlapdServer>(std::vector<SlapdServer::Entry>{
            {"cn=der,cn=crls", {_crl->der}},
            {"cn=pem,cn=crls", {_crl->pem}},
            {"cn=two,cn=crls", {_crl->der, _crl->pem}},
            {"cn=opaque,cn=crls", {"not a revocation list"}},
            {"cn=holder,cn=crls", {}},
            {"cn=child,cn=holder,cn=crls", {_crl->der}},
        });
    }
    static void TearDownTestSuite() {
        _server.reset();
        _crl.reset();
        _dir.reset();
    }
    void SetUp() override {
        if (!_server) GTEST_SKIP() << "slapd is not installed";
    }

    static std::unique_ptr<TestSupport::TempDir> _dir;
    static std::unique_ptr<TestSupport::TestCrl> _crl;
    static std::unique_ptr<SlapdServer> _server;
};
std::unique_ptr<TestSupport::TempDir> LDAPDownloaderTest::_dir;
std::unique_ptr<TestSupport::TestCrl> LDAPDownloaderTest::_crl;
std::unique_ptr<SlapdServer> LDAPDownloaderTest::_server;

struct SearchCase {
    std::string rest;  // after "ldap://127.0.0.1:<port>/"
    bool ok;
    std::string expected;  // "der", or the bytes themselves
};

TEST_F(LDAPDownloaderTest, ReadsTheListOfTheEntryTheUrlNames) {
    const SearchCase cases[] = {
        // no query: the base object itself
        {"cn=der,cn=crls", true, "der"},
        // PEM text stored in the directory is delivered as DER
        {"cn=pem,cn=crls", true, "der"},
        // a value that is not a list is handed on as it is, for the caller to reject
        {"cn=opaque,cn=crls", true, "not a revocation list"},
        // two values: which one is meant cannot be told
        {"cn=two,cn=crls", false, ""},
        // entries without the attribute, or none at all
        {"cn=holder,cn=crls", false, ""},
        {"cn=missing,cn=crls", false, ""},
        {"", false, ""},
        // escapes in the base DN are decoded
        {"cn%3Dder%2Ccn%3Dcrls", true, "der"},
        // scopes, in any case: a base entry without children has nothing one level down
        {"cn=der,cn=crls?certificateRevocationList?base", true, "der"},
        {"cn=der,cn=crls?certificateRevocationList?ONE", false, ""},
        {"cn=der,cn=crls?certificateRevocationList?SUB", true, "der"},
        {"cn=holder,cn=crls?certificateRevocationList?one", true, "der"},
        {"cn=holder,cn=crls?certificateRevocationList?One?(objectClass=*)", true, "der"},
        {"cn=holder,cn=crls?certificateRevocationList?BASE", false, ""},
        // an unknown scope searches the base object
        {"cn=holder,cn=crls?certificateRevocationList?children", false, ""},
        {"cn=der,cn=crls?certificateRevocationList?children", true, "der"},
        // attribute list alone: still the base object
        {"cn=holder,cn=crls?certificateRevocationList", false, ""},
    };
    for (const SearchCase& c : cases) {
        const std::string url = _server->Url(c.rest);
        SCOPED_TRACE(url);
        std::vector<unsigned char> der = {'o', 'l', 'd'};
        EXPECT_EQ(Crypto::LDAPDownloader::Download(url, der), c.ok);
        if (c.ok) {
            EXPECT_EQ(Bytes(der), c.expected == "der" ? _crl->der : c.expected);
        }
    }
}

TEST_F(LDAPDownloaderTest, SchemeIsComparedWithoutRegardToCaseAndOnlyLdapIsTaken) {
    const std::string hostPort = "127.0.0.1:" + std::to_string(_server->Port());
    const std::pair<std::string, bool> cases[] = {
        {"ldap://" + hostPort + "/cn=der,cn=crls", true},  {"LDAP://" + hostPort + "/cn=der,cn=crls", true},
        {"LdAp://" + hostPort + "/cn=der,cn=crls", true},  {"ldaps://" + hostPort + "/cn=der,cn=crls", false},
        {"http://" + hostPort + "/cn=der,cn=crls", false}, {"cn=der,cn=crls", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.first);
        const TestSupport::LogCapture log;
        std::vector<unsigned char> der;
        EXPECT_EQ(Crypto::LDAPDownloader::Download(c.first, der), c.second);
        if (log.Active()) {
            EXPECT_TRUE(log.Contains("Downloading LDAP CRL " + c.first));
            EXPECT_EQ(log.Contains("Not a ldap URL\n"), !c.second);
        }
    }
}

TEST_F(LDAPDownloaderTest, PemValueIsLoggedAsDecoded) {
    const TestSupport::LogCapture log;
    std::vector<unsigned char> der;
    ASSERT_TRUE(Crypto::LDAPDownloader::Download(_server->Url("cn=pem,cn=crls"), der));
    if (log.Active()) {
        EXPECT_TRUE(log.Contains("PEM CRL downloaded with LDAP, decoding..."));
        EXPECT_TRUE(
            log.Contains("Port: " + std::to_string(_server->Port()) + "\nPath: cn=pem,cn=crls\nQuery: \n"));
    }
}

// Failures that need no directory server.
TEST(LDAPDownloader, RefusesUnusableUrlsAndSurvivesServersThatRefuseOrClose) {
    TestSupport::HttpServer closing(TestSupport::HttpServer::Mode::CloseAtOnce);
    const int freePort = TestSupport::FreeLoopbackPort();
    struct Case {
        std::string url;
        std::string logLine;
    } cases[] = {
        {"ldap:///cn=x", "LDAP URI parsing failed!\n"},  // no host: not whatever the machine's default is
        {"ldap://127.0.0.1:99999/cn=x", "LDAP URI parsing failed!\n"},
        {"ldap://127.0.0.1:3x89/cn=x", "LDAP URI parsing failed!\n"},
        {"ldap://bad host/cn=x", "LDAP URI parsing failed!\n"},
        {"ldap://127.0.0.1%2Fcn=x/cn=x",
         "LDAP URI parsing failed!\n"},                              // decoded host would change the target
        {"ldap://127.0.0.1/o=a%00b", "LDAP URI parsing failed!\n"},  // a NUL would cut the base DN short
        {"ldaps://127.0.0.1/cn=x", "Not a ldap URL\n"},
        {"ldap://127.0.0.1:" + std::to_string(freePort) + "/cn=x",
         "ldap_search failed on initialization,error ["},
        {"ldap://127.0.0.1:" + std::to_string(closing.Port()) + "/cn=x", ",error ["},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.url);
        const TestSupport::LogCapture log;
        std::vector<unsigned char> der = {'k', 'e', 'p', 't'};
        EXPECT_FALSE(Crypto::LDAPDownloader::Download(c.url, der));
        EXPECT_EQ(Bytes(der), "kept");
        if (log.Active()) {
            EXPECT_TRUE(log.Contains(c.logLine)) << log.Text();
        }
    }
}

TEST(LDAPDownloader, PortDefaultsTo389) {
    const TestSupport::LogCapture log;
    std::vector<unsigned char> der;
    // Whatever listens on 389 here (normally nothing), the port is the one logged.
    Crypto::LDAPDownloader::Download("ldap://127.0.0.1/cn=x,o=y?certificateRevocationList?sub", der);
    if (!log.Active()) GTEST_SKIP() << "the log is switched off";
    EXPECT_TRUE(
        log.Contains("Server: 127.0.0.1\nPort: 389\nPath: cn=x,o=y\nQuery: certificateRevocationList?sub"))
        << log.Text();
}

TEST(LDAPDownloader, InterruptEndsTheWaitForASilentServer) {
    TestSupport::HttpServer silent(TestSupport::HttpServer::Mode::Silent);
    const std::string url = "ldap://127.0.0.1:" + std::to_string(silent.Port()) + "/cn=x";
    auto task = std::make_shared<std::packaged_task<bool()>>([url] {
        std::vector<unsigned char> der;
        return Crypto::LDAPDownloader::Download(url, der);
    });
    std::future<bool> result = task->get_future();
    boost::thread worker([task] { (*task)(); });

    ASSERT_TRUE(silent.WaitForRequest("", std::chrono::seconds(10)));
    // Connected and waiting for an answer that never comes.
    EXPECT_EQ(result.wait_for(std::chrono::milliseconds(300)), std::future_status::timeout);
    worker.interrupt();
    ASSERT_EQ(result.wait_for(std::chrono::seconds(5)), std::future_status::ready);
    EXPECT_THROW(result.get(), boost::thread_interrupted);
    worker.join();
}

// Without an interrupt, the wait for an answer ends with the stall time.
TEST(LDAPDownloader, ASilentServerIsGivenUpAfterTheStallTime) {
    const TestSupport::ScopedEnv stall("PENDREL_NET_STALL_TIMEOUT", "0.3");
    TestSupport::HttpServer silent(TestSupport::HttpServer::Mode::Silent);
    const std::string url = "ldap://127.0.0.1:" + std::to_string(silent.Port()) + "/cn=x";
    const auto start = std::chrono::steady_clock::now();
    std::vector<unsigned char> der;
    const TestSupport::LogCapture log;
    EXPECT_FALSE(Crypto::LDAPDownloader::Download(url, der));
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_GE(took, std::chrono::milliseconds(300));
    EXPECT_LT(took, std::chrono::seconds(5));
    if (log.Active()) {
        EXPECT_TRUE(log.Contains("ldap_search timed out"));
    }
}

}  // namespace
