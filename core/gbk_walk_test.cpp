#include "core/gbk_walk.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "core/text_ops.h"

namespace qv {
namespace {

// The plain walk: every character boundary from the first byte, compared in
// full. The fast search must agree with it on any input.
size_t ReferenceFind(std::string_view hay, std::string_view needle) {
  for (size_t i = 0; i < hay.size(); i += gbk::CharLength(hay, i)) {
    if (hay.size() - i >= needle.size() && hay.substr(i, needle.size()) == needle) return i;
  }
  return std::string_view::npos;
}

TEST(GbkWalkTest, AgreesWithPlainWalkOnRandomText) {
  std::mt19937 rng(1234);
  // Few distinct bytes, so matches and near-matches are frequent.
  const char alphabet[] = {'a', '\\', ':', '\x81', '\xD6', '\xA1', '\x5C', 'b'};
  std::uniform_int_distribution<int> pick(0, sizeof alphabet - 1);
  std::uniform_int_distribution<int> hayLen(0, 40);
  std::uniform_int_distribution<int> needleLen(1, 3);
  for (int round = 0; round < 20000; ++round) {
    std::string hay, needle;
    for (int i = hayLen(rng); i > 0; --i) hay += alphabet[pick(rng)];
    for (int i = needleLen(rng); i > 0; --i) needle += alphabet[pick(rng)];
    ASSERT_EQ(gbk::FindAtBoundary(hay, 0, needle, false), ReferenceFind(hay, needle))
        << "round " << round;
  }
}

TEST(GbkWalkTest, LongRunsOfTwoByteCharactersStayCorrect) {
  // 100,000 characters whose second byte is 'a': a search for "a" must not
  // match any of them, and must find the real one at the end.
  std::string hay;
  for (int i = 0; i < 100000; ++i)
    hay +=
        "\x81"
        "a";
  EXPECT_EQ(FindText(hay, "a"), -1);
  hay += "a";
  EXPECT_EQ(FindText(hay, "a"), static_cast<int>(hay.size()));
  EXPECT_EQ(FindText(hay, "A", std::nullopt, true), static_cast<int>(hay.size()));
}

}  // namespace
}  // namespace qv
