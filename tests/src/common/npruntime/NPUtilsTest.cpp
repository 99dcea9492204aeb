#include <gtest/gtest.h>
#include <utf8.h>

#include <cmath>
#include <limits>

#include "common/npruntime/NPEngine.h"
#include "common/npruntime/NPUtils.h"
#include "support/FakeBrowser.h"
#include "support/LogCapture.h"

namespace {

class NPUtilsTest : public ::testing::Test {
protected:
    const TestSupport::LogCapture scratchLog;  // keeps the log out of the user's preferences
    void SetUp() override {
        NPEngine::ResetForTests();
        const NPNetscapeFuncs table = TestSupport::FakeBrowser::Table();
        ASSERT_TRUE(NPEngine::Init(&table));
    }
    void TearDown() override { NPEngine::ResetForTests(); }

    TestSupport::FakeBrowser browser;
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
NPVariant String(const char* text, uint32_t length) {
    NPVariant n;
    STRINGN_TO_NPVARIANT(text, length, n);
    return n;
}
NPVariant Null() {
    NPVariant n;
    NULL_TO_NPVARIANT(n);
    return n;
}
NPVariant Void() {
    NPVariant n;
    VOID_TO_NPVARIANT(n);
    return n;
}

struct IntCase {
    const char* what;
    NPVariant value;
    bool ok;
    int stored;
};

TEST_F(NPUtilsTest, NumbersBecomeIntsTruncatedTowardZeroAndAnythingElseFails) {
    const IntCase cases[] = {
        {"int32", Int(-42), true, -42},
        {"int32 max", Int(2147483647), true, 2147483647},
        {"3.9", Double(3.9), true, 3},
        {"-3.9", Double(-3.9), true, -3},
        {"-0.5", Double(-0.5), true, 0},
        {"double at the int minimum", Double(-2147483648.0), true, -2147483647 - 1},
        {"double beyond the int range", Double(3e9), false, 0},
        {"double below the int range", Double(-2147483649.0), false, 0},
        {"NaN", Double(std::nan("")), false, 0},
        {"infinity", Double(std::numeric_limits<double>::infinity()), false, 0},
        {"string \"7\"", String("7", 1), false, 0},
        {"bool", Bool(true), false, 0},
        {"null", Null(), false, 0},
        {"void", Void(), false, 0},
    };
    for (const IntCase& c : cases) {
        SCOPED_TRACE(c.what);
        int out = 12345;
        EXPECT_EQ(NPUtils::VariantToInt(&c.value, out), c.ok);
        EXPECT_EQ(out, c.stored);
    }
    int out = 9;
    EXPECT_FALSE(NPUtils::VariantToInt(nullptr, out));
    EXPECT_EQ(out, 0);
}

TEST_F(NPUtilsTest, OnlyBoolValuesBecomeBools) {
    const struct {
        const char* what;
        NPVariant value;
        bool ok;
        bool stored;
    } cases[] = {
        {"true", Bool(true), true, true},
        {"false", Bool(false), true, false},
        {"1", Int(1), false, false},
        {"1.0", Double(1.0), false, false},
        {"\"true\"", String("true", 4), false, false},
        {"null", Null(), false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        bool out = true;
        EXPECT_EQ(NPUtils::VariantToBool(&c.value, out), c.ok);
        EXPECT_EQ(out, c.stored);
    }
}

TEST_F(NPUtilsTest, StringVariantsGiveTheirStatedBytesAndOthersGiveEmptyText) {
    const char bytes[] = {'a', '\0', 'b', 'c', 'X'};  // no terminator after the stated length
    const NPVariant withNul = String(bytes, 4);
    std::string out = "old";
    NPUtils::VariantToString(&withNul, out);
    EXPECT_EQ(out, std::string("a\0bc", 4));

    const NPVariant others[] = {Int(5), Double(2.5), Bool(true), Null(), Void(), String(nullptr, 0)};
    for (const NPVariant& v : others) {
        out = "old";
        NPUtils::VariantToString(&v, out);
        EXPECT_EQ(out, "");
    }
    NPUtils::VariantToString(nullptr, out);
    EXPECT_EQ(out, "");
}

TEST_F(NPUtilsTest, StringToVariantCopiesIntoBrowserMemoryWithoutTerminator) {
    for (const std::string& text : {std::string("Grüße 😀"), std::string(), std::string("x\0y", 3)}) {
        NPVariant v;
        ASSERT_TRUE(NPUtils::StringToVariant(text, &v));
        ASSERT_TRUE(NPVARIANT_IS_STRING(v));
        EXPECT_EQ(v.value.stringValue.UTF8Length, text.size());
        EXPECT_EQ(std::string(v.value.stringValue.UTF8Characters, v.value.stringValue.UTF8Length), text);
        EXPECT_EQ(browser.OpenAllocations(), 1);  // the browser frees it
        NPN_ReleaseVariantValue(&v);
        EXPECT_EQ(browser.OpenAllocations(), 0);
    }
}

TEST_F(NPUtilsTest, WideTextTravelsAsUtf8) {
    // "é" (2 bytes), "€" (3 bytes), U+1F600 (4 bytes, a surrogate pair in wide text)
    const std::string utf8 = "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80";
    const std::wstring utf16 = {0xE9, 0x20AC, 0xD83D, 0xDE00};
    const NPVariant in = String(utf8.data(), static_cast<uint32_t>(utf8.size()));
    std::wstring wide;
    NPUtils::VariantToWString(&in, wide);
    EXPECT_EQ(wide, utf16);

    NPVariant out;
    ASSERT_TRUE(NPUtils::WStringToVariant(utf16, &out));
    EXPECT_EQ(std::string(out.value.stringValue.UTF8Characters, out.value.stringValue.UTF8Length), utf8);
    NPN_ReleaseVariantValue(&out);
}

TEST_F(NPUtilsTest, MalformedUtf8IsReportedByException) {
    const std::string bad = "ab\xC3";  // cut in the middle of a character
    const NPVariant in = String(bad.data(), static_cast<uint32_t>(bad.size()));
    std::wstring wide;
    EXPECT_THROW(NPUtils::VariantToWString(&in, wide), utf8::exception);
}

TEST_F(NPUtilsTest, IdentifiersBecomeUpperCaseNamesAndTheBrowserCopyIsFreed) {
    std::string name;
    NPUtils::NPIdentifierToString(browser.StringId("createPropObject"), name);
    EXPECT_EQ(name, "CREATEPROPOBJECT");
    NPUtils::NPIdentifierToString(browser.StringId("versionnumber"), name);
    EXPECT_EQ(name, "VERSIONNUMBER");
    NPUtils::NPIdentifierToString(browser.IntId(3), name);
    EXPECT_EQ(name, "");
    EXPECT_EQ(browser.OpenAllocations(), 0);
}

TEST_F(NPUtilsTest, ObjectClassTestComparesTheClassRecord) {
    NPClass mine{};
    NPClass other{};
    NPObject object{&mine, 1};
    NPVariant v;
    OBJECT_TO_NPVARIANT(&object, v);
    EXPECT_TRUE(NPUtils::IsObjectOfClass(&v, &mine));
    EXPECT_FALSE(NPUtils::IsObjectOfClass(&v, &other));
    const NPVariant null = Null();
    EXPECT_FALSE(NPUtils::IsObjectOfClass(&null, &mine));
    EXPECT_FALSE(NPUtils::IsObjectOfClass(nullptr, &mine));

    NPVariant none;
    NPUtils::ObjectToVariant(nullptr, &none);
    EXPECT_TRUE(NPVARIANT_IS_NULL(none));  // not an object variant with a null pointer
    NPUtils::ObjectToVariant(&object, &v);
    EXPECT_TRUE(NPUtils::IsObjectOfClass(&v, &mine));
}

}  // namespace
