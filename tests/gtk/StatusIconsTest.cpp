#include <gtest/gtest.h>

#include "gtk/StatusIcons.h"

using GtkUtil::StatusIcons;
using Icon = StatusIcons::Icon;

TEST(StatusIcons, ValidityCodesPickIconAndMessage) {
    const StatusIcons::MessageIds ids{131, 132, 133};
    const struct {
        int code;
        bool shown;
        Icon icon;
        int message;
    } cases[] = {{0, true, Icon::Ok, 131},
                 {1, true, Icon::Bad, 132},
                 {2, true, Icon::Unknown, 133},
                 {3, false, Icon::Ok, 0},
                 {-1, false, Icon::Ok, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.code);
        StatusIcons::Check check{Icon::Ok, 0};
        EXPECT_EQ(StatusIcons::ForCode(c.code, ids, check), c.shown);
        if (!c.shown) continue;
        EXPECT_EQ(check.icon, c.icon);
        EXPECT_EQ(check.messageId, c.message);
    }
}

TEST(StatusIcons, StatusCharactersAndVerifyCodesPickIconAndMessage) {
    const StatusIcons::MessageIds ids{137, 138, 138};
    const struct {
        char status;
        Icon icon;
        int message;
    } chars[] = {
        {'1', Icon::Ok, 137}, {'0', Icon::Bad, 138}, {'X', Icon::Unknown, 138}, {'\0', Icon::Unknown, 138}};
    for (const auto& c : chars) {
        SCOPED_TRACE(c.status);
        const StatusIcons::Check check = StatusIcons::ForChar(c.status, ids);
        EXPECT_EQ(check.icon, c.icon);
        EXPECT_EQ(check.messageId, c.message);
    }
    const struct {
        int code;
        char status;
    } codes[] = {{0, '1'}, {1, '0'}, {2, 'X'}, {3, 'X'}};
    for (const auto& c : codes) EXPECT_EQ(StatusIcons::SignatureChar(c.code), c.status) << c.code;
}
