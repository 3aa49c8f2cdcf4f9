#include "fileio/file_ops.h"

#include <errno.h>

#include <string>
#include <vector>

#include "fileio/file_system.h"
#include "fileio/path.h"

namespace qv {

bool FileExists(std::string_view path) {
  std::string native;
  if (ToNativePath(path, &native, Wildcards::kAllowedInLastName) != kFsOk) return false;
  if (native.back() == '/') return false;

  const size_t lastSlash = native.rfind('/');
  const size_t nameStart = lastSlash == std::string::npos ? 0 : lastSlash + 1;
  const std::string_view name = std::string_view(native).substr(nameStart);
  if (name.find_first_of("*?") == std::string_view::npos) {
    fs::EntryKind kind;
    return fs::KindOf(native, /*follow=*/false, &kind) == kFsOk && kind != fs::EntryKind::kMissing;
  }

  const std::string folder = nameStart == 0 ? std::string(".") : native.substr(0, nameStart);
  std::vector<std::string> names;
  if (fs::ListDirectory(folder, &names) != kFsOk) return false;
  for (const std::string& entry : names)
    if (MatchesWildcard(name, entry)) return true;
  return false;
}

bool MakeDirectory(std::string_view path) {
  std::string native;
  return ToNativePath(path, &native) == kFsOk && fs::MakeDir(native) == kFsOk;
}

bool RemoveFile(std::string_view path) {
  std::string native;
  return ToNativePath(path, &native) == kFsOk && fs::CheckNotLocked(native) == kFsOk &&
         fs::Unlink(native) == kFsOk;
}

Text RunDirectory() {
  std::string exe;
  if (fs::ExecutablePath(&exe) != kFsOk) return ".";
  const size_t lastSlash = exe.rfind('/');
  if (lastSlash == std::string::npos) return ".";
  return PathFromUtf8(exe.substr(0, lastSlash));
}

}  // namespace qv
