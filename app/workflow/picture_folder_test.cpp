#include "app/workflow/picture_folder.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <map>
#include <string>

#include "fileio/file_ops.h"
#include "fileio/path.h"
#include "fileio/test_folder.h"

namespace qv {
namespace {

using testing::TempFolder;
using testing::WriteWholeFile;

// An environment of the given variables only.
EnvLookup EnvOf(const std::map<std::string, std::string>& vars) {
  return [vars](const char* name) -> const char* {
    const auto it = vars.find(name);
    return it == vars.end() ? nullptr : it->second.c_str();
  };
}

TEST(PictureFolderTest, UserPicturesFolderFollowsTheXdgRules) {
  TempFolder tmp;
  ASSERT_TRUE(tmp.ok());
  const std::string home = tmp.native() + "/home";
  const std::string config = tmp.native() + "/cfg";
  ASSERT_EQ(::mkdir(home.c_str(), 0700), 0);
  ASSERT_EQ(::mkdir((home + "/.config").c_str(), 0700), 0);
  ASSERT_EQ(::mkdir(config.c_str(), 0700), 0);
  ASSERT_TRUE(WriteWholeFile(home + "/.config/user-dirs.dirs",
                             "# written by xdg-user-dirs-update\n"
                             "XDG_DESKTOP_DIR=\"$HOME/Desktop\"\n"
                             "XDG_PICTURES_DIR=\"$HOME/图片\"\n"));
  ASSERT_TRUE(WriteWholeFile(config + "/user-dirs.dirs", "  XDG_PICTURES_DIR=\"/srv/pics/\"  \n"));
  const std::string relativeConfig = tmp.native() + "/rel";
  ASSERT_EQ(::mkdir(relativeConfig.c_str(), 0700), 0);
  ASSERT_TRUE(WriteWholeFile(relativeConfig + "/user-dirs.dirs", "XDG_PICTURES_DIR=\"pics\"\n"));

  struct Row {
    const char* name;
    std::map<std::string, std::string> env;
    std::string want;
  };
  const Row rows[] = {
      {"variable wins", {{"HOME", home}, {"XDG_PICTURES_DIR", "/data/p/"}}, "/data/p"},
      {"variable with $HOME", {{"HOME", home}, {"XDG_PICTURES_DIR", "$HOME/P"}}, home + "/P"},
      {"empty variable is unset", {{"HOME", home}, {"XDG_PICTURES_DIR", ""}}, home + "/图片"},
      {"default config file", {{"HOME", home}}, home + "/图片"},
      {"XDG_CONFIG_HOME", {{"HOME", home}, {"XDG_CONFIG_HOME", config}}, "/srv/pics"},
      {"relative value ignored",
       {{"HOME", home}, {"XDG_CONFIG_HOME", relativeConfig}},
       home + "/Pictures"},
      {"no config file",
       {{"HOME", home}, {"XDG_CONFIG_HOME", tmp.native() + "/none"}},
       home + "/Pictures"},
      {"trailing slash of HOME",
       {{"HOME", home + "/"}, {"XDG_CONFIG_HOME", "/nonexistent"}},
       home + "/Pictures"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(UserPicturesFolder(EnvOf(row.env)), row.want);
  }
}

TEST(PictureFolderTest, ChoosesTheRunFolderOnlyWhenWritable) {
  const EnvLookup env = EnvOf({{"HOME", "/home/u"}, {"XDG_PICTURES_DIR", "/home/u/图片"}});
  EXPECT_EQ(ChooseBaseFolder("\\opt\\qv", true, env), "\\opt\\qv");
  EXPECT_EQ(ChooseBaseFolder("\\opt\\qv", false, env), PathFromUtf8("/home/u/图片"));
  EXPECT_EQ(ChooseBaseFolder("\\opt\\qv", false, EnvOf({{"XDG_PICTURES_DIR", "/"}})), "");
}

TEST(PictureFolderTest, WritableFolder) {
  TempFolder tmp;
  ASSERT_TRUE(tmp.ok());
  EXPECT_TRUE(IsWritableFolder(PathFromUtf8(tmp.native())));
  const std::string locked = tmp.Native("locked");
  ASSERT_EQ(::mkdir(locked.c_str(), 0500), 0);
  // Root ignores the mode bits; the answer is then true, which is right.
  EXPECT_EQ(IsWritableFolder(PathFromUtf8(locked)), ::geteuid() == 0);
  EXPECT_FALSE(IsWritableFolder(PathFromUtf8(tmp.Native("missing"))));
}

TEST(PictureFolderTest, DefaultIsTheWritableRunFolder) {
  // The test program's folder is the build folder, which is writable.
  ASSERT_TRUE(IsWritableFolder(RunDirectory()));
  EXPECT_EQ(DefaultBaseFolder(), RunDirectory());
}

}  // namespace
}  // namespace qv
