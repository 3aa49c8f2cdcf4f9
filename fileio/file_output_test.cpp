#include "fileio/file_output.h"

#include <errno.h>
#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

#include "fileio/file_ops.h"
#include "fileio/file_system.h"
#include "fileio/test_folder.h"
#include "text/codepage.h"

namespace qv {
namespace {

using testing::B;
using testing::EntryExists;
using testing::IsDirectory;
using testing::IsRegularFile;
using testing::NamesOnDisk;
using testing::ReadWholeFile;
using testing::TempFolder;
using testing::WriteWholeFile;

// Names in GBK and UTF-8.
constexpr char kImgs[] = "imgs";
constexpr char kProductGbk[] = "Abc12_3\xBA\xEC\xC9\xAB";           // Abc12_3红色
constexpr char kProductUtf8[] = "Abc12_3\xE7\xBA\xA2\xE8\x89\xB2";  // Abc12_3红色
constexpr char kZhutuGbk[] = "\xD6\xF7\xCD\xBC";                    // 主图
constexpr char kZhutuUtf8[] = "\xE4\xB8\xBB\xE5\x9B\xBE";           // 主图
constexpr char kPictureGbk[] = "\xCD\xBC\xC6\xAC.jpg";              // 图片.jpg
constexpr char kPictureUtf8[] = "\xE5\x9B\xBE\xE7\x89\x87.jpg";     // 图片.jpg

class FileOutputTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(tmp_.ok()); }
  TempFolder tmp_;
};

TEST(FailureCodeTest, NeverZeroNorTheSuccessValue) {
  struct Case {
    int err;
    FsStatus want;
  } cases[] = {{EPERM, -1}, {ENOENT, -2}, {EISDIR, -EISDIR}, {0, -EIO}, {-3, -EIO}};
  for (const auto& c : cases) {
    SCOPED_TRACE("errno " + std::to_string(c.err));
    EXPECT_EQ(FsErrorFromErrno(c.err), c.want);
    EXPECT_NE(FsErrorFromErrno(c.err), kCreateSizedFileOk);
  }
}

TEST(DirectoryOfPathTest, KeepsTheLastBackslash) {
  struct Case {
    std::string in;
    std::string want;
  } cases[] = {
      {"C:\\a\\b.jpg", "C:\\a\\"},
      {"b.jpg", ""},
      {"C:\\a\\", "C:\\a\\"},
      {"", ""},
      {"\\", "\\"},
      {"a/b.jpg", ""},  // only a backslash counts here
      // 0x95 0x5C is one character; the backslash before it is the last one.
      {"x\\\x95\x5C.jpg", "x\\"},
      {"x\\\x95\x5C", "x\\"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE("path '" + c.in + "'");
    EXPECT_EQ(DirectoryOfPath(c.in), c.want);
  }
}

TEST_F(FileOutputTest, EnsureDirectoryPathMakesEveryFolder) {
  struct Case {
    const char* top;
    const char* end;
  } cases[] = {{"t1", ""}, {"t2", "\\"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string("ending '") + c.end + "'");
    ASSERT_TRUE(EnsureDirectoryPath(
        tmp_.Path(std::string(c.top) + "\\" + kZhutuGbk + "\\" + kProductGbk + c.end)));
    const std::string top = tmp_.Native(c.top);
    EXPECT_EQ(NamesOnDisk(top), std::vector<std::string>{kZhutuUtf8});
    EXPECT_EQ(NamesOnDisk(top + "/" + kZhutuUtf8), std::vector<std::string>{kProductUtf8});
    EXPECT_TRUE(IsDirectory(top + "/" + kZhutuUtf8 + "/" + kProductUtf8));
  }
  // Already there; the root for an empty folder.
  EXPECT_TRUE(EnsureDirectoryPath(tmp_.Path(std::string("t1\\") + kZhutuGbk)));
  EXPECT_TRUE(EnsureDirectoryPath(""));
}

TEST_F(FileOutputTest, EnsureDirectoryPathFailsWhereAFolderCannotBeMade) {
  ASSERT_TRUE(WriteWholeFile(tmp_.Native("plain"), "x"));
  ASSERT_EQ(::symlink("nowhere", tmp_.Native("dangling").c_str()), 0);
  const std::string longName(NAME_MAX + 1, 'n');
  struct Case {
    const char* what;
    Text folder;
    std::string notMade;
  } cases[] = {
      {"parent is a file", tmp_.Path("plain\\sub\\"), tmp_.Native("plain/sub")},
      {"a file has the name", tmp_.Path("plain"), ""},
      {"link to nothing has the name", tmp_.Path("dangling\\sub"), tmp_.Native("nowhere")},
      // Checked before anything is made.
      {"name too long", tmp_.Path("made1\\" + longName + "\\x"), tmp_.Native("made1")},
      {"refused name", tmp_.Path("made2\\a?b\\"), tmp_.Native("made2")},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_FALSE(EnsureDirectoryPath(c.folder));
    if (!c.notMade.empty()) {
      EXPECT_FALSE(EntryExists(c.notMade));
    }
  }
  EXPECT_EQ(ReadWholeFile(tmp_.Native("plain")), "x");
}

TEST_F(FileOutputTest, CreateSizedFileMakesFoldersAndFileAtLength) {
  for (int length : {0, 10, 70000}) {
    SCOPED_TRACE("length " + std::to_string(length));
    const std::string top = "c" + std::to_string(length);
    const Text path = tmp_.Path(top + "\\" + kZhutuGbk + "\\" + kPictureGbk);
    ASSERT_EQ(CreateSizedFile(path, length), kCreateSizedFileOk);
    EXPECT_EQ(NamesOnDisk(tmp_.Native(top)), std::vector<std::string>{kZhutuUtf8});
    const std::string folder = tmp_.Native(top + "/" + kZhutuUtf8);
    EXPECT_EQ(NamesOnDisk(folder), std::vector<std::string>{kPictureUtf8});
    EXPECT_EQ(ReadWholeFile(folder + "/" + kPictureUtf8), std::string(length, '\0'));
  }
}

TEST_F(FileOutputTest, CreateSizedFileSetsTheLengthOfAnExistingFile) {
  struct Case {
    const char* before;
    int length;
    std::string after;
  } cases[] = {
      {"0123456789", 4, "0123"},
      {"ab", 4, std::string("ab\0\0", 4)},
      {"abc", 3, "abc"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string("before '") + c.before + "'");
    ASSERT_TRUE(WriteWholeFile(tmp_.Native("f"), c.before));
    EXPECT_EQ(CreateSizedFile(tmp_.Path("f"), c.length), kCreateSizedFileOk);
    EXPECT_EQ(ReadWholeFile(tmp_.Native("f")), c.after);
  }
}

TEST_F(FileOutputTest, CreateSizedFileReportsFailuresBelowZero) {
  ASSERT_TRUE(WriteWholeFile(tmp_.Native("plain"), "x"));
  ASSERT_TRUE(testing::IsDirectory(tmp_.native()));
  ASSERT_EQ(::mkdir(tmp_.Native("folder").c_str(), 0777), 0);
  std::string tooLong = "deep";
  while (tooLong.size() < PATH_MAX) tooLong += "\\abcdefgh";
  const Text emojiName = Utf8ToGbk("\xF0\x9F\x98\x80.jpg");  // becomes "?.jpg"
  struct Case {
    const char* what;
    Text path;
    int length;
    int want;
    std::string leftAlone;  // a path that must still be what it was
    std::string absent;     // a path that must not exist afterwards
  } cases[] = {
      {"names a folder", tmp_.Path("folder"), 5, -EISDIR, tmp_.Native("folder"), ""},
      {"parent is a file", tmp_.Path("plain\\a.jpg"), 5, -ENOTDIR, tmp_.Native("plain"), ""},
      {"name too long", tmp_.Path(std::string(NAME_MAX + 1, 'n')), 5, -ENAMETOOLONG, "", ""},
      {"path too long", tmp_.Path(tooLong), 5, -ENAMETOOLONG, "", tmp_.Native("deep")},
      {"char GBK lacks", tmp_.Path("q\\" + emojiName), 5, -EINVAL, "", tmp_.Native("q/?.jpg")},
      {"query string", tmp_.Path("q\\a.jpg?x=1"), 5, -EINVAL, "", tmp_.Native("q/a.jpg?x=1")},
      {"negative length, new file deleted", tmp_.Path("neg.jpg"), -1, -EINVAL, "",
       tmp_.Native("neg.jpg")},
      {"empty path", "", 5, -ENOENT, "", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const int got = CreateSizedFile(c.path, c.length);
    EXPECT_EQ(got, c.want);
    EXPECT_LT(got, 0);
    if (!c.absent.empty()) {
      EXPECT_FALSE(EntryExists(c.absent));
    }
  }
  EXPECT_TRUE(IsDirectory(tmp_.Native("folder")));
  EXPECT_EQ(ReadWholeFile(tmp_.Native("plain")), "x");
  // A refused file name still had its folder made first.
  EXPECT_TRUE(IsDirectory(tmp_.Native("q")));
}

TEST_F(FileOutputTest, CreateSizedFileKeepsAFileThatWasThereBefore) {
  ASSERT_TRUE(WriteWholeFile(tmp_.Native("old.jpg"), "0123"));
  EXPECT_EQ(CreateSizedFile(tmp_.Path("old.jpg"), -5), -EINVAL);
  EXPECT_EQ(ReadWholeFile(tmp_.Native("old.jpg")), "0123");
}

TEST_F(FileOutputTest, WritesOverAnExistingFileWithoutCuttingIt) {
  ASSERT_TRUE(WriteWholeFile(tmp_.Native("ten"), "0123456789"));
  const FileHandle h = OpenFileForWrite(tmp_.Path("ten"));
  ASSERT_TRUE(h.IsValid());
  EXPECT_TRUE(WriteBytesToHandle(h, B("abc")));
  EXPECT_EQ(ReadWholeFile(tmp_.Native("ten")), "abc3456789");
  // The position moves on; an empty write is a success that changes nothing.
  EXPECT_TRUE(WriteBytesToHandle(h, B("de")));
  EXPECT_TRUE(WriteBytesToHandle(h, Bytes{}));
  EXPECT_TRUE(CloseFileHandle(h));
  EXPECT_EQ(ReadWholeFile(tmp_.Native("ten")), "abcde56789");
}

TEST_F(FileOutputTest, FailedOpenGivesTheInvalidHandle) {
  ASSERT_EQ(::mkdir(tmp_.Native("folder").c_str(), 0777), 0);
  ASSERT_TRUE(WriteWholeFile(tmp_.Native("plain"), "x"));
  struct Case {
    const char* what;
    Text path;
  } cases[] = {
      {"missing", tmp_.Path("missing.jpg")},
      {"folder", tmp_.Path("folder")},
      {"under a file", tmp_.Path("plain\\a.jpg")},
      {"refused", tmp_.Path("a.jpg?x=1")},
      {"path too long", tmp_.Path(std::string(PATH_MAX, 'a'))},
      {"empty", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const FileHandle h = OpenFileForWrite(c.path);
    EXPECT_FALSE(h.IsValid());
    EXPECT_FALSE(WriteBytesToHandle(h, B("abc")));
    EXPECT_FALSE(CloseFileHandle(h));
  }
  EXPECT_FALSE(EntryExists(tmp_.Native("missing.jpg")));
  EXPECT_EQ(ReadWholeFile(tmp_.Native("plain")), "x");
}

TEST(FileHandleTest, ZeroAndBelowMeanNoFile) {
  for (FileHandle h : {kInvalidFileHandle, FileHandle(0), FileHandle(-1), FileHandle(-77)}) {
    SCOPED_TRACE("handle " + std::to_string(h.value()));
    EXPECT_FALSE(h.IsValid());
    EXPECT_FALSE(WriteBytesToHandle(h, B("abc")));
    EXPECT_FALSE(CloseFileHandle(h));
  }
  // A positive number that no open gave out.
  EXPECT_FALSE(WriteBytesToHandle(FileHandle(2000000000), B("abc")));
  EXPECT_FALSE(CloseFileHandle(FileHandle(2000000000)));
}

TEST_F(FileOutputTest, AnOpenFileIsHeldExclusively) {
  ASSERT_TRUE(WriteWholeFile(tmp_.Native("a.jpg"), "0123"));
  ASSERT_EQ(::mkdir(tmp_.Native("d").c_str(), 0777), 0);
  const FileHandle first = OpenFileForWrite(tmp_.Path("a.jpg"));
  ASSERT_TRUE(first.IsValid());

  // The same file by another spelling of its path is held too.
  for (const Text& same : {tmp_.Path("a.jpg"), tmp_.Path("d\\..\\a.jpg"), tmp_.Path("./a.jpg")}) {
    SCOPED_TRACE("path " + same);
    const FileHandle second = OpenFileForWrite(same);
    EXPECT_FALSE(second.IsValid());
    EXPECT_EQ(CreateSizedFile(same, 1), -EWOULDBLOCK);
  }
  EXPECT_EQ(ReadWholeFile(tmp_.Native("a.jpg")), "0123");

  EXPECT_TRUE(CloseFileHandle(first));
  const FileHandle again = OpenFileForWrite(tmp_.Path("a.jpg"));
  EXPECT_TRUE(again.IsValid());
  EXPECT_NE(again, first);
  EXPECT_TRUE(CloseFileHandle(again));
  EXPECT_EQ(CreateSizedFile(tmp_.Path("a.jpg"), 2), kCreateSizedFileOk);
  EXPECT_EQ(ReadWholeFile(tmp_.Native("a.jpg")), "01");
}

TEST_F(FileOutputTest, AClosedHandleReachesNoLaterFile) {
  ASSERT_TRUE(WriteWholeFile(tmp_.Native("a"), "aaaa"));
  ASSERT_TRUE(WriteWholeFile(tmp_.Native("b"), "bbbb"));
  const FileHandle stale = OpenFileForWrite(tmp_.Path("a"));
  ASSERT_TRUE(stale.IsValid());
  ASSERT_TRUE(CloseFileHandle(stale));
  // The system hands the freed descriptor to the next open.
  const FileHandle live = OpenFileForWrite(tmp_.Path("b"));
  ASSERT_TRUE(live.IsValid());

  EXPECT_FALSE(WriteBytesToHandle(stale, B("XX")));
  EXPECT_FALSE(CloseFileHandle(stale));
  EXPECT_TRUE(WriteBytesToHandle(live, B("YY")));
  EXPECT_TRUE(CloseFileHandle(live));
  EXPECT_EQ(ReadWholeFile(tmp_.Native("a")), "aaaa");
  EXPECT_EQ(ReadWholeFile(tmp_.Native("b")), "YYbb");
}

// The downloader's sequence for one picture, as it runs it: no test between
// the steps, CreateSizedFile only for a missing file.
void SavePictureLike(const Text& path, const Bytes& data) {
  if (!FileExists(path)) CreateSizedFile(path, static_cast<int>(data.size()));
  const FileHandle h = OpenFileForWrite(path);
  WriteBytesToHandle(h, data);
  CloseFileHandle(h);
}

TEST_F(FileOutputTest, PictureSequenceWritesChineseFoldersAsUtf8) {
  const Text folder = tmp_.Path(std::string(kImgs) + "\\" + kProductGbk);
  const Text path = folder + "\\" + kZhutuGbk + "\\" + kPictureGbk;

  SavePictureLike(path, B("new picture"));
  EXPECT_EQ(NamesOnDisk(tmp_.Native(kImgs)), std::vector<std::string>{kProductUtf8});
  const std::string nativeFolder = tmp_.Native(std::string(kImgs) + "/" + kProductUtf8);
  EXPECT_EQ(NamesOnDisk(nativeFolder), std::vector<std::string>{kZhutuUtf8});
  const std::string file = nativeFolder + "/" + kZhutuUtf8 + "/" + kPictureUtf8;
  EXPECT_EQ(NamesOnDisk(nativeFolder + "/" + kZhutuUtf8), std::vector<std::string>{kPictureUtf8});
  EXPECT_EQ(ReadWholeFile(file), "new picture");

  // A second, shorter picture of the same name goes over the first from its
  // first byte; the old tail stays.
  SavePictureLike(path, B("NEW"));
  EXPECT_EQ(ReadWholeFile(file), "NEW picture");

  // A failed download writes an empty file, and leaves an existing one be.
  SavePictureLike(folder + "\\" + kZhutuGbk + "\\empty.jpg", Bytes{});
  EXPECT_EQ(ReadWholeFile(nativeFolder + "/" + kZhutuUtf8 + "/empty.jpg"), "");
  SavePictureLike(path, Bytes{});
  EXPECT_EQ(ReadWholeFile(file), "NEW picture");
}

TEST_F(FileOutputTest, PictureSequenceSkipsARefusedName) {
  const Text path = tmp_.Path("p\\a.jpg?x=1");
  SavePictureLike(path, B("data"));
  EXPECT_TRUE(IsDirectory(tmp_.Native("p")));
  EXPECT_EQ(NamesOnDisk(tmp_.Native("p")), std::vector<std::string>{});
}

TEST_F(FileOutputTest, InvalidGbkBytesBecomeTheReplacementCharacter) {
  // 0xFF never starts a GBK character.
  const Text path = tmp_.Path("a\xFF.jpg");
  ASSERT_EQ(CreateSizedFile(path, 3), kCreateSizedFileOk);
  EXPECT_EQ(NamesOnDisk(tmp_.native()), std::vector<std::string>{"a\xEF\xBF\xBD.jpg"});
  const FileHandle h = OpenFileForWrite(path);
  EXPECT_TRUE(h.IsValid());
  EXPECT_TRUE(WriteBytesToHandle(h, B("xyz")));
  EXPECT_TRUE(CloseFileHandle(h));
  EXPECT_EQ(ReadWholeFile(tmp_.Native("a\xEF\xBF\xBD.jpg")), "xyz");
}

}  // namespace
}  // namespace qv
