#include <gtest/gtest.h>

#include "core/text_ops.h"

namespace qv {
namespace {

TEST(number_testX, Placeholder) { EXPECT_EQ(TextMid("abcdef", 3, 2), "cd"); }

}  // namespace
}  // namespace qv
