#include "regex/page_regex.h"

#include <gtest/gtest.h>

namespace qv {
namespace {

TEST(PageRegexTest, LivesFromConstructionToDestruction) {
  ConstructPageRegex();
  ASSERT_TRUE(PageRegex().Create("(a)", "aa"));
  EXPECT_EQ(PageRegex().MatchCount(), 2);
  // The same instance every time.
  EXPECT_EQ(&PageRegex(), &PageRegex());
  EXPECT_TRUE(DestroyPageRegex());
  EXPECT_FALSE(DestroyPageRegex());  // exactly once

  // A new instance starts empty.
  ConstructPageRegex();
  EXPECT_EQ(PageRegex().MatchCount(), 0);
  EXPECT_EQ(PageRegex().GetPattern(), "");
  EXPECT_TRUE(DestroyPageRegex());
}

TEST(PageRegexDeathTest, UseWithoutInstanceStops) {
  EXPECT_EXIT(PageRegex(), testing::ExitedWithCode(255), "PageRegex");
  ConstructPageRegex();
  EXPECT_EXIT(ConstructPageRegex(), testing::ExitedWithCode(255), "constructed twice");
  EXPECT_TRUE(DestroyPageRegex());
}

}  // namespace
}  // namespace qv
