#include "regex/regex_object.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

#include "text/codepage.h"

namespace qv {
namespace {

// Fixtures are written in UTF-8 here and handed to the object as GBK.
Text G(std::string_view utf8) { return Utf8ToGbk(utf8); }

// The workflow's patterns, exactly as it runs them.
constexpr std::string_view kNamePattern = R"re(([a-zA-Z0-9_\u4e00-\u9fa5]))re";
constexpr std::string_view kUrlPattern = R"re(url\((.*?)\))re";
constexpr std::string_view kLazyPattern = R"re(data-lazyload=\\"(.*?)\\")re";

// The first group of every match, read the way the download loop reads it.
std::vector<Text> FirstGroups(RegexObject& re) {
  std::vector<Text> out;
  for (int i = 1; i <= re.MatchCount(); ++i) out.push_back(re.SubMatchText(i, 1));
  return out;
}

TEST(RegexObjectTest, GroupsOfEachMatch) {
  RegexObject re;
  ASSERT_TRUE(re.Create("(a)(b)?", "xab a"));
  EXPECT_EQ(re.MatchCount(), 2);
  EXPECT_EQ(re.MatchText(1), "ab");
  EXPECT_EQ(re.MatchText(2), "a");
  EXPECT_EQ(re.SubMatchText(1, 1), "a");
  EXPECT_EQ(re.SubMatchText(1, 2), "b");
  EXPECT_EQ(re.SubMatchText(2, 1), "a");
  EXPECT_EQ(re.SubMatchText(2, 2), "");  // the group took no part
  EXPECT_EQ(re.SubMatchCount(), 2);
  EXPECT_EQ(re.GetPattern(), "(a)(b)?");
}

TEST(RegexObjectTest, NameCleaningKeepsLettersDigitsUnderscoreAndIdeographs) {
  struct Case {
    const char* raw;
    const char* cleaned;
  } cases[] = {
      {"Abc 12_3（红色）", "Abc12_3红色"},
      {"商品-名称 V2.0！", "商品名称V20"},
      {"一龥", "一龥"},            // both ends of the range
      {"〇ＡＢ１αβ「」、。", ""},  // outside it: U+3007, full-width, Greek
      {"mIxEd_Case", "mIxEd_Case"},
      {"tab\there\nline", "tabhereline"},
      {"", ""},
  };
  RegexObject re;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.raw);
    ASSERT_TRUE(re.Create(kNamePattern, G(c.raw)));
    Text name;
    const int n = re.MatchCount();
    for (int i = 1; i <= n; ++i) name += re.SubMatchText(i, 1);
    EXPECT_EQ(name, G(c.cleaned));
  }
}

TEST(RegexObjectTest, DescriptionPatterns) {
  struct Case {
    const char* name;
    std::string_view pattern;
    std::string text;
    std::vector<std::string> groups;
  } cases[] = {
      {"two url on one line",
       kUrlPattern,
       R"x(<div style="background:url(//img.q.example/a.jpg)"><p>x url(http://h/b.png) y</p>)x",
       {"//img.q.example/a.jpg", "http://h/b.png"}},
      {"url spanning a line feed", kUrlPattern, "url(a.jpg\n) then url(b.jpg)", {"b.jpg"}},
      {"upper and mixed case", kUrlPattern, "URL(A.JPG) Url(b.gif)", {"A.JPG", "b.gif"}},
      {"quotes kept, shortest run", kUrlPattern, "url('x.jpg') a) url()", {"'x.jpg'", ""}},
      {"CJK inside", kUrlPattern, "url(//h/图片，一.jpg)", {"//h/图片，一.jpg"}},
      {"no reference", kUrlPattern, "<p>plain text (with parens)</p>", {}},
      {"escaped lazyload",
       kLazyPattern,
       R"x(<img data-lazyload=\"//h/1.jpg\" /><img DATA-LAZYLOAD=\"//h/图2.jpg\">)x",
       {"//h/1.jpg", "//h/图2.jpg"}},
      {"bare quotes do not match", kLazyPattern, R"x(<img data-lazyload="//h/3.jpg">)x", {}},
      {"bare then escaped",
       kLazyPattern,
       R"x(<img data-lazyload="//h/3.jpg"><img data-lazyload=\"//h/4.jpg\">)x",
       {"//h/4.jpg"}},
      {"escaped quote across a line feed", kLazyPattern, "data-lazyload=\\\"a\nb\\\"", {}},
  };
  RegexObject re;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(re.Create(G(c.pattern), G(c.text)));
    std::vector<Text> expected;
    for (const std::string& g : c.groups) expected.push_back(G(g));
    EXPECT_EQ(FirstGroups(re), expected);
    EXPECT_EQ(re.SubMatchCount(), c.groups.empty() ? 0 : 1);
  }
}

TEST(RegexObjectTest, Options) {
  struct Case {
    const char* name;
    const char* pattern;
    const char* text;
    RegexOptions options;
    int count;
  } cases[] = {
      {"case ignored by default", "(x)", "X", {}, 1},
      {"case sensitive", "(x)", "X", {.caseSensitive = true}, 0},
      {"full-width letters fold too", "(ａ)", "Ａ", {}, 1},
      {"full-width, case sensitive", "(ａ)", "Ａ", {.caseSensitive = true}, 0},
      {"global by default", "(a)", "aaa", {}, 3},
      {"global off", "(a)", "aaa", {.global = false}, 1},
      {"^ at a line start", "^(b)", "a\nb", {}, 1},
      {"^ only at the start without multiline", "^(b)", "a\nb", {.multiline = false}, 0},
      {"$ at a line end", "(a)$", "a\nb", {}, 1},
      {"$ only at the very end without multiline", "(b)$", "a\nb\n", {.multiline = false}, 0},
      {"dot skips a line feed", "a(.)b", "a\nb", {}, 0},
      {"dot takes a carriage return", "a(.)b", "a\rb", {}, 1},
      {"\\u escape is a code point", "(\\u7EA2)", "红", {}, 1},
      {"\\U is a plain U", "(\\U)", "u", {}, 1},
      {"lookbehind sees before the start", "(?<=a)(b)", "abab", {}, 2},
      {"back reference", "(a)\\1", "aA", {}, 1},
  };
  RegexObject re;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(re.Create(G(c.pattern), G(c.text), c.options));
    EXPECT_EQ(re.MatchCount(), c.count);
  }
}

TEST(RegexObjectTest, QuotePlaceholder) {
  const Text pattern = G("k=#引号(.*?)#引号");
  const Text text = R"x(a k="v1" k="v2")x";
  RegexObject re;
  ASSERT_TRUE(re.Create(pattern, text, {.usePlaceholder = true}));
  EXPECT_EQ(re.GetPattern(), R"x(k="(.*?)")x");
  EXPECT_EQ(FirstGroups(re), (std::vector<Text>{"v1", "v2"}));

  // Left out, the placeholder is matched as written.
  ASSERT_TRUE(re.Create(pattern, text));
  EXPECT_EQ(re.GetPattern(), pattern);
  EXPECT_EQ(re.MatchCount(), 0);
  ASSERT_TRUE(re.Create(pattern, G("k=#引号v#引号")));
  EXPECT_EQ(FirstGroups(re), std::vector<Text>{"v"});
}

TEST(RegexObjectTest, IndexesOutOfRangeGiveEmptyText) {
  RegexObject re;
  ASSERT_TRUE(re.Create("(a)(b)", "ab ab"));
  ASSERT_EQ(re.MatchCount(), 2);
  struct Case {
    int match;
    int sub;
  } cases[] = {{0, 1}, {-1, 1}, {3, 1}, {INT_MAX, 1}, {INT_MIN, 1},
               {1, 0}, {1, -1}, {1, 3}, {2, INT_MAX}, {2, INT_MIN}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "match " << c.match << ", sub " << c.sub);
    EXPECT_EQ(re.SubMatchText(c.match, c.sub), "");
  }
  for (int i : {0, -1, 3, INT_MAX, INT_MIN}) {
    SCOPED_TRACE(testing::Message() << "match " << i);
    EXPECT_EQ(re.MatchText(i), "");
  }
  EXPECT_EQ(re.SubMatchText(2, 2), "b");  // the last valid pair still reads
}

TEST(RegexObjectTest, NothingBeforeTheFirstCreate) {
  RegexObject re;
  EXPECT_EQ(re.MatchCount(), 0);
  EXPECT_EQ(re.SubMatchCount(), 0);
  EXPECT_EQ(re.MatchText(1), "");
  EXPECT_EQ(re.SubMatchText(1, 1), "");
  EXPECT_EQ(re.GetPattern(), "");
  EXPECT_EQ(re.Replace("x"), "");
}

TEST(RegexObjectTest, NoMatchIsASuccessfulSearch) {
  RegexObject re;
  EXPECT_TRUE(re.Create("(q)(r)", "abc"));
  EXPECT_EQ(re.MatchCount(), 0);
  EXPECT_EQ(re.SubMatchCount(), 0);
  EXPECT_EQ(re.Replace("x"), "abc");
  EXPECT_TRUE(re.Create("(q)", ""));
  EXPECT_EQ(re.MatchCount(), 0);
}

TEST(RegexObjectTest, BadPatternAfterAGoodOneLeavesNoMatches) {
  const char* bad[] = {"(a", "[a", "a{2,1}", "*a", "\\", "(?<n>a)(?<n>b)", "\\C(a)", "a)"};
  RegexObject re;
  for (const char* pattern : bad) {
    SCOPED_TRACE(pattern);
    ASSERT_TRUE(re.Create("(a)", "aaa"));
    ASSERT_EQ(re.MatchCount(), 3);
    EXPECT_FALSE(re.Create(pattern, "aaa"));
    EXPECT_EQ(re.MatchCount(), 0);
    EXPECT_EQ(re.SubMatchCount(), 0);
    EXPECT_EQ(re.MatchText(1), "");
    EXPECT_EQ(re.SubMatchText(1, 1), "");
    EXPECT_EQ(re.Replace("x"), "");
    EXPECT_EQ(re.GetPattern(), pattern);
  }
}

TEST(RegexObjectTest, InvalidGbkGivesADefinedResult) {
  RegexObject re;
  // Bytes that are no GBK character decode to U+FFFD and come back as "?".
  ASSERT_TRUE(re.Create("(.)",
                        "a\xFF"
                        "b\x81"));
  EXPECT_EQ(re.MatchCount(), 4);
  EXPECT_EQ(re.MatchText(1), "a");
  EXPECT_EQ(re.MatchText(2), "?");
  EXPECT_EQ(re.MatchText(3), "b");
  EXPECT_EQ(re.MatchText(4), "?");
  EXPECT_EQ(re.Replace("[$1]"), "[a][?][b][?]");

  // A lead byte without a valid second byte, before an ASCII character.
  ASSERT_TRUE(re.Create("(\\()", "\x81("));
  EXPECT_EQ(FirstGroups(re), std::vector<Text>{"("});

  // In a pattern it is a character of its own: it may break the pattern ...
  EXPECT_FALSE(re.Create("\x81(", "abc"));
  EXPECT_EQ(re.MatchCount(), 0);
  // ... or match the same replacement in the text.
  ASSERT_TRUE(re.Create("(\xFF)", "x\xFEy"));
  EXPECT_EQ(FirstGroups(re), std::vector<Text>{"?"});
}

TEST(RegexObjectTest, EveryBytePairIsMatchedAsWholeCharacters) {
  // All two-byte sequences without a zero byte, in one text. Whatever is not
  // GBK comes back as "?", and nothing else is lost or split.
  std::string text;
  for (int lead = 1; lead < 256; ++lead) {
    for (int trail = 1; trail < 256; ++trail) {
      text.push_back(static_cast<char>(lead));
      text.push_back(static_cast<char>(trail));
    }
  }
  RegexObject re;
  ASSERT_TRUE(re.Create("([\\s\\S])", text));
  Text joined;
  for (int i = 1; i <= re.MatchCount(); ++i) joined += re.SubMatchText(i, 1);
  EXPECT_EQ(joined, Utf8ToGbk(GbkToUtf8(text)));
  EXPECT_EQ(re.Replace("$1"), joined);
}

TEST(RegexObjectTest, SecondBytesThatLookLikeAsciiBelongToTheirCharacter) {
  // 0x81 0x5C is one GBK character whose second byte is a backslash.
  const Text wide = "\x81\x5C";
  RegexObject re;
  ASSERT_TRUE(re.Create("(" + wide + ")", "a" + wide + "b"));
  EXPECT_EQ(FirstGroups(re), std::vector<Text>{wide});
  ASSERT_TRUE(re.Create("(\\\\)", "a" + wide + "\\"));
  EXPECT_EQ(re.MatchCount(), 1);  // the lone backslash only
  // 0x81 0x61 ends in 'a'; case-insensitive 'A' must not find it.
  ASSERT_TRUE(re.Create("(A)", "\x81\x61"));
  EXPECT_EQ(re.MatchCount(), 0);
}

TEST(RegexObjectTest, EmptyMatchesAdvanceByOneCharacter) {
  RegexObject re;
  // One empty match before each character and one at the end, never one
  // inside a two-byte character.
  ASSERT_TRUE(re.Create("", G("红a色")));
  EXPECT_EQ(re.MatchCount(), 4);
  ASSERT_TRUE(re.Create("(x*)", G("红x色")));
  EXPECT_EQ(re.MatchCount(), 4);  // "", "x", "", "" (after 色)
  EXPECT_EQ(re.MatchText(2), "x");
  EXPECT_EQ(re.Replace("-"), G("-红--色-"));

  std::string many;
  for (int i = 0; i < 20000; ++i) many += G("红");
  ASSERT_TRUE(re.Create("(?:)", many));
  EXPECT_EQ(re.MatchCount(), 20001);
}

TEST(RegexObjectTest, Replace) {
  struct Case {
    const char* name;
    const char* pattern;
    const char* text;
    const char* replacement;
    RegexOptions options;
    const char* result;
  } cases[] = {
      {"every match", "(a)", "xaya", "[$1]", {}, "x[a]y[a]"},
      {"first only", "(a)", "xaya", "[$1]", {.global = false}, "x[a]ya"},
      {"case ignored", "(a)", "xA", "b", {}, "xb"},
      {"case kept", "(a)", "xA", "b", {.caseSensitive = true}, "xA"},
      {"empty replacement removes", "\\s+", "a  b\tc", "", {}, "abc"},
      {"whole match", "b+", "abbc", "<$&>", {}, "a<bb>c"},
      {"before and after", "b", "abc", "[$`|$']", {}, "a[a|c]c"},
      {"dollar", "b", "abc", "$$", {}, "a$c"},
      {"unknown group stays literal", "(b)", "abc", "$2$0", {}, "a$2$0c"},
      {"one digit when two name no group", "(b)", "abc", "$10", {}, "ab0c"},
      {"two digits when they do",
       "(a)(b)(c)(d)(e)(f)(g)(h)(i)(j)",
       "abcdefghij",
       "$10$01",
       {},
       "ja"},
      {"unset group", "(a)|(b)", "b", "[$1]", {}, "[]"},
      {"trailing dollar", "b", "abc", "x$", {}, "ax$c"},
      {"CJK", "(红)", "红色红", "蓝$1", {}, "蓝红色蓝红"},
  };
  RegexObject re;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(re.Create(G(c.pattern), G(c.text), c.options));
    EXPECT_EQ(re.Replace(G(c.replacement)), G(c.result));
  }
  ASSERT_TRUE(re.Create("b", "abc"));
  EXPECT_EQ(re.Replace(), "ac");  // replacement left out
}

TEST(RegexObjectTest, CopyKeepsItsOwnResult) {
  RegexObject re;
  RegexObject emptyCopy = re.Copy();
  EXPECT_EQ(emptyCopy.MatchCount(), 0);
  EXPECT_EQ(emptyCopy.GetPattern(), "");

  ASSERT_TRUE(re.Create("(a)(b)?", G("ab 红a")));
  RegexObject copy = re.Copy();
  EXPECT_EQ(copy.GetPattern(), "(a)(b)?");
  EXPECT_EQ(copy.MatchCount(), 2);
  EXPECT_EQ(copy.SubMatchCount(), 2);
  EXPECT_EQ(copy.MatchText(1), "ab");
  EXPECT_EQ(copy.Replace("<$1>"), G("<a> 红<a>"));

  // A later Create or Destroy on either side leaves the other alone.
  ASSERT_TRUE(re.Create("(z)", "zzz"));
  EXPECT_EQ(re.MatchCount(), 3);
  EXPECT_EQ(copy.MatchCount(), 2);
  EXPECT_EQ(copy.SubMatchText(2, 1), "a");
  re.Destroy();
  EXPECT_EQ(copy.MatchText(2), "a");
  ASSERT_FALSE(copy.Create("(", "x"));
  EXPECT_EQ(copy.MatchCount(), 0);
  EXPECT_EQ(re.MatchCount(), 0);
}

TEST(RegexObjectTest, EachCreateSearchesTheTextItIsGiven) {
  // The download runs a second pattern over the same page; a different text
  // of the same length must not be taken for it.
  RegexObject re;
  ASSERT_TRUE(re.Create("(a)", G("a红a")));
  EXPECT_EQ(re.MatchCount(), 2);
  ASSERT_TRUE(re.Create(G("(红)"), G("a红a")));
  EXPECT_EQ(FirstGroups(re), std::vector<Text>{G("红")});
  ASSERT_TRUE(re.Create(G("(红)"), G("a色a")));
  EXPECT_EQ(re.MatchCount(), 0);
  ASSERT_FALSE(re.Create("(", "b"));
  ASSERT_TRUE(re.Create("(b)", "b"));
  EXPECT_EQ(re.MatchCount(), 1);
  ASSERT_TRUE(re.Create("(b)", "bb"));
  EXPECT_EQ(re.MatchCount(), 2);
}

TEST(RegexObjectTest, DestroyEmptiesAndTheObjectCanBeUsedAgain) {
  RegexObject re;
  ASSERT_TRUE(re.Create("(a)", "aa"));
  re.Destroy();
  EXPECT_EQ(re.MatchCount(), 0);
  EXPECT_EQ(re.GetPattern(), "");
  EXPECT_EQ(re.Replace("x"), "");
  re.Destroy();  // a second time does nothing
  ASSERT_TRUE(re.Create("(a)", "aa"));
  EXPECT_EQ(re.MatchCount(), 2);
}

TEST(RegexObjectTest, RunawayBacktrackingEndsAsAFailedSearch) {
  // Nested repeats that cannot match: the engine gives up at its limit
  // instead of running for ages, and the search counts as failed.
  RegexObject re;
  EXPECT_FALSE(re.Create("^(a|aa)+$", std::string(40, 'a') + "!"));
  EXPECT_EQ(re.MatchCount(), 0);
}

TEST(RegexObjectTest, LongLazyRunsDoNotExhaustTheStack) {
  // One match whose shortest run is a megabyte long.
  const std::string inner(1 << 20, 'x');
  RegexObject re;
  ASSERT_TRUE(re.Create(kUrlPattern, "url(" + inner + ") url(y)"));
  ASSERT_EQ(re.MatchCount(), 2);
  EXPECT_EQ(re.SubMatchText(1, 1), inner);
  EXPECT_EQ(re.SubMatchText(2, 1), "y");
  // A repeated group keeps a backtracking frame per step, more than the JIT's
  // stack holds; the search still completes.
  const std::string xy(100000, 'y');
  ASSERT_TRUE(re.Create("((?:x|y)*?)!", "a" + xy + "!"));
  ASSERT_EQ(re.MatchCount(), 1);
  EXPECT_EQ(re.SubMatchText(1, 1), xy);
}

}  // namespace
}  // namespace qv
