#include "app/cli/printable_text.h"

#include <gtest/gtest.h>

#include <string>

namespace qv {
namespace {

TEST(PrintableTextTest, EscapesWhatCouldSteerTheTerminal) {
  struct Row {
    std::string in, want;
  };
  const Row rows[] = {
      {"lamp-front.jpg", "lamp-front.jpg"},
      {"主图 ＡＢ", "主图 ＡＢ"},
      {"a\rb\nc\x1b[2Jd", "a\\x0Db\\x0Ac\\x1B[2Jd"},
      {"\x7f", "\\x7F"},
      {"\xC2\x9B"
       "2J",
       "\\xC2\\x9B2J"},                              // C1 control sequence introducer
      {"\xC2\xA0", "\xC2\xA0"},                      // no-break space is printable
      {"\xD6\xF7", "\\xD6\\xF7"},                    // GBK 主 is no UTF-8
      {"\xE4\xB8", "\\xE4\\xB8"},                    // cut short
      {"\xED\xA0\x80", "\\xED\\xA0\\x80"},           // a surrogate
      {"\xF4\x90\x80\x80", "\\xF4\\x90\\x80\\x80"},  // above U+10FFFF
      {"a\\x41", "a\\\\x41"},
      {std::string("a\0b", 3), "a\\x00b"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.want);
    EXPECT_EQ(PrintableText(row.in), row.want);
  }
}

TEST(PrintableTextTest, WidthAndFitCountWideCharactersTwice) {
  EXPECT_EQ(DisplayWidth(""), 0);
  EXPECT_EQ(DisplayWidth("abc"), 3);
  EXPECT_EQ(DisplayWidth("主图"), 4);
  EXPECT_EQ(DisplayWidth("ａ1한"), 5);
  EXPECT_EQ(DisplayWidth("é"), 1);
  EXPECT_EQ(FitToColumns("主图abc", 3), "主");
  EXPECT_EQ(FitToColumns("主图abc", 4), "主图");
  EXPECT_EQ(FitToColumns("主图abc", 5), "主图a");
  EXPECT_EQ(FitToColumns("主图abc", 100), "主图abc");
  EXPECT_EQ(FitToColumns("主图", 1), "");
  EXPECT_EQ(FitToColumns("abc", 0), "");
}

}  // namespace
}  // namespace qv
