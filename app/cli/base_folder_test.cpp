#include "app/cli/base_folder.h"

#include <gtest/gtest.h>

#include <string>

#include "fileio/path.h"
#include "fileio/test_folder.h"

namespace qv {
namespace {

using testing::TempFolder;

TEST(BaseFolderTest, AbsoluteNormalisedGbkPath) {
  TempFolder tmp;
  ASSERT_TRUE(tmp.ok());
  const std::string cwd = tmp.native();
  ASSERT_TRUE(testing::WriteWholeFile(tmp.Native("file"), "x"));
  struct Row {
    std::string folder;
    std::string want;  // UTF-8, as the file system names it
  };
  const Row rows[] = {
      {"", cwd},
      {".", cwd},
      {"out", cwd + "/out"},
      {"out/", cwd + "/out"},
      {"./a/../out//sub/", cwd + "/out/sub"},
      {"/qv-none/x/", "/qv-none/x"},
      {"/", "/"},
      {"图片/主", cwd + "/图片/主"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.folder);
    Text base;
    std::string error;
    ASSERT_TRUE(OutputBaseFolder(row.folder, cwd, &base, &error)) << error;
    EXPECT_EQ(PathToUtf8(base), row.want);
    EXPECT_EQ(base.find('/'), std::string::npos);
  }
  // The GBK form of a Chinese folder name, backslash-separated.
  Text base;
  std::string error;
  ASSERT_TRUE(OutputBaseFolder("/t/图片", "/", &base, &error));
  EXPECT_EQ(base, "\\t\\\xCD\xBC\xC6\xAC" /* 图片 */);
}

TEST(BaseFolderTest, RefusesWhatCannotHoldPictures) {
  TempFolder tmp;
  ASSERT_TRUE(tmp.ok());
  ASSERT_TRUE(testing::WriteWholeFile(tmp.Native("file"), "x"));
  struct Row {
    std::string folder;
    std::string errorStart;
  };
  const Row rows[] = {
      {"file", "not a folder: '"},
      {"file/", "not a folder: '"},
      {"a\\b", "the folder name cannot be used"},
      {"emoji-😀", "the folder name cannot be used"},
      {"bad-\xff", "the folder name cannot be used"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.folder);
    Text base = "untouched";
    std::string error;
    EXPECT_FALSE(OutputBaseFolder(row.folder, tmp.native(), &base, &error));
    EXPECT_TRUE(error.starts_with(row.errorStart)) << error;
    EXPECT_EQ(error.find('\n'), std::string::npos);
    EXPECT_EQ(base, "untouched");
  }
}

}  // namespace
}  // namespace qv
