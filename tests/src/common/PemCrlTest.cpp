#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/PemCrl.h"
#include "support/TempDir.h"
#include "support/TestCrl.h"

namespace {

std::vector<unsigned char> Decode(const std::string& text) {
    return Util::DecodePemCrl(reinterpret_cast<const unsigned char*>(text.data()), text.size());
}
bool IsPem(const std::string& text) {
    return Util::IsPemCrl(reinterpret_cast<const unsigned char*>(text.data()), text.size());
}
std::string Bytes(const std::vector<unsigned char>& data) {
    return std::string(data.begin(), data.end());
}

std::string Replace(std::string text, const std::string& from, const std::string& to) {
    for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

TEST(PemCrl, DecodesTheListTheOpensslCommandWrote) {
    const TestSupport::TempDir dir;
    const TestSupport::TestCrl crl = TestSupport::MakeTestCrl(dir);
    ASSERT_FALSE(crl.der.empty());
    const std::string body = crl.pem.substr(25, crl.pem.size() - 49);

    const std::pair<const char*, std::string> cases[] = {
        {"as written", crl.pem},
        {"CRLF line ends", Replace(crl.pem, "\n", "\r\n")},
        {"no final line end", crl.pem.substr(0, crl.pem.size() - 1)},
        {"text after the end line", crl.pem + "trailing words\n"},
        {"Base64 in one line",
         "-----BEGIN X509 CRL-----\n" + Replace(body, "\n", "") + "\n-----END X509 CRL-----\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.first);
        EXPECT_TRUE(IsPem(c.second));
        EXPECT_EQ(Bytes(Decode(c.second)), crl.der);
    }
    // Without the end line the last 24 bytes are left out, as for a list whose
    // end line was cut away in transport: the Base64 before them still decodes.
    const std::string cut = crl.pem.substr(0, crl.pem.size() - 23) + "########################";
    EXPECT_EQ(Bytes(Decode(cut)), crl.der);
}

TEST(PemCrl, RecognisesOnlyTheCrlBeginLineAndSurvivesShortText) {
    const std::pair<std::string, bool> cases[] = {
        {"", false},
        {"-----BEGIN X509 CRL-----", false},  // no line end
        {"-----BEGIN X509 CRL-----\n", true},
        {"-----BEGIN X509 CRL-----\r\n", true},
        {"-----BEGIN X509 CRL-----\nQUJD", true},
        {"-----BEGIN X509 CRL-----\nQUJD\n-----END X509", true},  // shorter than begin and end lines together
        {"-----BEGIN CERTIFICATE-----\nQUJD\n-----END CERTIFICATE-----\n", false},
        {" -----BEGIN X509 CRL-----\n", false},
        {std::string("\x30\x82\x01\x00", 4), false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.first);
        EXPECT_EQ(IsPem(c.first), c.second);
        if (!c.second) {
            EXPECT_TRUE(Decode(c.first).empty());
        }
    }
    // Too short to hold anything once begin and end lines are taken off.
    EXPECT_TRUE(Decode("-----BEGIN X509 CRL-----\nQUJD").empty());
    EXPECT_EQ(Bytes(Decode("-----BEGIN X509 CRL-----\nQUJD\n-----END X509 CRL-----\n")), "ABC");
    EXPECT_TRUE(Util::DecodePemCrl(nullptr, 0).empty());
}

}  // namespace
