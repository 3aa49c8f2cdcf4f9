#include "text/text_between.h"

#include <gtest/gtest.h>

namespace qv {
namespace {

TEST(TextBetweenTest, Table) {
  struct Case {
    const char* text;
    const char* start;
    const char* end;
    int startPosition;
    bool ignoreCase;
    const char* want;
  } cases[] = {
      {"{name: 'Lamp', x}", "name: '", "'", 0, false, "Lamp"},
      {"[a][b]", "[", "]", 0, false, "a"},
      {"ab", "a", "b", 0, false, ""},
      {"xyz", "q", "z", 0, false, ""},
      {"a[b", "[", "]", 0, false, ""},
      {"ab[", "[", "]", 0, false, ""},
      {"x]a[b]", "[", "]", 0, false, "b"},  // the end marker is looked for after the start
      {"aXa", "a", "a", 0, false, "X"},     // markers never overlap
      {"k=\"v\"", "k=#\xD2\xFD\xBA\xC5", "#\xD2\xFD\xBA\xC5", 0, false, "v"},
      {"name:x;", "Name:", ";", 0, false, ""},
      {"name:x;", "Name:", ";", 0, true, "x"},
      {"[a][b]", "[", "]", 2, false, "b"},
      {"[a][b]", "[", "]", -3, false, "a"},
      {"[a][b]", "[", "]", 99, false, ""},
      {"", "[", "]", 0, false, ""},
      {"[a]", "", "]", 0, false, "[a"},  // an empty start marker is found at 1
  };
  for (const auto& c : cases) {
    EXPECT_EQ(TextBetween(c.text, c.start, c.end, c.startPosition, c.ignoreCase), c.want)
        << "text=" << c.text << " start=" << c.start;
  }
}

TEST(TextBetweenTest, PlaceholderIsReplacedInMarkersOnly) {
  // The text itself holds the placeholder characters; they are not quotes.
  const std::string text = std::string("k=") + std::string(kQuotePlaceholder) + "v\"";
  EXPECT_EQ(TextBetween(text, "k=#\xD2\xFD\xBA\xC5", "\""), "");
  EXPECT_EQ(TextBetween(text, "k=", "\""), std::string(kQuotePlaceholder) + "v");
}

TEST(TextBetweenTest, ProductPageListForms) {
  const char* page = "x overAllPath\":[\"jfs/a.jpg\",\"jfs/b.jpg\"] imageList: [\"c.jpg\"]";
  EXPECT_EQ(
      TextBetween(page, "overAllPath#\xD2\xFD\xBA\xC5:[#\xD2\xFD\xBA\xC5", "#\xD2\xFD\xBA\xC5]"),
      "jfs/a.jpg\",\"jfs/b.jpg");
  EXPECT_EQ(TextBetween(page, "imageList: [#\xD2\xFD\xBA\xC5", "#\xD2\xFD\xBA\xC5]"), "c.jpg");
}

TEST(TextBetweenTest, MarkerOnSecondByteIsNotFound) {
  // "\x81'" is one two-byte character: its second byte is not a quote.
  EXPECT_EQ(TextBetween("name: '\x81'x'", "name: '", "'"), "\x81'x");
}

}  // namespace
}  // namespace qv
