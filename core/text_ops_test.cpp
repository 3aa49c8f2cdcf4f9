#include "core/text_ops.h"

#include <gtest/gtest.h>

namespace qv {
namespace {

TEST(TextMidTest, Placeholder) { EXPECT_EQ(TextMid("abcdef", 3, 2), "cd"); }

}  // namespace
}  // namespace qv
