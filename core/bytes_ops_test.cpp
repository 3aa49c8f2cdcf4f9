#include "core/bytes_ops.h"

#include <gtest/gtest.h>

namespace qv {
namespace {

const Bytes kFive = {1, 2, 3, 4, 5};

TEST(BytesOpsTest, SlicesClamp) {
  EXPECT_EQ(BytesMid(kFive, 0, 2), (Bytes{1, 2}));  // start < 1 counts as 1
  EXPECT_EQ(BytesMid(kFive, -7, 2), (Bytes{1, 2}));
  EXPECT_EQ(BytesMid(kFive, 6, 1), Bytes());
  EXPECT_EQ(BytesMid(kFive, 4, 10), (Bytes{4, 5}));
  EXPECT_EQ(BytesMid(kFive, 2, 0), Bytes());
  EXPECT_EQ(BytesMid(kFive, 5, 2147483647), (Bytes{5}));
  EXPECT_EQ(BytesLeft(kFive, 2), (Bytes{1, 2}));
  EXPECT_EQ(BytesLeft(kFive, 9), kFive);
  EXPECT_EQ(BytesLeft(kFive, 0), Bytes());
  EXPECT_EQ(BlankBytes(3), (Bytes{0, 0, 0}));
  EXPECT_EQ(BlankBytes(-1), Bytes());
}

TEST(BytesOpsTest, CompareAndConcat) {
  EXPECT_TRUE(CompareBytes(Bytes(), Bytes()));
  EXPECT_FALSE(CompareBytes(ToBytes("ab"), ToBytes("abc")));
  EXPECT_FALSE(CompareBytes(ToBytes("ab"), ToBytes("ac")));
  EXPECT_TRUE(CompareBytes(ToBytes("ab"), ToBytes("ab")));
  EXPECT_EQ(ConcatBytes({Bytes{1}, Bytes(), Bytes{0, 2}}), (Bytes{1, 0, 2}));
  EXPECT_EQ(ConcatBytes({Bytes(), Bytes()}), Bytes());
}

TEST(BytesOpsTest, TextConversionsStopAtZero) {
  EXPECT_EQ(ToText(Bytes{'a', 'b', 0, 'c'}), "ab");
  EXPECT_EQ(ToText(Bytes{'a', 'b'}), "ab");
  EXPECT_EQ(ToText(Bytes{0, 'a'}), "");
  EXPECT_EQ(ToText(Bytes()), "");
  EXPECT_EQ(ToBytes(""), Bytes());
  EXPECT_EQ(ToBytes("\xD6\xD0"), (Bytes{0xD6, 0xD0}));
}

}  // namespace
}  // namespace qv
