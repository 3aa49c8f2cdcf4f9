#include "app/workflow/picture_folder.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>

#include "fileio/file_ops.h"
#include "fileio/path.h"

namespace qv {
namespace {

std::string Env(const EnvLookup& env, const char* name) {
  const char* value = env ? env(name) : nullptr;
  return value != nullptr ? std::string(value) : std::string();
}

std::string WithoutTrailingSlashes(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

// A user-dirs.dirs value: "$HOME/x" or "/x"; anything else is empty.
std::string ExpandHome(std::string_view value, const std::string& home) {
  if (value.starts_with("$HOME")) {
    const std::string_view rest = value.substr(5);
    if (!rest.empty() && rest.front() != '/') return {};
    if (home.empty()) return {};
    return home + std::string(rest);
  }
  if (value.starts_with("/")) return std::string(value);
  return {};
}

// The XDG_PICTURES_DIR value of a user-dirs.dirs file, or empty.
std::string PicturesLine(const std::string& file, const std::string& home) {
  std::ifstream in(file);
  std::string line;
  constexpr std::string_view kKey = "XDG_PICTURES_DIR=";
  while (std::getline(in, line)) {
    std::string_view v = line;
    while (!v.empty() && (v.front() == ' ' || v.front() == '\t')) v.remove_prefix(1);
    if (!v.starts_with(kKey)) continue;
    v.remove_prefix(kKey.size());
    while (!v.empty() && (v.back() == ' ' || v.back() == '\t' || v.back() == '\r')) {
      v.remove_suffix(1);
    }
    if (v.size() >= 2 && v.front() == '"' && v.back() == '"') v = v.substr(1, v.size() - 2);
    return ExpandHome(v, home);
  }
  return {};
}

}  // namespace

std::string UserPicturesFolder(const EnvLookup& env) {
  const std::string home = WithoutTrailingSlashes(Env(env, "HOME"));
  const std::string fromEnv = ExpandHome(Env(env, "XDG_PICTURES_DIR"), home);
  if (!fromEnv.empty()) return WithoutTrailingSlashes(fromEnv);

  std::string config = Env(env, "XDG_CONFIG_HOME");
  if (config.empty() && !home.empty()) config = home + "/.config";
  if (!config.empty()) {
    const std::string fromFile =
        PicturesLine(WithoutTrailingSlashes(config) + "/user-dirs.dirs", home);
    if (!fromFile.empty()) return WithoutTrailingSlashes(fromFile);
  }
  return home + "/Pictures";
}

Text ChooseBaseFolder(std::string_view runDirectory, bool runDirectoryWritable,
                      const EnvLookup& env) {
  if (runDirectoryWritable) return Text(runDirectory);
  std::string native = UserPicturesFolder(env);
  if (native == "/") native.clear();  // the root is the empty program path
  return PathFromUtf8(native);
}

bool IsWritableFolder(std::string_view programPath) {
  std::string native = PathToUtf8(programPath);
  if (native.empty()) native = "/";
  return ::access(native.c_str(), W_OK | X_OK) == 0;
}

Text DefaultBaseFolder() {
  const Text run = RunDirectory();
  return ChooseBaseFolder(run, IsWritableFolder(run), [](const char* name) -> const char* {
    const char* value = std::getenv(name);
    if ((value == nullptr || *value == '\0') && std::string_view(name) == "HOME") {
      thread_local std::string home;
      passwd entry;
      passwd* found = nullptr;
      char buffer[4096];
      if (::getpwuid_r(::getuid(), &entry, buffer, sizeof buffer, &found) == 0 &&
          found != nullptr && found->pw_dir != nullptr) {
        home = found->pw_dir;
        return home.c_str();
      }
    }
    return value;
  });
}

}  // namespace qv
