#include "web/cookies.h"

#include <gtest/gtest.h>

#include <string>

namespace qv {
namespace {

struct MergeCase {
  std::string oldCookies;
  std::string newCookies;
  std::string merged;
};

TEST(MergeCookiesTest, MergesAndLeavesOldVariableHoldingTheResult) {
  const MergeCase cases[] = {
      {"a=1; b=2", "b=3; c=4", "b=3; c=4; a=1"},
      {"c=1; a=1; b=1", "b=2; z=9", "b=2; z=9; c=1; a=1"},
      {"a=1", "a=deleted", ""},
      {"a=1", "b=deleted", "a=1"},
      {"a=deleted; b=1", "", "b=1"},
      {"", "x=y=deleted", ""},
      {"", "x=1", "x=1"},
      {"x=1", "", "x=1"},
      {"", "", ""},
      {"a=1;", "", "a=1"},
      {"", "x=1;", "x=1"},
      {"", " x=1; ", "x=1"},
      {"a=1; a=2", "", "a=1"},
      {"", "a=1; a=2", "a=1; a=2"},
      {"", "a=1; a=1", "a=1"},
      {"a=1", "a=1", "a=1"},
      {"a=1; b=2", "b=2", "b=2; a=1"},
      {"A=1", "a=2", "a=2; A=1"},
      {"a=1;  b = 2", "b=3", "b=3; a=1"},
      {"a=1;  b = 2", "", "a=1;  b = 2"},
      {"a=DELETED", "", "a=DELETED"},
      {"deleted", "", "deleted"},
      {"  a=1  ", "", "a=1"},
      {"a=1; ; b=2", "", "a=1; ; b=2"},
      {"a=1; ; ; b=2", "", "a=1; ; b=2"},  // the second empty item has a name already there
      // 0x81 0x3B is one GBK character, so no separator stands after 0x81.
      {"a=\x81; b=1", "b=2", "b=2; a=\x81; b=1"},
  };
  for (const MergeCase& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.oldCookies) + " + " +
                 testing::PrintToString(c.newCookies));
    Text jar = c.oldCookies;
    EXPECT_EQ(MergeCookies(&jar, c.newCookies), c.merged);
    EXPECT_EQ(jar, c.merged);
  }
}

TEST(MergeCookiesTest, NewTextMayViewTheOldVariable) {
  Text jar = " a=1; b=deleted; a=1; c=3 ";
  EXPECT_EQ(MergeCookies(&jar, jar), "a=1; c=3");
  EXPECT_EQ(jar, "a=1; c=3");
}

TEST(MergeCookiesTest, NullOldCookiesCountsAsEmpty) {
  EXPECT_EQ(MergeCookies(nullptr, "x=1; y=deleted"), "x=1");
}

TEST(CookieNameTest, TrimmedTextBeforeFirstEquals) {
  const std::pair<std::string, std::string> cases[] = {
      {"a=1", "a"},
      {" b = 2", "b"},
      {"a=b=c", "a"},
      {"=v", ""},
      {"", ""},
      {"deleted", "deleted"},
      {"  x  ", "x"},
      {"\xA1\xA1n\xA1\xA1=1", "n"},
      {"\x81=x=1", "\x81=x"},  // 0x81 0x3D is one character
      {"\x81=x", "\x81=x"},
  };
  for (const auto& [item, name] : cases) {
    SCOPED_TRACE(testing::PrintToString(item));
    EXPECT_EQ(CookieName(item), name);
  }
}

struct NamedCase {
  TextArray items;
  std::string name;
  bool found;
};

TEST(HasCookieNamedTest, ComparesNamesExactly) {
  const NamedCase cases[] = {
      {{}, "a", false},        {{}, "", false},
      {{"a=1"}, "a", true},    {{"A=1"}, "a", false},
      {{"ab=1"}, "a", false},  {{"a=1"}, "a=1", false},
      {{" b = 2"}, "b", true}, {{"a=1", "b=2"}, "b", true},
      {{""}, "", true},        {{"a=1"}, "", false},
  };
  for (const NamedCase& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.name) + " in " + std::to_string(c.items.Count()) +
                 " items");
    EXPECT_EQ(HasCookieNamed(c.items, c.name), c.found);
  }
}

struct DedupCase {
  std::string text;
  std::string separator;
  std::string result;
};

TEST(RemoveDuplicateItemsTest, KeepsFirstOfEachExactItem) {
  const DedupCase cases[] = {
      {"a; b; a", "; ", "a; b"},
      {"", "; ", ""},
      {"a,b,a,c,b", ",", "a,b,c"},
      {"A; a", "; ", "A; a"},
      {"a; a ", "; ", "a; a "},  // items are not trimmed
      {"a; ", "; ", "a"},
      {",a", ",", ",a"},
      {",,a", ",", ",a"},
      {"a", "", "a"},
      {"x=1; y=2; x=1; x=2", "; ", "x=1; y=2; x=2"},
  };
  for (const DedupCase& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.text) + " / " + testing::PrintToString(c.separator));
    EXPECT_EQ(RemoveDuplicateItems(c.text, c.separator), c.result);
  }
}

TEST(IndexOfTextTest, FirstExactMatchOrMinusOne) {
  const TextArray items = {"a", "b", "a", "", "B"};
  EXPECT_EQ(IndexOfText(items, "a"), 1);
  EXPECT_EQ(IndexOfText(items, "b"), 2);
  EXPECT_EQ(IndexOfText(items, ""), 4);
  EXPECT_EQ(IndexOfText(items, "B"), 5);
  EXPECT_EQ(IndexOfText(items, "c"), -1);
  EXPECT_EQ(IndexOfText(items, "a "), -1);
  EXPECT_EQ(IndexOfText(TextArray{}, "a"), -1);
  EXPECT_EQ(IndexOfText(TextArray{}, ""), -1);
}

}  // namespace
}  // namespace qv
