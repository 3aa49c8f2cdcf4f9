#include "fileio/file_ops.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "fileio/file_output.h"
#include "fileio/path.h"
#include "fileio/test_folder.h"

namespace qv {
namespace {

using testing::EntryExists;
using testing::IsDirectory;
using testing::IsRegularFile;
using testing::NamesOnDisk;
using testing::ReadWholeFile;
using testing::TempFolder;
using testing::WriteWholeFile;

constexpr char kTuGbk[] = "\xCD\xBC";                          // 图
constexpr char kTuUtf8[] = "\xE5\x9B\xBE";                     // 图
constexpr char kXiangqingGbk[] = "\xCF\xEA\xC7\xE9";           // 详情
constexpr char kXiangqingUtf8[] = "\xE8\xAF\xA6\xE6\x83\x85";  // 详情

class FileOpsTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(tmp_.ok()); }
  TempFolder tmp_;
};

TEST_F(FileOpsTest, FileExistsFindsWhatADirectorySearchFinds) {
  ASSERT_TRUE(WriteWholeFile(tmp_.Native("a.jpg"), "x"));
  ASSERT_EQ(::mkdir(tmp_.Native("d").c_str(), 0777), 0);
  ASSERT_TRUE(WriteWholeFile(tmp_.Native("d/inner.png"), "x"));
  ASSERT_EQ(::mkdir(tmp_.Native("zh").c_str(), 0777), 0);
  ASSERT_TRUE(WriteWholeFile(tmp_.Native(std::string("zh/") + kTuUtf8 + ".jpg"), "x"));
  ASSERT_EQ(::mkdir(tmp_.Native("empty").c_str(), 0777), 0);
  ASSERT_EQ(::symlink("nowhere", tmp_.Native("dangling").c_str()), 0);
  struct Case {
    const char* what;
    Text path;
    bool want;
  } cases[] = {
      {"file", tmp_.Path("a.jpg"), true},
      {"folder", tmp_.Path("d"), true},
      {"chinese name", tmp_.Path(std::string("zh\\") + kTuGbk + ".jpg"), true},
      {"forward slash", tmp_.Path("d/inner.png"), true},
      {"link to nothing is an entry", tmp_.Path("dangling"), true},
      {"missing", tmp_.Path("b.jpg"), false},
      {"under a missing folder", tmp_.Path("nod\\a.jpg"), false},
      {"empty path", "", false},
      {"folder with a trailing backslash", tmp_.Path("d\\"), false},
      {"folder with a trailing slash", tmp_.Path("d/"), false},
      {"case differs", tmp_.Path("A.JPG"), false},
      {"star", tmp_.Path("d\\*.png"), true},
      {"star, nothing matches", tmp_.Path("d\\*.jpg"), false},
      {"question mark", tmp_.Path("d\\inner.pn?"), true},
      {"question mark is one character", tmp_.Path("d\\inner.p?"), false},
      {"question mark over a chinese character", tmp_.Path("zh\\?.jpg"), true},
      {"two question marks over one character", tmp_.Path("zh\\??.jpg"), false},
      {"wildcard in a folder name", tmp_.Path("*\\inner.png"), false},
      {"wildcard in a missing folder", tmp_.Path("nod\\*"), false},
      {"star in an empty folder meets . and ..", tmp_.Path("empty\\*"), true},
      {"empty folder, no name", tmp_.Path("empty\\a*"), false},
      {"refused character", tmp_.Path("a.jpg|"), false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(FileExists(c.path), c.want);
  }
}

TEST_F(FileOpsTest, MakeDirectoryMakesOneLevel) {
  EXPECT_TRUE(MakeDirectory(tmp_.Path(kXiangqingGbk)));
  EXPECT_EQ(NamesOnDisk(tmp_.native()), std::vector<std::string>{kXiangqingUtf8});
  // A trailing backslash names the same folder.
  EXPECT_TRUE(MakeDirectory(tmp_.Path(std::string(kXiangqingGbk) + "\\imgs\\")));
  EXPECT_TRUE(IsDirectory(tmp_.Native(std::string(kXiangqingUtf8) + "/imgs")));

  ASSERT_TRUE(WriteWholeFile(tmp_.Native("plain"), "x"));
  struct Case {
    const char* what;
    Text path;
  } cases[] = {
      {"exists", tmp_.Path(kXiangqingGbk)},
      {"a file has the name", tmp_.Path("plain")},
      {"parent missing", tmp_.Path("p\\q")},
      {"refused name", tmp_.Path("a?b")},
      {"empty", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_FALSE(MakeDirectory(c.path));
  }
  EXPECT_FALSE(EntryExists(tmp_.Native("p")));
  EXPECT_TRUE(IsRegularFile(tmp_.Native("plain")));
}

TEST_F(FileOpsTest, RemoveFileDeletesFilesOnly) {
  const std::string chinese = std::string(kTuUtf8) + ".jpg";
  ASSERT_TRUE(WriteWholeFile(tmp_.Native(chinese), "x"));
  EXPECT_TRUE(RemoveFile(tmp_.Path(std::string(kTuGbk) + ".jpg")));
  EXPECT_FALSE(EntryExists(tmp_.Native(chinese)));

  ASSERT_EQ(::mkdir(tmp_.Native("d").c_str(), 0777), 0);
  struct Case {
    const char* what;
    Text path;
  } cases[] = {
      {"missing", tmp_.Path(std::string(kTuGbk) + ".jpg")},
      {"folder", tmp_.Path("d")},
      {"refused name", tmp_.Path("*")},
      {"empty", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_FALSE(RemoveFile(c.path));
  }
  EXPECT_TRUE(IsDirectory(tmp_.Native("d")));
}

TEST_F(FileOpsTest, RemoveFileLeavesAHeldFile) {
  ASSERT_TRUE(WriteWholeFile(tmp_.Native("held"), "keep"));
  const FileHandle h = OpenFileForWrite(tmp_.Path("held"));
  ASSERT_TRUE(h.IsValid());
  EXPECT_FALSE(RemoveFile(tmp_.Path("held")));
  EXPECT_EQ(ReadWholeFile(tmp_.Native("held")), "keep");
  EXPECT_TRUE(CloseFileHandle(h));
  EXPECT_TRUE(RemoveFile(tmp_.Path("held")));
  EXPECT_FALSE(EntryExists(tmp_.Native("held")));
}

TEST(RunDirectoryTest, IsTheFolderOfTheTestProgram) {
  const Text dir = RunDirectory();
  ASSERT_FALSE(dir.empty());
  EXPECT_EQ(dir.front(), '\\');
  EXPECT_NE(dir.back(), '\\');
  EXPECT_EQ(dir.find('/'), Text::npos);

  struct stat got, want;
  ASSERT_EQ(::stat(PathToUtf8(dir).c_str(), &got), 0) << dir;
  ASSERT_EQ(::stat(QV_TEST_BIN_DIR, &want), 0) << QV_TEST_BIN_DIR;
  EXPECT_EQ(got.st_dev, want.st_dev);
  EXPECT_EQ(got.st_ino, want.st_ino);
  // Joined the way the program joins its paths.
  EXPECT_TRUE(FileExists(dir + "\\fileio_tests"));
}

}  // namespace
}  // namespace qv
