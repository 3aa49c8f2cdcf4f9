#include "app/workflow/description_page.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/workflow/workflow_test_support.h"

namespace qv {
namespace {

TEST(MakeAbsoluteUrlTest, CompletesMatchedAddresses) {
  struct Row {
    const char* in;
    const char* want;
  };
  const Row rows[] = {
      {"//host/a.jpg", "http://host/a.jpg"},
      {"http://host/a.jpg", "http://host/a.jpg"},
      {"https://host/a.jpg", "https://host/a.jpg"},
      // "http" anywhere, not only at the start, keeps the address as it is.
      {"host/a.jpg?from=http", "host/a.jpg?from=http"},
      // The test is case-sensitive.
      {"HTTP://host/a.jpg", "http:HTTP://host/a.jpg"},
      {"host/a.jpg", "http://host/a.jpg"},
      {"/a.jpg", "http:///a.jpg"},
      {"'//host/a.jpg'", "http:'//host/a.jpg'"},
      {"", "http://"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.in);
    EXPECT_EQ(MakeAbsoluteUrl(row.in), row.want);
  }
}

class DescriptionPatternTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { testing::FreshPageRegex(); }
  static void TearDownTestSuite() { DestroyPageRegex(); }

  static std::vector<std::string> Groups(const char* pattern, std::string_view text) {
    RegexObject& regex = PageRegex();
    EXPECT_TRUE(regex.Create(pattern, text));
    std::vector<std::string> out;
    for (int i = 1; i <= regex.MatchCount(); ++i) out.push_back(regex.SubMatchText(i, 1));
    return out;
  }
};

TEST_F(DescriptionPatternTest, PatternsAreTheExactTexts) {
  EXPECT_EQ(std::string(kUrlPattern), R"(url\((.*?)\))");
  EXPECT_EQ(std::string(kLazyLoadPattern), R"(data-lazyload=\\"(.*?)\\")");
}

TEST_F(DescriptionPatternTest, UrlPatternFindsEachReference) {
  const char* text =
      ".a{background:url(//h/a.jpg)}.b{background:URL('//h/b.jpg')}\n"
      "url(\"//h/c.jpg\") url() Url(h/d.jpg) url(//h/\n"
      "e.jpg) url(//h/f.jpg)x)";
  EXPECT_EQ(Groups(kUrlPattern, text),
            (std::vector<std::string>{"//h/a.jpg", "'//h/b.jpg'", "\"//h/c.jpg\"", "", "h/d.jpg",
                                      "//h/f.jpg"}));
}

TEST_F(DescriptionPatternTest, LazyLoadPatternWantsEscapedQuotes) {
  const char* text = R"(<img data-lazyload=\"//h/a.png\"><img data-lazyload="//h/b.png">)"
                     R"(<img DATA-LAZYLOAD=\"//h/c.png\"><img data-lazyload=\"\">)";
  EXPECT_EQ(Groups(kLazyLoadPattern, text),
            (std::vector<std::string>{"//h/a.png", "//h/c.png", ""}));
}

}  // namespace
}  // namespace qv
