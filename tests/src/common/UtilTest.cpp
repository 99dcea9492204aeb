#include "common/Util.h"

#include <gtest/gtest.h>

TEST(Util, Placeholder) { EXPECT_TRUE(Util::IsRemoteUrl("http://x")); }
