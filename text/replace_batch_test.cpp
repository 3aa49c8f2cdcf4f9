#include "text/replace_batch.h"

#include <gtest/gtest.h>

namespace qv {
namespace {

TEST(ReplaceBatchTest, StripsQuotesFromAPictureList) {
  EXPECT_EQ(ReplaceBatch("\"a.jpg\",\"b.jpg\"", {.find1 = "\"", .replace1 = ""}), "a.jpg,b.jpg");
}

TEST(ReplaceBatchTest, Table) {
  struct Case {
    const char* what;
    const char* text;
    ReplaceBatchArgs args;
    const char* want;
  } cases[] = {
      {"pairs chain", "ab", {.find1 = "a", .replace1 = "b", .find2 = "b", .replace2 = "c"}, "cc"},
      {"count 1", "aXbXc", {.count = 1, .find1 = "X", .replace1 = "-"}, "a-bXc"},
      {"count left out", "aXbXc", {.find1 = "X", .replace1 = "-"}, "a-b-c"},
      {"count 0", "aXbXc", {.count = 0, .find1 = "X", .replace1 = "-"}, "aXbXc"},
      {"count -1", "aXbXc", {.count = -1, .find1 = "X", .replace1 = "-"}, "a-b-c"},
      {"count per pair",
       "aabb",
       {.count = 1, .find1 = "a", .replace1 = "x", .find2 = "b", .replace2 = "y"},
       "xayb"},
      {"start 3", "XaX", {.startPosition = 3, .find1 = "X", .replace1 = "-"}, "Xa-"},
      {"start 0", "XaX", {.startPosition = 0, .find1 = "X", .replace1 = "-"}, "-a-"},
      {"start 1", "XaX", {.startPosition = 1, .find1 = "X", .replace1 = "-"}, "-a-"},
      {"start -2", "XaX", {.startPosition = -2, .find1 = "X", .replace1 = "-"}, "-a-"},
      {"case ignored", "aXbx", {.find1 = "x", .replace1 = "-"}, "a-b-"},
      {"case kept", "aXbx", {.caseSensitive = true, .find1 = "x", .replace1 = "-"}, "aXb-"},
      {"empty text", "", {.find1 = "\"", .replace1 = ""}, ""},
      {"empty find does nothing", "abc", {.find1 = "", .replace1 = "z"}, "abc"},
      {"fifth pair", "abc", {.find5 = "c", .replace5 = "C"}, "abC"},
      {"second byte untouched", "\x81\"\"", {.find1 = "\"", .replace1 = ""}, "\x81\""},
  };
  for (const auto& c : cases) EXPECT_EQ(ReplaceBatch(c.text, c.args), c.want) << c.what;
}

}  // namespace
}  // namespace qv
