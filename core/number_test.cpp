#include "core/number.h"

#include <gtest/gtest.h>

namespace qv {
namespace {

TEST(ToIntTest, Table) {
  struct Case {
    const char* t;
    int want;
  } cases[] = {
      {"8080", 8080},
      {"", 0},
      {"x1", 0},
      {" 42abc", 42},
      {"\t\r\n 7", 7},
      {"-12", -12},
      {"+12", 12},
      {"- 12", 0},
      {"--1", 0},
      {"007", 7},
      {"12:30", 12},
      {"\xA3\xB1\xA3\xB2", 12},          // full-width １２
      {"\xA1\xA1\xA3\xAD\xA3\xB5", -5},  // full-width blank, minus, ５
      {"\xA3\xB1"
       "2",
       12},  // full-width and ASCII digits mix
      {"\xD6\xD0"
       "1",
       0},  // another two-byte character stops it
      {"2147483647", 2147483647},
      {"2147483648", 2147483647},
      {"99999999999999999999", 2147483647},
      {"-2147483648", -2147483647 - 1},
      {"-99999999999", -2147483647 - 1},
      {"\xA3", 0},  // a lone lead byte
  };
  for (const auto& c : cases) EXPECT_EQ(ToInt(c.t), c.want) << "t=" << c.t;
}

}  // namespace
}  // namespace qv
