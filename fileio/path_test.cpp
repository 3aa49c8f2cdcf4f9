#include "fileio/path.h"

#include <errno.h>
#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "text/codepage.h"

namespace qv {
namespace {

// "主图" in GBK and UTF-8.
constexpr char kZhutuGbk[] = "\xD6\xF7\xCD\xBC";
constexpr char kZhutuUtf8[] = "\xE4\xB8\xBB\xE5\x9B\xBE";
// "昞": its second GBK byte is a backslash.
constexpr char kBackslashTrailGbk[] = "\x95\x5C";
constexpr char kBackslashTrailUtf8[] = "\xE6\x98\x9E";
// "亅": its second GBK byte is '|', a refused character on its own.
constexpr char kBarTrailGbk[] = "\x81\x7C";
constexpr char kReplacementUtf8[] = "\xEF\xBF\xBD";  // U+FFFD

TEST(PathToUtf8Test, ConvertsTextThenSeparators) {
  struct Case {
    const char* what;
    std::string in;
    std::string want;
  } cases[] = {
      {"relative", "a\\b.jpg", "a/b.jpg"},
      {"absolute", "\\tmp\\x", "/tmp/x"},
      {"both separators", "a/b\\c", "a/b/c"},
      {"doubled separator kept", "a\\\\b", "a//b"},
      {"chinese folder", std::string("x\\") + kZhutuGbk + "\\a.jpg",
       std::string("x/") + kZhutuUtf8 + "/a.jpg"},
      {"backslash trail byte stays inside its character",
       std::string("x\\") + kBackslashTrailGbk + ".jpg",
       std::string("x/") + kBackslashTrailUtf8 + ".jpg"},
      {"invalid lead byte", "a\xFF.jpg", std::string("a") + kReplacementUtf8 + ".jpg"},
      {"lead byte cut off at the end", "a\\\x81", std::string("a/") + kReplacementUtf8},
      {"empty", "", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(PathToUtf8(c.in), c.want);
  }
}

TEST(PathFromUtf8Test, RoundTripsWhatGbkHolds) {
  const std::string native = std::string("/tmp/") + kZhutuUtf8 + "/" + kBackslashTrailUtf8;
  const Text text = PathFromUtf8(native);
  EXPECT_EQ(text, std::string("\\tmp\\") + kZhutuGbk + "\\" + kBackslashTrailGbk);
  EXPECT_EQ(PathToUtf8(text), native);
  // U+1F600 has no place in GBK.
  EXPECT_EQ(PathFromUtf8("/a/\xF0\x9F\x98\x80.jpg"), "\\a\\?.jpg");
}

TEST(ToNativePathTest, RefusesWhatWindowsRefuses) {
  std::string tooLong;  // short names, so only the whole length is at fault
  while (tooLong.size() < PATH_MAX) tooLong += "abcdefgh\\";
  tooLong.resize(PATH_MAX);
  const std::string longName = "d\\" + std::string(NAME_MAX + 1, 'n');
  const std::string longestName = "d\\" + std::string(NAME_MAX, 'n');
  // A character that GBK cannot hold has already turned into '?'.
  const Text emoji = Utf8ToGbk("d\\\xF0\x9F\x98\x80.jpg");
  struct Case {
    const char* what;
    std::string in;
    Wildcards wildcards;
    FsStatus want;
  } cases[] = {
      {"plain", "a\\b.jpg", Wildcards::kRefused, kFsOk},
      {"empty", "", Wildcards::kRefused, -ENOENT},
      {"question mark", "a\\b.jpg?x=1", Wildcards::kRefused, -EINVAL},
      {"star", "a\\*.jpg", Wildcards::kRefused, -EINVAL},
      {"char GBK lacks", emoji, Wildcards::kRefused, -EINVAL},
      {"bar", "a|b", Wildcards::kRefused, -EINVAL},
      {"quote", "a\"b", Wildcards::kRefused, -EINVAL},
      {"less", "a<b", Wildcards::kRefused, -EINVAL},
      {"greater", "a>b", Wildcards::kRefused, -EINVAL},
      {"control byte",
       "a\x01"
       "b",
       Wildcards::kRefused, -EINVAL},
      {"zero byte", std::string("a\0b", 3), Wildcards::kRefused, -EINVAL},
      {"bar as a trail byte is no bar", std::string("a\\") + kBarTrailGbk, Wildcards::kRefused,
       kFsOk},
      {"PATH_MAX bytes", tooLong, Wildcards::kRefused, -ENAMETOOLONG},
      {"one byte under PATH_MAX", tooLong.substr(1), Wildcards::kRefused, kFsOk},
      {"name over NAME_MAX", longName, Wildcards::kRefused, -ENAMETOOLONG},
      {"name of NAME_MAX", longestName, Wildcards::kRefused, kFsOk},
      {"wildcards in last name", "a\\*.j?g", Wildcards::kAllowedInLastName, kFsOk},
      {"wildcard in a folder name", "a*\\b.jpg", Wildcards::kAllowedInLastName, -EINVAL},
      {"bar still refused", "a\\*|", Wildcards::kAllowedInLastName, -EINVAL},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::string native = "untouched";
    const FsStatus got = ToNativePath(c.in, &native, c.wildcards);
    EXPECT_EQ(got, c.want);
    if (got != kFsOk) {
      EXPECT_EQ(native, "untouched");
    }
  }
}

TEST(ToNativePathTest, NameLengthCountsUtf8Bytes) {
  // 85 two-byte GBK characters are 170 bytes, but 255 in UTF-8; one more
  // goes past NAME_MAX only after conversion.
  std::string name;
  for (int i = 0; i < 85; ++i) name += "\xCD\xBC";  // 图
  std::string native;
  EXPECT_EQ(ToNativePath(name, &native), kFsOk);
  EXPECT_EQ(native.size(), 255u);
  EXPECT_EQ(ToNativePath(name + "\xCD\xBC", &native), -ENAMETOOLONG);
}

TEST(MatchesWildcardTest, Table) {
  const std::string tu = "\xE5\x9B\xBE";  // 图 in UTF-8
  struct Case {
    std::string pattern;
    std::string name;
    bool want;
  } cases[] = {
      {"*", "abc", true},
      {"*", "", true},
      {"*.jpg", "a.jpg", true},
      {"*.jpg", "a.png", false},
      {"*.jpg", "a.jpg.png", false},
      {"a*b*c", "aXXbYYc", true},
      {"a*b*c", "aXXbYY", false},
      {"a*", "a", true},
      {"a*b", "a", false},
      {"?.jpg", tu + ".jpg", true},  // one character, three bytes
      {"??.jpg", tu + ".jpg", false},
      {"???.jpg", tu + ".jpg", false},
      {"?", "", false},
      {"a?c", "abc", true},
      {"A.jpg", "a.jpg", false},  // names compare case and all
      {"[a].jpg", "[a].jpg", true},
      {"[a].jpg", "a.jpg", false},  // no character classes
      {"*" + tu, "x" + tu, true},
      {"**a**", "bab", true},
      {"*a*a*a*a*b", std::string(60, 'a'), false},
      {"a\xFF", "a\xFF", true},  // an invalid byte matches itself
      {"?", "\xFF", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE("pattern '" + c.pattern + "' name '" + c.name + "'");
    EXPECT_EQ(MatchesWildcard(c.pattern, c.name), c.want);
  }
}

}  // namespace
}  // namespace qv
