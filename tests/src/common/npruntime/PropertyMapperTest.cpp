#include <gtest/gtest.h>

#include "common/npruntime/NPEngine.h"
#include "common/npruntime/PropertyMapper.h"
#include "support/FakeBrowser.h"
#include "support/LogCapture.h"

namespace {

class PropertyMapperTest : public ::testing::Test {
protected:
    const TestSupport::LogCapture scratchLog;  // keeps the log out of the user's preferences
    void SetUp() override {
        NPEngine::ResetForTests();
        const NPNetscapeFuncs table = TestSupport::FakeBrowser::Table();
        ASSERT_TRUE(NPEngine::Init(&table));
        mapper.AddString("sigId", &text);
        mapper.AddWString("reason", &wide);
        mapper.AddInt("options", &number);
        mapper.AddBool("loaded", &flag);
        mapper.AddInt("nowhere", nullptr);
    }
    void TearDown() override { NPEngine::ResetForTests(); }

    std::string Read(const char* name) {
        NPVariant v;
        EXPECT_TRUE(mapper.GetProperty(std::string(name), &v));
        EXPECT_TRUE(NPVARIANT_IS_STRING(v));
        std::string out(v.value.stringValue.UTF8Characters, v.value.stringValue.UTF8Length);
        NPN_ReleaseVariantValue(&v);
        return out;
    }

    TestSupport::FakeBrowser browser;
    PropertyMapper mapper;
    std::string text = "start";
    std::wstring wide = L"start";
    int number = 77;
    bool flag = true;
};

NPVariant Int(int32_t v) {
    NPVariant n;
    INT32_TO_NPVARIANT(v, n);
    return n;
}
NPVariant Double(double v) {
    NPVariant n;
    DOUBLE_TO_NPVARIANT(v, n);
    return n;
}
NPVariant Bool(bool v) {
    NPVariant n;
    BOOLEAN_TO_NPVARIANT(v, n);
    return n;
}
NPVariant String(const char* text) {
    NPVariant n;
    STRINGZ_TO_NPVARIANT(text, n);
    return n;
}

TEST_F(PropertyMapperTest, NamesAreStoredInUpperCaseAndTheFirstRegistrationWins) {
    int second = 5;
    mapper.AddInt("OPTIONS", &second);
    EXPECT_TRUE(mapper.Has("OPTIONS"));
    EXPECT_TRUE(mapper.Has("SIGID"));
    EXPECT_FALSE(mapper.Has("sigId"));  // look-ups take the upper-case name
    NPVariant v;
    ASSERT_TRUE(mapper.GetProperty(std::string("OPTIONS"), &v));
    EXPECT_EQ(v.value.intValue, 77);
}

TEST_F(PropertyMapperTest, WritesConvertByKindAndReportFailureForWrongTypes) {
    const struct {
        const char* what;
        const char* name;
        NPVariant value;
        bool ok;
        std::string text;
        std::wstring wide;
        int number;
        bool flag;
    } cases[] = {
        {"string into string", "SIGID", String("Sig1"), true, "Sig1", L"start", 77, true},
        {"number into string clears it", "SIGID", Int(5), true, "", L"start", 77, true},
        {"UTF-8 into wide", "REASON", String("\xC3\xA9t\xC3\xA9"), true, "start", L"\u00e9t\u00e9", 77, true},
        {"bool into wide clears it", "REASON", Bool(true), true, "start", L"", 77, true},
        {"3.9 into int", "OPTIONS", Double(3.9), true, "start", L"start", 3, true},
        {"-3.9 into int", "OPTIONS", Double(-3.9), true, "start", L"start", -3, true},
        {"int32 into int", "OPTIONS", Int(24), true, "start", L"start", 24, true},
        {"\"7\" into int zeroes it", "OPTIONS", String("7"), false, "start", L"start", 0, true},
        {"false into bool", "LOADED", Bool(false), true, "start", L"start", 77, false},
        {"1 into bool stores false", "LOADED", Int(1), false, "start", L"start", 77, false},
        {"unknown name", "NOSUCH", Int(1), false, "start", L"start", 77, true},
        {"null member", "NOWHERE", Int(1), false, "start", L"start", 77, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        text = "start";
        wide = L"start";
        number = 77;
        flag = true;
        EXPECT_EQ(mapper.SetProperty(std::string(c.name), &c.value), c.ok);
        EXPECT_EQ(text, c.text);
        EXPECT_EQ(wide, c.wide);
        EXPECT_EQ(number, c.number);
        EXPECT_EQ(flag, c.flag);
    }
}

TEST_F(PropertyMapperTest, MalformedUtf8LeavesTheWideMemberAsItWas) {
    const NPVariant bad = String("ok\xE2\x82");
    EXPECT_ANY_THROW(mapper.SetProperty(std::string("REASON"), &bad));
    EXPECT_EQ(wide, L"start");
}

TEST_F(PropertyMapperTest, ReadsGiveVariantsOfTheMemberKind) {
    text = "";
    EXPECT_EQ(Read("SIGID"), "");  // empty text reads back as a zero-length string
    text = std::string("a\0b", 3);
    EXPECT_EQ(Read("SIGID"), std::string("a\0b", 3));
    wide = {0x41, 0xD83D, 0xDE00};
    EXPECT_EQ(Read("REASON"), "A\xF0\x9F\x98\x80");

    NPVariant v;
    number = -17;
    ASSERT_TRUE(mapper.GetProperty(std::string("OPTIONS"), &v));
    EXPECT_TRUE(NPVARIANT_IS_INT32(v));
    EXPECT_EQ(v.value.intValue, -17);
    ASSERT_TRUE(mapper.GetProperty(std::string("LOADED"), &v));
    EXPECT_TRUE(NPVARIANT_IS_BOOLEAN(v));
    EXPECT_TRUE(v.value.boolValue);
    EXPECT_FALSE(mapper.GetProperty(std::string("NOSUCH"), &v));
    EXPECT_FALSE(mapper.GetProperty(std::string("NOWHERE"), &v));
    EXPECT_EQ(browser.OpenAllocations(), 0);
}

TEST_F(PropertyMapperTest, IdentifierLookupIgnoresCase) {
    const NPVariant value = Int(9);
    EXPECT_TRUE(mapper.SetProperty(browser.StringId("oPtIoNs"), &value));
    EXPECT_EQ(number, 9);
    NPVariant v;
    ASSERT_TRUE(mapper.GetProperty(browser.StringId("Options"), &v));
    EXPECT_EQ(v.value.intValue, 9);
    EXPECT_FALSE(mapper.GetProperty(browser.IntId(0), &v));
}

}  // namespace
