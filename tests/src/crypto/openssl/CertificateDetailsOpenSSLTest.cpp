#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <ctime>
#include <string>
#include <vector>

#include "crypto/openssl/CertificateDetailsOpenSSL.h"
#include "crypto/openssl/CertificateOpenSSL.h"
#include "support/Process.h"
#include "support/TestPKI.h"

namespace {

using Crypto::CertificateDetails;
using Crypto::CertificateDetailsOpenSSL;
using Crypto::CertificateOpenSSL;
using TestSupport::TestPKI;

CertificateOpenSSL FromDer(const TestPKI& pki, TestPKI::Id id) {
    const std::string der = TestSupport::ReadFile(pki.Get(id).certDer);
    return CertificateOpenSSL(reinterpret_cast<const unsigned char*>(der.data()), der.size());
}

// The value after '=' of one line that `openssl x509 -noout OPTION...` prints.
std::string OpenSSLValue(const std::string& pem, const std::vector<std::string>& options) {
    std::vector<std::string> argv = {"openssl", "x509", "-in", pem, "-noout"};
    argv.insert(argv.end(), options.begin(), options.end());
    std::string output;
    EXPECT_EQ(TestSupport::RunProgram(argv, &output), 0) << output;
    while (!output.empty() && std::isspace(static_cast<unsigned char>(output.back()))) output.pop_back();
    const size_t eq = output.find('=');
    return eq == std::string::npos ? output : output.substr(eq + 1);
}

// "AB:CD:EF" as "abcdef".
std::string PlainHex(std::string text) {
    text.erase(std::remove(text.begin(), text.end(), ':'), text.end());
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// "Dec  7 17:52:00 2026 GMT" as seconds since 1970.
std::time_t GmtTime(const std::string& text) {
    std::tm t{};
    if (strptime(text.c_str(), "%b %d %H:%M:%S %Y GMT", &t) == nullptr) return -2;
    return timegm(&t);
}

// What `openssl x509 -text` names the key and its size.
std::string TextLine(const std::string& pem, const std::string& prefix) {
    std::string output;
    EXPECT_EQ(TestSupport::RunProgram({"openssl", "x509", "-in", pem, "-noout", "-text"}, &output), 0);
    const size_t at = output.find(prefix);
    if (at == std::string::npos) return std::string();
    const size_t end = output.find('\n', at);
    return output.substr(at + prefix.size(), end - at - prefix.size());
}

struct DetailsCase {
    TestPKI::Id id;
    const char* serialDecimal;
    const char* algorithmLine;  // after "Public Key Algorithm: "
    const char* keyType;
    std::vector<std::string> keyUsage;  // as the recipe of the test PKI sets it
};

const DetailsCase kCases[] = {
    {TestPKI::Signer, "4097", "rsaEncryption", "RSA", {"digitalSignature", "nonRepudiation"}},
    {TestPKI::Root, "1", "rsaEncryption", "RSA", {"keyCertSign", "cRLSign"}},
    {TestPKI::ECSigner, nullptr, "id-ecPublicKey", "EC", {"digitalSignature", "nonRepudiation"}},
    {TestPKI::DSASigner, nullptr, "dsaEncryption", "DSA", {"digitalSignature", "nonRepudiation"}},
    {TestPKI::NoKeyUsage, nullptr, "rsaEncryption", "RSA", {}},
    {TestPKI::KeyEnciphermentOnly, nullptr, "rsaEncryption", "RSA", {"keyEncipherment"}},
    {TestPKI::LeadingZeroSerial,
     "652187824516283992474259",
     "rsaEncryption",
     "RSA",
     {"digitalSignature", "nonRepudiation"}},
};

}  // namespace

TEST(CertificateDetailsOpenSSL, AgreeWithTheOpenSSLCommandLine) {
    const std::string uri = "http://127.0.0.1:9/pendrel/intermediate.crl";
    const TestPKI pki(TestPKI::Options{uri});
    for (const DetailsCase& c : kCases) {
        const TestSupport::PKICert& expected = pki.Get(c.id);
        SCOPED_TRACE(expected.name);
        const CertificateDetails d = CertificateDetailsOpenSSL::Read(FromDer(pki, c.id));
        // OpenSSL's printing orders the parts of a multi-valued name differently.
        if (c.id != TestPKI::KeyEnciphermentOnly) {
            EXPECT_EQ(d.subjectDN, expected.subjectDN);
        }
        EXPECT_EQ(d.issuerDN, expected.issuerDN);
        EXPECT_EQ(d.serialHex, PlainHex(OpenSSLValue(expected.certPem, {"-serial"})));
        if (c.serialDecimal != nullptr) {
            EXPECT_EQ(d.serialDecimal, c.serialDecimal);
        }
        EXPECT_EQ(d.sha1, PlainHex(OpenSSLValue(expected.certPem, {"-fingerprint", "-sha1"})));
        EXPECT_EQ(d.sha256, PlainHex(OpenSSLValue(expected.certPem, {"-fingerprint", "-sha256"})));
        EXPECT_EQ(d.notBefore, GmtTime(OpenSSLValue(expected.certPem, {"-startdate"})));
        EXPECT_EQ(d.notAfter, GmtTime(OpenSSLValue(expected.certPem, {"-enddate"})));
        EXPECT_EQ(TextLine(expected.certPem, "Public Key Algorithm: "), c.algorithmLine);
        EXPECT_EQ(d.keyType, c.keyType);
        EXPECT_EQ(TextLine(expected.certPem, "Public-Key: "), "(" + std::to_string(d.keyBits) + " bit)");
        EXPECT_EQ(d.keyUsage, c.keyUsage);
        // Only what the Intermediate issues carries the distribution point.
        const bool issuedByIntermediate = expected.issuerDN == pki.Get(TestPKI::Intermediate).subjectDN;
        EXPECT_EQ(d.crlDistributionPoints,
                  issuedByIntermediate ? std::vector<std::string>{uri} : std::vector<std::string>{});
    }
}

TEST(CertificateDetailsOpenSSL, UnreadableCertificateGivesEmptyDetails) {
    const unsigned char garbage[] = {0x30, 0x03, 0x02, 0x01};
    const CertificateDetails d = CertificateDetailsOpenSSL::Read(CertificateOpenSSL(garbage, sizeof garbage));
    EXPECT_EQ(d.subjectDN, "");
    EXPECT_EQ(d.serialHex, "");
    EXPECT_EQ(d.sha256, "");
    EXPECT_EQ(d.notBefore, -1);
    EXPECT_EQ(d.notAfter, -1);
    EXPECT_EQ(d.keyBits, 0);
    EXPECT_TRUE(d.keyUsage.empty());
}
