#include <gtest/gtest.h>

#include "pdf/XRefs.h"

namespace {

TEST(XRefs, StartsWithTheFreeObjectZeroAndKeepsTheFirstEntryOfANumber) {
    PDF::XRefs xrefs;
    xrefs.AddRef(12, 0, 900);
    xrefs.AddRef(5, 0, 100);
    xrefs.AddRef(5, 1, 500);  // ignored: 5 is already there
    xrefs.AddRef(0, 0, 42);   // ignored: the free entry stays

    const auto& entries = xrefs.Entries();
    ASSERT_EQ(entries.size(), 3u);
    auto it = entries.begin();
    EXPECT_EQ(it->first, 0);
    EXPECT_TRUE(it->second.free);
    EXPECT_EQ(it->second.gen, 65535);
    EXPECT_EQ(it->second.offset, 0);
    ++it;
    EXPECT_EQ(it->first, 5);
    EXPECT_FALSE(it->second.free);
    EXPECT_EQ(it->second.gen, 0);
    EXPECT_EQ(it->second.offset, 100);
    ++it;
    EXPECT_EQ(it->first, 12);
    EXPECT_EQ(it->second.offset, 900);
    EXPECT_EQ(xrefs.StartXRef(), 0);
}

}  // namespace
