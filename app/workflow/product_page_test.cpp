#include "app/workflow/product_page.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/workflow/workflow_test_support.h"
#include "text/codepage.h"

namespace qv {
namespace {

class ProductPageTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { testing::FreshPageRegex(); }
  static void TearDownTestSuite() { DestroyPageRegex(); }
};

std::vector<std::string> Items(const TextArray& items) {
  return std::vector<std::string>(items.begin(), items.end());
}

TEST_F(ProductPageTest, ReadsTheListForms) {
  struct Row {
    const char* name;
    const char* page;
    std::vector<std::string> items;
  };
  const Row rows[] = {
      {"imageList", R"(imageList: ["jfs/a.jpg","jfs/b.jpg"], x: 1)", {"jfs/a.jpg", "jfs/b.jpg"}},
      {"overAllPath", R"({"overAllPath":["o/1.jpg","o/2.jpg"]})", {"o/1.jpg", "o/2.jpg"}},
      {"both, imageList first",
       R"(imageList: ["i/1.jpg"], {"overAllPath":["o/1.jpg","o/2.jpg"]})",
       {"o/1.jpg", "o/2.jpg"}},
      {"both, overAllPath first",
       R"({"overAllPath":["o/1.jpg"]} imageList: ["i/1.jpg","i/2.jpg"])",
       {"o/1.jpg"}},
      // The marker is found, but its end is not: overAllPath still wins.
      {"overAllPath without end", R"(imageList: ["i/1.jpg"], {"overAllPath":["o/1.jpg})", {}},
      {"neither", R"(images: ["a.jpg"])", {}},
      {"no blank after the colon", R"(imageList:["a.jpg"])", {}},
      {"empty list", R"(imageList: [""])", {}},
      {"empty middle item", R"(imageList: ["a.jpg","","b.jpg"])", {"a.jpg", "", "b.jpg"}},
      {"empty first item", R"(imageList: ["","b.jpg"])", {"", "b.jpg"}},
      {"trailing comma", R"(imageList: ["a.jpg","b.jpg",""])", {"a.jpg", "b.jpg"}},
      {"one item", R"(imageList: ["only.jpg"])", {"only.jpg"}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(Items(ReadProductPage(row.page).pictureItems), row.items);
  }
}

TEST_F(ProductPageTest, ReadsTheDescriptionAddress) {
  EXPECT_EQ(
      ReadProductPage("desc: '//d.quorvel.example/desc/1.html', name: 'x'").descriptionAddress,
      "http://d.quorvel.example/desc/1.html");
  // Missing field, or one without its closing quote: the bare scheme.
  EXPECT_EQ(ReadProductPage("name: 'x'").descriptionAddress, "http:");
  EXPECT_EQ(ReadProductPage("desc: '//d.quorvel.example/1").descriptionAddress, "http:");
  EXPECT_EQ(ReadProductPage("").descriptionAddress, "http:");
  // Only the first field counts, and the marker is case-sensitive.
  EXPECT_EQ(ReadProductPage("Desc: 'no' desc: 'a' desc: 'b'").descriptionAddress, "http:a");
}

TEST_F(ProductPageTest, CleansTheProductName) {
  struct Row {
    const char* raw;   // UTF-8
    const char* want;  // UTF-8
  };
  const Row rows[] = {
      {"Abc 12_3（红色）", "Abc12_3红色"},
      {"a-b.c/d\\e:f", "abcdef"},
      {"..", ""},
      {"！？（）　 ", ""},
      // Full-width letters and digits are not ASCII; other scripts go too.
      {"ＡＢ１２ab", "ab"},
      {"Ωμέγα Кирилл é", ""},
      // Ideographs at both ends of the range stay; 〇 (U+3007) is outside.
      {"一〇龥", "一龥"},
      // The Kelvin sign and the long s fold to k and s in Unicode, but are no
      // ASCII letters.
      {"\xE2\x84\xAAx\xC5\xBFy", "xy"},
      {"", ""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.raw);
    EXPECT_EQ(GbkToUtf8(CleanProductName(Utf8ToGbk(row.raw))), row.want);
    // Through the page, which arrives as UTF-8 and is read as GBK.
    const std::string page = std::string("name: '") + row.raw + "', desc: 'x'";
    EXPECT_EQ(GbkToUtf8(ReadProductPage(Utf8ToAnsi(page)).productName), row.want);
  }
}

TEST_F(ProductPageTest, NameHoldsNoByteOutsideTheNameCharacters) {
  // Bytes that are no valid GBK come back from the engine as '?', which the
  // name must not keep.
  const Text name = CleanProductName("a\x80\xFF?b\x81");
  EXPECT_EQ(name, "ab");
}

TEST_F(ProductPageTest, MainPictureAddress) {
  EXPECT_EQ(MainPictureAddress("jfs/t1/a.jpg"), "https://img.quorvel.example/n12/jfs/t1/a.jpg");
  EXPECT_EQ(MainPictureAddress(""), "https://img.quorvel.example/n12/");
}

}  // namespace
}  // namespace qv
