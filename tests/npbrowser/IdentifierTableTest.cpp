#include <gtest/gtest.h>

#include "npbrowser/IdentifierTable.h"

namespace {

TEST(IdentifierTable, InternsNamesAndNumbersSeparately) {
    IdentifierTable table;
    const NPIdentifier a = table.String("alpha");
    EXPECT_EQ(table.String("alpha"), a);
    EXPECT_NE(table.String("Alpha"), a);  // names are case-sensitive to the browser
    const NPIdentifier five = table.Int(5);
    EXPECT_EQ(table.Int(5), five);
    EXPECT_NE(table.String("5"), five);
    EXPECT_TRUE(IdentifierTable::IsString(a));
    EXPECT_FALSE(IdentifierTable::IsString(five));
    EXPECT_EQ(IdentifierTable::Name(a), "alpha");
    EXPECT_EQ(IdentifierTable::Name(five), "");
    EXPECT_EQ(IdentifierTable::Number(five), 5);
    EXPECT_EQ(IdentifierTable::Number(a), 0);
    EXPECT_FALSE(IdentifierTable::IsString(nullptr));
    EXPECT_EQ(IdentifierTable::Key(table.Int(-3)), "-3");
}

TEST(IdentifierTable, ScriptKeysThatAreArrayIndexesBecomeIntegers) {
    const struct {
        const char* key;
        bool isInt;
        int32_t number;
    } cases[] = {
        {"0", true, 0},           {"7", true, 7},   {"2147483647", true, 2147483647},
        {"2147483648", false, 0}, {"07", false, 0}, {"-1", false, 0},
        {"1.5", false, 0},        {"", false, 0},   {"12345678901", false, 0},
        {"x1", false, 0},
    };
    IdentifierTable table;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.key);
        const NPIdentifier id = table.ForKey(c.key);
        EXPECT_EQ(!IdentifierTable::IsString(id), c.isInt);
        if (c.isInt) {
            EXPECT_EQ(id, table.Int(c.number));
        } else {
            EXPECT_EQ(IdentifierTable::Name(id), c.key);
        }
    }
}

}  // namespace
