#include "app/workflow/save_picture.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "app/workflow/workflow_test_support.h"
#include "fileio/path.h"
#include "fileio/test_folder.h"
#include "web/shop_log.h"

namespace qv {
namespace {

using testing::ParseShopLog;
using testing::PictureBytes;
using testing::Route;
using testing::Routes;
using testing::Shop;
using testing::TempFolder;
using testing::TreeOnDisk;

constexpr char kMain[] = "\\\xD6\xF7\xCD\xBC\\"; /* \主图\ */
constexpr char kMainUtf8[] = "主图";

TEST(PictureFileNameTest, TakesTheLastField) {
  struct Row {
    const char* address;
    const char* want;
  };
  const Row rows[] = {
      {"https://img.quorvel.example/n12/jfs/a.jpg", "a.jpg"},
      {"https://img.quorvel.example/n12/", "n12"},
      {"http://", ""},
      {"http:///", ""},
      {"a.jpg", "a.jpg"},
      {"http://h/a.jpg?x=1/2", "2"},
      {"", ""},
      // A '/' after a lead byte belongs to that character.
      {"http://h/x\x81/y", "x\x81/y"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.address);
    EXPECT_EQ(PictureFileName(row.address), row.want);
  }
}

TEST(PictureFileNameTest, UsableNamesStayInTheirFolder) {
  struct Row {
    const char* name;
    bool usable;
  };
  const Row rows[] = {
      {"a.jpg", true},
      {"n12", true},
      {"...", true},
      {".a", true},
      {"\xCD\xBC.jpg", true},  // 图.jpg
      // 0x95 0x5C is one GBK character whose second byte is a backslash.
      {"\x95\x5C.jpg", true},
      {"", false},
      {".", false},
      {"..", false},
      {"a\\b", false},
      {"\\", false},
      {"a/b", false},
      // Not valid GBK: the lead byte becomes U+FFFD and the '/' or '\'
      // after it would be a separator again.
      {"\x81/..", false},
      {"\x80\\x", false},
      {"\xFF/", false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(::testing::PrintToString(std::string(row.name)));
    EXPECT_EQ(IsUsableFileName(row.name), row.usable);
  }
}

class SavePictureTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Shop().Reset();
    ASSERT_TRUE(tmp_.ok());
    folder_ = PathFromUtf8(tmp_.native()) + "\\imgs\\P";
  }

  SaveOutcome Save(const std::string& path) {
    return SavePicture("https://img.quorvel.example" + path, folder_, kMain, nullptr);
  }
  std::string Native(const std::string& name) const {
    return tmp_.native() + "/imgs/P/" + kMainUtf8 + "/" + name;
  }
  std::vector<std::string> RequestedPaths() {
    std::vector<std::string> paths;
    for (const auto& r : ParseShopLog(Shop().Log())) paths.push_back(r.path);
    return paths;
  }

  TempFolder tmp_;
  Text folder_;
};

TEST_F(SavePictureTest, WritesTheBodyExactlyAndMakesTheFolders) {
  const std::string a = PictureBytes(1, 5000);
  Shop().AddRoutes(Routes({Route("img.quorvel.example", "/n12/a.jpg", a)}));
  EXPECT_EQ(Save("/n12/a.jpg"), SaveOutcome::kSaved);
  const std::map<std::string, std::string> want = {
      {"imgs/", "<dir>"},
      {"imgs/P/", "<dir>"},
      {std::string("imgs/P/") + kMainUtf8 + "/", "<dir>"},
      {std::string("imgs/P/") + kMainUtf8 + "/a.jpg", a},
  };
  EXPECT_EQ(TreeOnDisk(tmp_.native()), want);
}

TEST_F(SavePictureTest, ReplacesALongerFileExactly) {
  const std::string old = PictureBytes(2, 9000);
  const std::string fresh = PictureBytes(3, 100);
  Shop().AddRoutes(Routes({Route("img.quorvel.example", "/n12/a.jpg", fresh)}));
  ASSERT_TRUE(testing::MakeFolders(tmp_.native() + "/imgs/P/" + kMainUtf8));
  ASSERT_TRUE(testing::WriteWholeFile(Native("a.jpg"), old));
  EXPECT_EQ(Save("/n12/a.jpg"), SaveOutcome::kSaved);
  EXPECT_EQ(testing::ReadWholeFile(Native("a.jpg")), fresh);
}

TEST_F(SavePictureTest, FailedAnswersWriteNothing) {
  const std::string good = PictureBytes(4, 3000);
  struct Row {
    const char* name;
    std::string extra;  // JSON members of the route
  };
  const Row rows[] = {
      {"404 with a body", ", \"status\": 404"},      {"500 with a body", ", \"status\": 500"},
      {"301 without a target", ", \"status\": 301"}, {"reset", ", \"reset_after\": 100"},
      {"short body", ", \"content_length\": 6000"},  {"empty body", ""},
  };
  for (const bool existing : {false, true}) {
    for (const Row& row : rows) {
      SCOPED_TRACE(std::string(row.name) + (existing ? ", file exists" : ", no file"));
      Shop().Reset();
      const std::string body = std::string(row.name) == "empty body" ? "" : good;
      Shop().AddRoutes(Routes({Route("img.quorvel.example", "/n12/a.jpg", body, row.extra)}));
      const std::string old = "old picture";
      ASSERT_TRUE(testing::MakeFolders(tmp_.native() + "/imgs/P/" + kMainUtf8));
      ::unlink(Native("a.jpg").c_str());
      if (existing) {
        ASSERT_TRUE(testing::WriteWholeFile(Native("a.jpg"), old));
      }

      EXPECT_EQ(Save("/n12/a.jpg"), SaveOutcome::kFailed);
      EXPECT_EQ(RequestedPaths(), std::vector<std::string>{"/n12/a.jpg"});
      std::map<std::string, std::string> want = {
          {"imgs/", "<dir>"},
          {"imgs/P/", "<dir>"},
          {std::string("imgs/P/") + kMainUtf8 + "/", "<dir>"},
      };
      if (existing) want[std::string("imgs/P/") + kMainUtf8 + "/a.jpg"] = old;
      EXPECT_EQ(TreeOnDisk(tmp_.native()), want);
    }
  }
}

TEST_F(SavePictureTest, UnusableNamesAreNeitherRequestedNorWritten) {
  Shop().AddRoutes(Routes({Route("*", "/n12/..", "x"), Route("*", "/n12/q.jpg", "x")}));
  const char* paths[] = {"/n12/..", "/n12/.", "/n12/q.jpg?size=1", "/n12/a|b.jpg",
                         "/n12/a\x01.jpg"};
  for (const char* path : paths) {
    SCOPED_TRACE(path);
    EXPECT_EQ(Save(path), SaveOutcome::kFailed);
  }
  EXPECT_EQ(SavePicture("http://", folder_, kMain, nullptr), SaveOutcome::kFailed);
  EXPECT_TRUE(RequestedPaths().empty()) << Shop().Log();
  EXPECT_TRUE(TreeOnDisk(tmp_.native()).empty());
}

TEST_F(SavePictureTest, AbortSetBeforeTheRequestWritesNothing) {
  Shop().AddRoutes(Routes({Route("img.quorvel.example", "/n12/a.jpg", "abc")}));
  const std::atomic<bool> abort{true};
  EXPECT_EQ(SavePicture("https://img.quorvel.example/n12/a.jpg", folder_, kMain, &abort),
            SaveOutcome::kCancelled);
  EXPECT_TRUE(RequestedPaths().empty());
  EXPECT_TRUE(TreeOnDisk(tmp_.native()).empty());
}

}  // namespace
}  // namespace qv
