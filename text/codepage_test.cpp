#include "text/codepage.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace qv {
namespace {

Bytes B(std::string_view s) { return ToBytes(s); }

TEST(BytesToTextTest, StopsAtFirstZero) {
  EXPECT_EQ(BytesToText(Bytes{0x61, 0x62, 0x00, 0x63}), "ab");
  EXPECT_EQ(BytesToText(Bytes{0x61, 0x62}), "ab");
  EXPECT_EQ(BytesToText(Bytes{}), "");
  EXPECT_EQ(BytesToText(Bytes{0x00, 0x61}), "");
}

TEST(Utf8ToAnsiTest, Table) {
  struct Case {
    const char* what;
    const char* in;
    const char* want;
  } cases[] = {
      {"two Chinese characters", "\xE4\xB8\xAD\xE6\x96\x87", "\xD6\xD0\xCE\xC4"},
      {"ASCII", "desc: '//d.example/x'", "desc: '//d.example/x'"},
      {"empty", "", ""},
      {"full-width brackets", "\xEF\xBC\x88\xEF\xBC\x89", "\xA3\xA8\xA3\xA9"},
      {"euro sign (0x80 in code page 936)", "\xE2\x82\xAC", "\x80"},
      {"no GBK form (emoji) becomes ?",
       "a\xF0\x9F\x98\x80"
       "b",
       "a?b"},
      {"no GBK form (Korean) becomes ?", "\xEA\xB0\x80", "?"},
      {"invalid byte becomes ?",
       "a\xFF"
       "b",
       "a?b"},
      {"GBK bytes read as UTF-8: one ? per byte", "\xD6\xD0", "??"},
      {"truncated sequence at the end", "a\xE4\xB8", "a??"},
      {"encoded surrogate", "\xED\xA0\x80", "???"},
      {"overlong slash", "\xC0\xAF", "??"},
  };
  for (const auto& c : cases) EXPECT_EQ(Utf8ToAnsi(c.in), c.want) << c.what;
}

TEST(Utf8ToWideTest, SizeComesFromTheGbkReading) {
  // 'abc' is three units in GBK too: room for four, all used.
  EXPECT_EQ(Utf8ToWide("abc"), B(std::string_view("a\0b\0c\0\0\0", 8)));
  EXPECT_EQ(Utf8ToWide(""), Bytes());
  // E4 B8 AD read as GBK is one character plus a lone lead byte: three units
  // with the terminator. Read as UTF-8 it is one, so two zero units follow.
  EXPECT_EQ(Utf8ToWide("\xE4\xB8\xAD"), B(std::string_view("\x2D\x4E\0\0\0\0", 6)));
}

TEST(Utf8ToWideTest, InvalidUtf8ThatNeedsMoreRoomIsConvertedWhole) {
  // Read as GBK, D6 D0 D6 D0 is two units; read as UTF-8 it is four
  // replacement characters. All four come back, then one zero unit.
  const Bytes wide = Utf8ToWide("\xD6\xD0\xD6\xD0");
  ASSERT_EQ(wide.size(), 10u);
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(wide[2 * i], 0xFD);
    EXPECT_EQ(wide[2 * i + 1], 0xFF);
  }
  EXPECT_EQ(wide[8] | wide[9], 0);
}

TEST(Utf8ToWideTest, ReadsOtherCodePages) {
  EXPECT_EQ(Utf8ToWide("\xD6\xD0", kCodePageGbk), B(std::string_view("\x2D\x4E\0\0", 4)));
}

TEST(WideToAnsiTest, Table) {
  struct Case {
    const char* what;
    std::string_view wide;
    int codePage;
    const char* want;
  } cases[] = {
      {"U+4E2D to GBK", std::string_view("\x2D\x4E\0\0", 4), kCodePageGbk, "\xD6\xD0"},
      {"ANSI code page is GBK", std::string_view("\x2D\x4E\0\0", 4), kCodePageAnsi, "\xD6\xD0"},
      {"to UTF-8", std::string_view("\x2D\x4E\0\0", 4), kCodePageUtf8, "\xE4\xB8\xAD"},
      {"stops at the first zero unit", std::string_view("a\0\0\0b\0", 6), kCodePageGbk, "a"},
      {"no terminator", std::string_view("a\0b\0", 4), kCodePageGbk, "ab"},
      {"odd trailing byte ignored", std::string_view("a\0b", 3), kCodePageGbk, "a"},
      {"empty", std::string_view(), kCodePageGbk, ""},
      {"lone surrogate",
       std::string_view("\x00\xD8"
                        "a\0",
                        4),
       kCodePageGbk, "?a"},
      {"pair with no GBK form", std::string_view("\x3D\xD8\x00\xDE", 4), kCodePageGbk, "?"},
      {"lone surrogate to UTF-8", std::string_view("\x00\xDC", 2), kCodePageUtf8, "\xEF\xBF\xBD"},
  };
  for (const auto& c : cases) EXPECT_EQ(WideToAnsi(AsBytes(c.wide), c.codePage), c.want) << c.what;
}

TEST(GbkUtf8Test, RoundTripAndReplacement) {
  EXPECT_EQ(GbkToUtf8("\xD6\xF7\xCD\xBC"), "\xE4\xB8\xBB\xE5\x9B\xBE");  // 主图
  EXPECT_EQ(Utf8ToGbk("\xE4\xB8\xBB\xE5\x9B\xBE"), "\xD6\xF7\xCD\xBC");
  // A second byte that is '\' stays with its character.
  EXPECT_EQ(GbkToUtf8("a\x81\x5C"
                      "b"),
            "a\xE4\xB9\x97"
            "b");
  EXPECT_EQ(GbkToUtf8("a\xD6"), "a\xEF\xBF\xBD");  // lone lead byte at the end
  EXPECT_EQ(GbkToUtf8("\xFF"
                      "a"),
            "\xEF\xBF\xBD"
            "a");
}

TEST(GbkUtf8Test, TableDecodingAgreesWithIconvOnEveryPair) {
  // GbkToUtf8 decodes through a table; the UTF-16 route goes through iconv
  // directly. Both must read every byte pair alike, invalid ones included.
  for (int lead = 1; lead <= 0xFF; ++lead) {
    for (int trail = 1; trail <= 0xFF; ++trail) {
      const std::string in = {static_cast<char>(lead), static_cast<char>(trail), 'x'};
      const std::string viaWide = WideToAnsi(Utf8ToWide(in, kCodePageGbk), kCodePageUtf8);
      ASSERT_EQ(GbkToUtf8(in), viaWide) << "lead " << lead << " trail " << trail;
    }
  }
}

TEST(GbkUtf8Test, AnyBytesGiveValidUtf8) {
  std::mt19937 rng(77);
  std::uniform_int_distribution<int> byte(1, 255);
  for (int round = 0; round < 2000; ++round) {
    std::string in(static_cast<size_t>(round % 37), ' ');
    for (char& c : in) c = static_cast<char>(byte(rng));
    const std::string utf8 = GbkToUtf8(in);
    // Valid UTF-8 survives a trip to UTF-16 and back unchanged.
    ASSERT_EQ(WideToAnsi(Utf8ToWide(utf8), kCodePageUtf8), utf8) << "round " << round;
    const Text back = Utf8ToGbk(utf8);
    ASSERT_EQ(back.find('\0'), std::string::npos);
    ASSERT_EQ(Utf8ToAnsi(in).find('\0'), std::string::npos);
  }
}

}  // namespace
}  // namespace qv
