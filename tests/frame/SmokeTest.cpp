#include "TestPaths.h"

#include <gtest/gtest.h>

TEST(Fixtures, AreReachable) { EXPECT_TRUE(std::filesystem::exists(qob::test::fixture("user.reg"))); }
