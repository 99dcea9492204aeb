#include <gtest/gtest.h>

#include <string>

#include "common/URLParser.h"

namespace {

const int kPreset = 4711;  // what the caller put into port before the call

struct ParseCase {
    std::string url;
    bool unescape;
    bool ok;
    std::string scheme, host;
    int port;
    std::string path, query;
};

const ParseCase kParseCases[] = {
    // query and fragment; no port leaves the caller's value
    {"http://example.org/a/b?q=1#x", false, true, "http", "example.org", kPreset, "/a/b", "q=1#x"},
    {"http://example.org/a?q=1", false, true, "http", "example.org", kPreset, "/a", "q=1"},
    {"http://example.org/a#frag", false, true, "http", "example.org", kPreset, "/a", "#frag"},
    {"HTTP://Example.ORG/", false, true, "HTTP", "Example.ORG", kPreset, "", ""},
    // paths: empty segments vanish, no segment gives empty text
    {"http://h", false, true, "http", "h", kPreset, "", ""},
    {"http://h//a//b/", false, true, "http", "h", kPreset, "/a/b", ""},
    // directory URLs
    {"ldap://dir.example:3389/cn=CRL1,o=Org?certificateRevocationList?sub", false, true, "ldap",
     "dir.example", 3389, "/cn=CRL1,o=Org", "certificateRevocationList?sub"},
    {"ldap://dir.example/cn%3DA%20B,o%3DC?x", true, true, "ldap", "dir.example", kPreset, "/cn=A B,o=C", "x"},
    {"ldap://dir.example/cn%3DA%20B,o%3DC?x", false, true, "ldap", "dir.example", kPreset,
     "/cn%3DA%20B,o%3DC", "x"},
    {"http://h/%41%42?%43=1#%44", true, true, "http", "h", kPreset, "/AB", "C=1#D"},
    {"http://h%2Dx/", true, true, "http", "h-x", kPreset, "", ""},
    // ports: odd but valid ones are taken, impossible ones refuse the URL
    {"http://h:0/", false, true, "http", "h", 0, "", ""},
    {"http://h:65535/", false, true, "http", "h", 65535, "", ""},
    {"http://h:00080/", false, true, "http", "h", 80, "", ""},
    {"http://h:/", false, true, "http", "h", kPreset, "", ""},
    {"http://h:65536/", false, false, "", "", kPreset, "", ""},
    {"http://h:99999999999999999999/", false, false, "", "", kPreset, "", ""},
    {"http://h:8a/", false, false, "", "", kPreset, "", ""},
    // IPv6 literal: the host without its brackets
    {"http://[::1]:8080/x", false, true, "http", "::1", 8080, "/x", ""},
    // no host
    {"file:///tmp/x.crl", false, true, "file", "", kPreset, "/tmp/x.crl", ""},
    {"ldap:///cn=x", false, true, "ldap", "", kPreset, "/cn=x", ""},
    // an empty reference is valid and has no parts
    {"", false, true, "", "", kPreset, "", ""},
    // syntax errors
    {"not a url", false, false, "", "", kPreset, "", ""},
    {"http://h/a b", false, false, "", "", kPreset, "", ""},
    {"http://h/%zz", false, false, "", "", kPreset, "", ""},
};

TEST(URLParser, SplitsUrlsIntoTheirParts) {
    for (const ParseCase& c : kParseCases) {
        SCOPED_TRACE(c.url + (c.unescape ? " (unescaped)" : ""));
        std::string scheme = "-", host = "-", path = "-", query = "-";
        int port = kPreset;
        ASSERT_EQ(URLParser::Parse(c.url, scheme, host, port, path, query, c.unescape), c.ok);
        EXPECT_EQ(port, c.port);
        if (!c.ok) continue;
        EXPECT_EQ(scheme, c.scheme);
        EXPECT_EQ(host, c.host);
        EXPECT_EQ(path, c.path);
        EXPECT_EQ(query, c.query);
    }
}

TEST(URLParser, EmbeddedNulIsASyntaxErrorAndAnEscapedNulIsKept) {
    std::string scheme, host, path, query;
    int port = 0;
    EXPECT_FALSE(URLParser::Parse(std::string("http://h/a\0b", 12), scheme, host, port, path, query, true));

    ASSERT_TRUE(URLParser::Parse("ldap://h/o=a%00b", scheme, host, port, path, query, true));
    EXPECT_EQ(path, std::string("/o=a\0b", 6));
}

TEST(URLParser, ProcessEscapesInplaceDecodesOnlyWellFormedEscapes) {
    const std::pair<std::string, std::string> cases[] = {
        {"a%20b", "a b"},   {"%41%62%2f", "Ab/"},
        {"%2F%2f", "//"},   {"", ""},
        {"plain", "plain"}, {"100%", "100%"},
        {"%2", "%2"},       {"%zz", "%zz"},
        {"a+b", "a+b"},     {"%e2%82%ac", "\xe2\x82\xac"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.first);
        std::string text = c.first;
        URLParser::ProcessEscapesInplace(text);
        EXPECT_EQ(text, c.second);
    }
}

}  // namespace
