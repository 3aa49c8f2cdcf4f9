// A scratch folder for the file tests, and small POSIX helpers that look at
// the disk without going through the code under test.
//
// TempFolder makes a fresh folder under $TMPDIR (or /tmp) and removes it,
// with everything in it, when it goes out of scope. Tests write nowhere else.
#ifndef QV_FILEIO_TEST_FOLDER_H_
#define QV_FILEIO_TEST_FOLDER_H_

#include <dirent.h>
#include <fcntl.h>
#include <ftw.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "core/types.h"
#include "fileio/path.h"

namespace qv::testing {

class TempFolder {
 public:
  TempFolder() {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = (tmp != nullptr && *tmp != '\0') ? tmp : "/tmp";
    pattern += "/qv-fileio-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) {
      ADD_FAILURE() << "mkdtemp failed for " << pattern;
      return;
    }
    native_ = pattern;
  }
  ~TempFolder() {
    if (native_.empty()) return;
    ::nftw(
        native_.c_str(),
        [](const char* p, const struct stat*, int, struct FTW*) {
          ::remove(p);  // keep going: remove what can be removed
          return 0;
        },
        16, FTW_DEPTH | FTW_PHYS);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  bool ok() const { return !native_.empty(); }
  // The folder as a file-system path (UTF-8, '/').
  const std::string& native() const { return native_; }
  // A GBK program path inside the folder: the folder, a backslash, rel.
  Text Path(std::string_view rel) const { return PathFromUtf8(native_) + "\\" + Text(rel); }
  // A file-system path inside the folder.
  std::string Native(std::string_view utf8Rel) const {
    return native_ + "/" + std::string(utf8Rel);
  }

 private:
  std::string native_;
};

inline bool IsDirectory(const std::string& native) {
  struct stat st;
  return ::stat(native.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

inline bool IsRegularFile(const std::string& native) {
  struct stat st;
  return ::lstat(native.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

inline bool EntryExists(const std::string& native) {
  struct stat st;
  return ::lstat(native.c_str(), &st) == 0;
}

// The whole file, or "<missing>" when it cannot be opened.
inline std::string ReadWholeFile(const std::string& native) {
  FILE* f = std::fopen(native.c_str(), "rb");
  if (f == nullptr) return "<missing>";
  std::string out;
  char buf[4096];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) out.append(buf, n);
  std::fclose(f);
  return out;
}

inline bool WriteWholeFile(const std::string& native, std::string_view content) {
  FILE* f = std::fopen(native.c_str(), "wb");
  if (f == nullptr) return false;
  const bool ok = std::fwrite(content.data(), 1, content.size(), f) == content.size();
  return std::fclose(f) == 0 && ok;
}

// The names in a folder as readdir gives them, without "." and "..", sorted.
inline std::vector<std::string> NamesOnDisk(const std::string& native) {
  std::vector<std::string> names;
  DIR* dir = ::opendir(native.c_str());
  if (dir == nullptr) return names;
  while (const dirent* e = ::readdir(dir)) {
    const std::string name = e->d_name;
    if (name != "." && name != "..") names.push_back(name);
  }
  ::closedir(dir);
  std::sort(names.begin(), names.end());
  return names;
}

inline Bytes B(std::string_view s) { return Bytes(s.begin(), s.end()); }

}  // namespace qv::testing

#endif  // QV_FILEIO_TEST_FOLDER_H_
