#include "core/text_ops.h"

#include <gtest/gtest.h>

#include <optional>
#include <vector>

namespace qv {
namespace {

// A two-byte GBK character (謀) whose second byte is the backslash (0x5C).
constexpr char kBackslashTrail[] = "\xD6\x5C";

TEST(TextSliceTest, ClampsAsDocumented) {
  struct Case {
    const char* what;
    Text got;
    Text want;
  } cases[] = {
      {"mid inside", TextMid("abcdef", 3, 2), "cd"},
      {"mid count past end", TextMid("abc", 2, 10), "bc"},
      {"mid start past end", TextMid("abc", 4, 1), ""},
      {"mid start 0", TextMid("abc", 0, 2), ""},
      {"mid count 0", TextMid("abc", 1, 0), ""},
      {"mid huge count", TextMid("abc", 3, 2147483647), "c"},
      {"left past end", TextLeft("abc", 5), "abc"},
      {"left 0", TextLeft("abc", 0), ""},
      {"left negative", TextLeft("abc", -3), ""},
      {"right -1", TextRight("abc", -1), ""},
      {"right 2", TextRight("abc", 2), "bc"},
      {"right past end", TextRight("abc", 9), "abc"},
      {"left of empty", TextLeft("", 3), ""},
  };
  for (const auto& c : cases) EXPECT_EQ(c.got, c.want) << c.what;
}

TEST(CompareTextTest, UnsignedBytewise) {
  EXPECT_EQ(CompareText("", ""), 0);
  EXPECT_EQ(CompareText("a", "a"), 0);
  EXPECT_EQ(CompareText("a", "b"), -1);
  EXPECT_EQ(CompareText("ab", "a"), 1);
  EXPECT_EQ(CompareText("\xD6", "a"), 1);  // 0xD6 is above 'a' when unsigned
}

struct FindCase {
  const char* t;
  const char* sub;
  std::optional<int> start;
  bool ignoreCase;
  int want;
};

TEST(FindTextTest, Table) {
  const FindCase cases[] = {
      {"abcabc", "bc", std::nullopt, false, 2},
      {"abcabc", "bc", 3, false, 5},
      {"abcabc", "bc", 0, false, 2},
      {"abcabc", "bc", -5, false, 2},
      {"abcabc", "bc", 7, false, -1},
      {"abcabc", "bc", 6, false, -1},
      {"ABC", "b", std::nullopt, false, -1},
      {"ABC", "b", std::nullopt, true, 2},
      {"a\xC1"
       "b",
       "\xE1", std::nullopt, true, -1},  // only ASCII letters fold
      {"abc", "", std::nullopt, false, 1},
      {"abc", "", 3, false, 1},
      {"abc", "", 4, false, -1},
      {"", "", std::nullopt, false, -1},
      {"", "a", std::nullopt, false, -1},
      {"ab", "abc", std::nullopt, false, -1},
      // A two-byte character whose second byte is '\' hides it.
      {kBackslashTrail, "\\", std::nullopt, false, -1},
      {"\xD6\x5Cx\\", "\\", std::nullopt, false, 4},
      // The walk starts at the window's first byte, even inside a character.
      {"\xD6\x5C", "\\", 2, false, 2},
      // A run of high bytes: odd positions are second bytes.
      {"\xB0\xA1\xB0\xA1", "\xA1\xB0", std::nullopt, false, -1},
      {"\xB0\xA1\xB0\xA1", "\xB0\xA1", 3, false, 3},
      // Starting on a second byte shifts the pairing for the rest of the walk.
      {"\xB0\xA1\xB0\xA1", "\xB0\xA1", 2, false, -1},
      {"a\xB0\xA1\xB0\xA1", "\xB0\xA1", 3, false, -1},
      // A lead byte that ends the text is still a character boundary.
      {"ab\xD6", "\xD6", std::nullopt, false, 3},
      {"\xD6", "\xD6\xD0", std::nullopt, false, -1},
      {"xx\xD6\xD0\xD6\xD0", "\xD6\xD0", std::nullopt, false, 3},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FindText(c.t, c.sub, c.start, c.ignoreCase), c.want)
        << "t=" << c.t << " sub=" << c.sub << " start=" << c.start.value_or(-99);
  }
}

TEST(FindTextReverseTest, Table) {
  const FindCase cases[] = {
      {"a.b.c", ".", std::nullopt, false, 4},
      {"a.b.c", ".", 5, false, 4},
      {"a.b.c", ".", 4, false, 2},
      {"a.b.c", ".", 1, false, -1},
      {"a.b.c", ".", 0, false, -1},
      {"a.b.c", ".", 99, false, 4},
      {"a.b.c", "", 2, false, 1},
      {"a.b.c", "", 1, false, -1},
      {"", ".", std::nullopt, false, -1},
      {"aXbx", "x", std::nullopt, true, 4},
      {"aXbx", "X", std::nullopt, false, 2},
      {"aaaa", "aa", std::nullopt, false, 3},  // overlapping matches count
      {"abcabc", "bc", 6, false, 2},           // must end before position start
      {"\\x\xD6\x5C", "\\", std::nullopt, false, 1},
      {"\xD6\x5C", "\\", std::nullopt, false, -1},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FindTextReverse(c.t, c.sub, c.start, c.ignoreCase), c.want)
        << "t=" << c.t << " sub=" << c.sub << " start=" << c.start.value_or(-99);
  }
}

TEST(ReplaceSubtextTest, Table) {
  struct Case {
    const char* t;
    const char* find;
    const char* replacement;
    std::optional<int> start;
    std::optional<int> count;
    bool caseSensitive;
    const char* want;
  } cases[] = {
      {"aXbXc", "X", "-", std::nullopt, std::nullopt, true, "a-b-c"},
      {"aXbXc", "X", "-", std::nullopt, 1, true, "a-bXc"},
      {"aXbXc", "X", "-", 3, std::nullopt, true, "aXb-c"},
      {"aXbXc", "X", "", std::nullopt, std::nullopt, true, "abc"},
      {"axbXc", "X", "-", std::nullopt, std::nullopt, false, "a-b-c"},
      {"axbXc", "X", "-", std::nullopt, std::nullopt, true, "axb-c"},
      {"aXbXc", "", "-", std::nullopt, std::nullopt, true, "aXbXc"},
      {"aaa", "aa", "a", std::nullopt, std::nullopt, true, "aa"},
      {"aXbXc", "X", "-", std::nullopt, 0, true, "aXbXc"},
      {"aXbXc", "X", "-", std::nullopt, -1, true, "a-b-c"},
      {"aXbXc", "X", "-", 6, std::nullopt, true, "aXbXc"},
      {"aXbXc", "X", "-", -4, std::nullopt, true, "a-b-c"},
      {"", "X", "-", std::nullopt, std::nullopt, true, ""},
      {"ab", "b", "bb", std::nullopt, std::nullopt, true, "abb"},  // not searched again
      {"\xD6\x5C\\", "\\", "/", std::nullopt, std::nullopt, true, "\xD6\x5C/"},
      {"x\xD6", "\xD6", "y", std::nullopt, std::nullopt, true, "xy"},
      {"x\xD6", "q", "y", std::nullopt, std::nullopt, true, "x\xD6"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ReplaceSubtext(c.t, c.find, c.replacement, c.start, c.count, c.caseSensitive), c.want)
        << "t=" << c.t << " find=" << c.find;
  }
}

TEST(ReplaceSubtextTest, DefaultReplacementDeletes) {
  EXPECT_EQ(ReplaceSubtext("aXbXc", "X"), "abc");
}

TEST(SplitTextTest, Table) {
  struct Case {
    const char* t;
    const char* sep;
    std::optional<int> maxCount;
    std::vector<Text> want;
  } cases[] = {
      {"a,,b", ",", std::nullopt, {"a", "", "b"}},
      {",a", ",", std::nullopt, {"", "a"}},
      {"a,b,", ",", std::nullopt, {"a", "b"}},
      {"", ",", std::nullopt, {}},
      {"abc", ",", std::nullopt, {"abc"}},
      {"a,b,c", ",", 2, {"a", "b"}},
      {"a,b,c", ",", 0, {}},
      {"a,b,c", ",", -3, {}},
      {"a,b,c", ",", 9, {"a", "b", "c"}},
      {"a,b", "", std::nullopt, {"a,b"}},
      {",", ",", std::nullopt, {""}},
      {",,", ",", std::nullopt, {"", ""}},
      {"a\r\nb\r\n", "\r\n", std::nullopt, {"a", "b"}},
      {"a\r\n\r\nb", "\r\n", std::nullopt, {"a", "", "b"}},
      {"aXb", "x", std::nullopt, {"aXb"}},  // no case folding
      // A separator byte that is the second byte of a character does not split.
      {"\x81,a,b", ",", std::nullopt, {"\x81,a", "b"}},
      {"a/\xD6", "/", std::nullopt, {"a", "\xD6"}},
  };
  for (const auto& c : cases) {
    const TextArray got = SplitText(c.t, c.sep, c.maxCount);
    std::vector<Text> items(got.begin(), got.end());
    EXPECT_EQ(items, c.want) << "t=" << c.t << " sep=" << c.sep;
  }
}

TEST(SplitTextTest, DefaultSeparatorIsComma) { EXPECT_EQ(SplitText("x,y").Count(), 2); }

TEST(TrimBothEndsTest, Table) {
  struct Case {
    const char* t;
    const char* want;
  } cases[] = {
      {"  a b  ", "a b"},
      {"\ta\t", "\ta\t"},
      {"\r\na\r\n", "\r\na\r\n"},
      {"\xA1\xA1"
       "a\xA1\xA1",
       "a"},
      {" \xA1\xA1 a \xA1\xA1 ", "a"},
      {"   ", ""},
      {"", ""},
      {"a", "a"},
      {"a \xA1", "a \xA1"},  // a lone lead byte at the end is not a blank
      // "\xB0\xA1" then "\xA1 ": the walk pairs bytes, so no full-width blank.
      {"\xB0\xA1\xA1 ", "\xB0\xA1\xA1 "},
      {"\xB0\xA1\xA1\xA1", "\xB0\xA1"},
      {"a  b  c ", "a  b  c"},
  };
  for (const auto& c : cases) EXPECT_EQ(TrimBothEnds(c.t), c.want) << "t=" << c.t;
}

TEST(CaseTest, OnlyAsciiLettersChange) {
  EXPECT_EQ(ToUpperCase("abC1z"), "ABC1Z");
  EXPECT_EQ(ToLowerCase("ABc1Z"), "abc1z");
  // The second byte 0x61 ('a') of a two-byte character stays as it is.
  EXPECT_EQ(ToUpperCase("\x81\x61"
                        "a"),
            "\x81\x61"
            "A");
  EXPECT_EQ(ToLowerCase("\x81\x41"
                        "A"),
            "\x81\x41"
            "a");
  EXPECT_EQ(ToUpperCase("x\x81"), "X\x81");
  EXPECT_EQ(ToUpperCase(""), "");
}

TEST(CharTest, CodesAndBlanks) {
  EXPECT_EQ(CharCode("\xD6\xD0"), -42);
  EXPECT_EQ(CharCode("="), 61);
  EXPECT_EQ(CharCode("ab", 2), 98);
  EXPECT_EQ(CharCode("ab", 3), 0);
  EXPECT_EQ(CharCode("ab", 0), 0);
  EXPECT_EQ(CharCode(""), 0);
  EXPECT_EQ(CharFromCode(0), "");
  EXPECT_EQ(CharFromCode(256), "");
  EXPECT_EQ(CharFromCode(65), "A");
  EXPECT_EQ(CharFromCode(-42), "\xD6");
  EXPECT_EQ(BlankText(3), "   ");
  EXPECT_EQ(BlankText(0), "");
  EXPECT_EQ(BlankText(-1), "");
  EXPECT_EQ(AddressToText(nullptr), "");
  EXPECT_EQ(AddressToText("ab"), "ab");
}

}  // namespace
}  // namespace qv
