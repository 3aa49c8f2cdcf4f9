#include "web/headers.h"

#include <gtest/gtest.h>

#include <string>

namespace qv {
namespace {

// GBK two-byte characters whose second byte is ASCII punctuation; a search
// must step over them whole.
constexpr std::string_view kGbkColon = "\x81\x3A";  // second byte ':'
constexpr std::string_view kGbkDash = "\x81\x2D";   // second byte '-'

std::string S(std::string_view a, std::string_view b = {}, std::string_view c = {}) {
  return std::string(a) + std::string(b) + std::string(c);
}

struct LineCase {
  std::string line;
  std::string name;
  std::string value;
};

TEST(HeaderNameValueTest, SplitsAtFirstColonAndTrimsBlanks) {
  const LineCase cases[] = {
      {"Accept", "", ""},
      {"", "", ""},
      {" Accept : */*", "Accept", "*/*"},
      {"X-Time: 12:30", "X-Time", "12:30"},
      {":v", "", "v"},
      {"Name:", "Name", ""},
      {":", "", ""},
      {"Name:\tx ", "Name", "\tx"},                             // tabs are not trimmed
      {"Name: x\r", "Name", "x\r"},                             // nor CR
      {"\tName :x", "\tName", "x"},                             // nor a leading tab of the name
      {"\xA1\xA1Key\xA1\xA1:\xA1\xA1 v \xA1\xA1", "Key", "v"},  // full-width blanks go
      {S(kGbkColon, "x"), "", ""},                              // no colon at a character start
      {S(kGbkColon, "a:b"), S(kGbkColon, "a"), "b"},
      {S("k: ", kGbkColon, " "), "k", S(kGbkColon)},
  };
  for (const LineCase& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.line));
    EXPECT_EQ(HeaderName(c.line), c.name);
    EXPECT_EQ(HeaderValue(c.line), c.value);
  }
}

struct BeforeCase {
  std::string text;
  std::string separator;
  std::string before;
};

TEST(TextBeforeTest, CutsAtFirstSeparatorUntrimmed) {
  const BeforeCase cases[] = {
      {"Set-Cookie: a=1; b", ": ", "Set-Cookie"},
      {"Set-Cookie:a=1", ": ", ""},
      {": x", ": ", ""},
      {"", ": ", ""},
      {"a: b: c", ": ", "a"},
      {" a : b", ": ", " a "},
      {"set-cookie: x", ": ", "set-cookie"},
      {S(kGbkColon, " b: c"), ": ", S(kGbkColon, " b")},
      {"abcabc", "c", "ab"},
  };
  for (const BeforeCase& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.text) + " / " + testing::PrintToString(c.separator));
    EXPECT_EQ(TextBefore(c.text, c.separator), c.before);
  }
}

TEST(CapitalizeFirstTest, UpperCasesOnlyAnAsciiFirstLetter) {
  const std::pair<std::string, std::string> cases[] = {
      {"", ""},
      {"a", "A"},
      {"ab", "Ab"},
      {"zZ", "ZZ"},
      {"aBC", "ABC"},
      {"Ab", "Ab"},
      {"1a", "1a"},
      {" a", " a"},
      {"`a", "`a"},  // the bytes next to a..z stay
      {"{a", "{a"},
      {"\xE1\x61x",
       "\xE1\x61x"},             // 0xE1 leads a GBK character; the 'a' after it is its second byte
      {"\xD6\xF7", "\xD6\xF7"},  // 主
  };
  for (const auto& [word, want] : cases) {
    SCOPED_TRACE(testing::PrintToString(word));
    EXPECT_EQ(CapitalizeFirst(word), want);
  }
}

TEST(NormalizeHeadersTest, RewritesNamesAndDropsLinesWithoutColon) {
  const std::pair<std::string, std::string> cases[] = {
      {"\r\naccept: */*\r\nuser-agent: x", "Accept: */*\r\nUser-Agent: x"},
      {"x-requested-with:abc", "X-Requested-With:abc"},
      {"a-:1", "A-:1"},
      {"-x: 1", "-X: 1"},
      {"a--b: 1", "A--B: 1"},
      {"-: 1", "-: 1"},
      {"---:x", "---:x"},
      {"foo", ""},
      {"", ""},
      {"\r\n", ""},
      {"\r\n\r\n", ""},
      {"a:1\r\n", "A:1"},
      {"a:1\r\nb:2\r\n", "A:1\r\nB:2"},
      {"a:1\r\n\r\nfoo\r\nb-c : d-e", "A:1\r\nB-C : d-e"},
      {" accept: x", " accept: x"},
      {"content-TYPE: text/HTML", "Content-TYPE: text/HTML"},
      {"a:b:c-d", "A:b:c-d"},    // the value is never touched
      {":x", ":x"},              // an empty name is kept
      {"a:1\rb:2", "A:1\rb:2"},  // a lone CR does not end a line
      {"foo\r\nbar", ""},
      // GBK: a ':' or '-' that is a second byte neither marks a header nor
      // splits a name.
      {S(kGbkColon, "x\r\ny:1"), "Y:1"},
      {S("a", kGbkDash, "b: 1"), S("A", kGbkDash, "b: 1")},
      {S(kGbkDash, "b-c: 1"), S(kGbkDash, "b-C: 1")},
      // 0x81 0x0D is one character, so the CRLF after 0x81 is no separator.
      {"a:\x81\r\nb:2", "A:\x81\r\nb:2"},
  };
  for (const auto& [block, want] : cases) {
    SCOPED_TRACE(testing::PrintToString(block));
    EXPECT_EQ(NormalizeHeaders(block), want);
  }
}

}  // namespace
}  // namespace qv
