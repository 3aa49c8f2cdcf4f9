#include "app/cli/page_address.h"

#include <gtest/gtest.h>

#include <string>

namespace qv {
namespace {

TEST(PageAddressTest, ChecksSchemeHostPortAndBytes) {
  struct Row {
    std::string text;
    AddressProblem want;
  };
  const Row rows[] = {
      {"https://item.quorvel.example/57038905465.html", AddressProblem::kNone},
      {"http://item.quorvel.example", AddressProblem::kNone},
      {"HTTPS://Item.Quorvel.Example/a?b=1#c", AddressProblem::kNone},
      {"  \thttps://item.quorvel.example/1.html \r\n", AddressProblem::kNone},
      {"https://127.0.0.1:8443/x", AddressProblem::kNone},
      {"http://[::1]:80/x", AddressProblem::kNone},
      {"https://item.quorvel.example./x", AddressProblem::kNone},
      {"https://h?x", AddressProblem::kNone},
      {"https://item.quorvel.example/商品/1.html", AddressProblem::kNone},
      {"", AddressProblem::kEmpty},
      {" \t\r\n\v\f", AddressProblem::kEmpty},
      {"item.quorvel.example/1.html", AddressProblem::kNoScheme},
      {"ftp://item.quorvel.example/1.html", AddressProblem::kNoScheme},
      {"http:/item.quorvel.example", AddressProblem::kNoScheme},
      {"https:item.quorvel.example", AddressProblem::kNoScheme},
      {"-o", AddressProblem::kNoScheme},
      {"http://", AddressProblem::kNoHost},
      {"https:///57038905465.html", AddressProblem::kNoHost},
      {"https://?q", AddressProblem::kNoHost},
      {"https://:443/x", AddressProblem::kNoHost},
      {"https://user@item.quorvel.example/", AddressProblem::kBadHost},
      {"https://item..quorvel.example/", AddressProblem::kBadHost},
      {"https://.item/", AddressProblem::kBadHost},
      {"https://item_quorvel/", AddressProblem::kBadHost},
      {"https://商品.example/", AddressProblem::kBadHost},
      {"http://[::1/x", AddressProblem::kBadHost},
      {"http://[zz::1]/x", AddressProblem::kBadHost},
      {"http://[::1]x/", AddressProblem::kBadHost},
      {"https://item.quorvel.example:/x", AddressProblem::kBadPort},
      {"https://item.quorvel.example:0/x", AddressProblem::kBadPort},
      {"https://item.quorvel.example:65536/x", AddressProblem::kBadPort},
      {"https://item.quorvel.example:443443/x", AddressProblem::kBadPort},
      {"https://item.quorvel.example:8a/x", AddressProblem::kBadPort},
      {"https://item.quorvel.example/a b.html", AddressProblem::kBadCharacter},
      {"https://item.quorvel.example/a\nb.html", AddressProblem::kBadCharacter},
      {"https://item.quorvel.example/\x1b[2J", AddressProblem::kBadCharacter},
      {"https://item.quorvel.example/\x7f", AddressProblem::kBadCharacter},
      {"https://item.quorvel.example/\xC2\x9B"
       "2J",
       AddressProblem::kBadCharacter},
      {"https://item.quorvel.example/\xD6\xF7", AddressProblem::kBadCharacter},  // GBK 主
      {"https://item.quorvel.example/\xE4\xB8", AddressProblem::kBadCharacter},  // cut short
      {"https://item.quorvel.example/\xC0\xAF", AddressProblem::kBadCharacter},  // overlong
      {std::string("https://item.quorvel.example/a\0b", 32), AddressProblem::kBadCharacter},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.text);
    EXPECT_EQ(CheckPageAddress(row.text), row.want) << DescribeAddressProblem(row.want);
  }
}

TEST(PageAddressTest, TrimsOnlyTheBlanksAround) {
  EXPECT_EQ(TrimAddress(" \t https://a/b c \n"), "https://a/b c");
  EXPECT_EQ(TrimAddress("\v\f"), "");
  EXPECT_EQ(TrimAddress("x"), "x");
}

}  // namespace
}  // namespace qv
