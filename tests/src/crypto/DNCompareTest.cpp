#include <gtest/gtest.h>

#include "crypto/DNCompare.h"

namespace {

using Crypto::DNCompare;

TEST(DNCompare, ComparesNamesAsSetsOfNormalisedAssertions) {
    const struct {
        const char* a;
        const char* b;
        bool subset;
        bool equal;
    } cases[] = {
        {"CN=Alice, O=Org", "o=Org;cn=Alice", false, true},
        {"OID.2.5.4.3=Alice", "CN=Alice", false, true},
        {"CN=alice", "CN=Alice", false, false},  // values keep their case
        {"O=Org", "CN=Alice,O=Org,C=DE", true, true},
        {"O=Org", "CN=Alice,O=Org,C=DE", false, false},
        {"CN=Alice,O=Org,C=DE", "O=Org", true, false},
        {"ST=Bavaria", "S=Bavaria", false, true},
        {"  cn  =  Alice  ", "CN=Alice", false, true},
        {"CN=Alice+OU=Unit", "OU=Unit,CN=Alice", false, true},  // '+' separates like ','
        {"CN=Alice\r\nO=Org", "O=Org,CN=Alice", false, true},
        {"CN=\tAlice", "CN=Alice", false, false},  // only spaces are trimmed
        // OpenSSL prints the e-mail attribute as emailAddress, which E= does not name.
        {"E=a@example.com", "emailAddress=a@example.com", false, false},
        {"CN=Doe, John", "CN=Doe", false, true},  // " John" has no '=' and adds nothing
        {"CN=Alice,CN=Alice", "CN=Alice", false, true},
        {"DC=example,DC=com", "OID.0.9.2342.19200300.100.1.25=example,OID.0.9.2342.19200300.100.1.25=com",
         false, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.a) + " vs " + c.b + (c.subset ? " (subset)" : ""));
        EXPECT_EQ(DNCompare::Instance()->CompareDNs(c.a, c.b, c.subset), c.equal);
    }
}

TEST(DNCompare, BuildSetGivesCanonicalTypes) {
    DNCompare::NameSet set;
    DNCompare::Instance()->BuildSet("CN=Alice, street = Main 1 ,Unknown=x,=y, z", set);
    const DNCompare::NameSet expected = {"OID.2.5.4.3=Alice", "OID.2.5.4.9=Main 1", "UNKNOWN=x"};
    EXPECT_EQ(set, expected);
}

TEST(DNCompare, IsDNLooksForSeparators) {
    const struct {
        const char* text;
        bool dn;
    } cases[] = {
        {"Alice Example", false}, {"CN=Alice", true}, {"Alice, Bob", true}, {"a;b", true}, {"a+b", true},
        {"line\nbreak", true},    {"", false}};
    for (const auto& c : cases) EXPECT_EQ(DNCompare::IsDN(c.text), c.dn) << c.text;
}

TEST(DNCompare, GetIssuerPrefersUnitThenOrganisationThenCommonNameThenEmail) {
    const struct {
        const char* dn;
        const char* display;
    } cases[] = {
        {"CN=CA,OU=Unit,O=Org", "Unit"},
        {"CN=CA,O=Org", "Org"},
        {"CN=CA,C=DE", "CA"},
        {"E=ca@example.com,C=DE", "ca@example.com"},
        {"C=DE", "C=DE"},  // none: the text itself
        {"Plain Name", "Plain Name"},
    };
    for (const auto& c : cases) EXPECT_EQ(DNCompare::Instance()->GetIssuer(c.dn), c.display) << c.dn;
}

TEST(DNCompare, TrimmingHelpers) {
    std::string s = "   ";
    DNCompare::RemoveLeading(s);
    EXPECT_EQ(s, "   ");  // spaces only: left alone
    s = "  a b  ";
    DNCompare::RemoveLeading(s);
    EXPECT_EQ(s, "a b  ");
    DNCompare::RemoveTrailing(s);
    EXPECT_EQ(s, "a b");
    DNCompare::ToUpper(s);
    EXPECT_EQ(s, "A B");
}

TEST(DNCompare, ReleaseMakesAFreshInstance) {
    DNCompare::Instance();
    DNCompare::Release();
    EXPECT_TRUE(DNCompare::Instance()->CompareDNs("cn=x", "CN=x", false));
}

}  // namespace
