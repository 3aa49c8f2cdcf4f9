#include "fileio/file_output.h"

#include <errno.h>

#include <limits>
#include <mutex>
#include <string>
#include <unordered_map>

#include "core/text_ops.h"
#include "fileio/file_system.h"
#include "fileio/path.h"

namespace qv {
namespace {

// The files open through FileHandles. Numbers count up and are never reused,
// so a stale copy of a closed handle finds nothing here even when the
// system has given its descriptor to another file. Writes run under the
// lock, so a close cannot pull a descriptor away mid-write.
class OpenFiles {
 public:
  // A new handle for fd, or kInvalidFileHandle (fd closed) when the numbers
  // have run out.
  FileHandle Add(int fd) {
    std::lock_guard<std::mutex> lock(mu_);
    if (last_ == std::numeric_limits<std::int32_t>::max()) {
      fs::CloseFile(fd);
      return kInvalidFileHandle;
    }
    ++last_;
    fds_.emplace(last_, fd);
    return FileHandle(last_);
  }

  bool Write(FileHandle handle, ByteView data) {
    std::lock_guard<std::mutex> lock(mu_);
    const auto it = fds_.find(handle.value());
    return it != fds_.end() && fs::WriteAll(it->second, data) == kFsOk;
  }

  bool Close(FileHandle handle) {
    int fd;
    {
      std::lock_guard<std::mutex> lock(mu_);
      const auto it = fds_.find(handle.value());
      if (it == fds_.end()) return false;
      fd = it->second;
      fds_.erase(it);
    }
    return fs::CloseFile(fd) == kFsOk;
  }

 private:
  std::mutex mu_;
  std::unordered_map<std::int32_t, int> fds_;
  std::int32_t last_ = 0;
};

OpenFiles& TheOpenFiles() {
  static OpenFiles* files = new OpenFiles;  // lives as long as the process
  return *files;
}

// Opens and locks; on any failure nothing stays open.
FsStatus OpenExclusive(const std::string& native, fs::OpenMode mode, int* fd, bool* created) {
  FsStatus status = fs::OpenRegularFile(native, mode, fd, created);
  if (status != kFsOk) return status;
  status = fs::LockExclusive(*fd);
  if (status != kFsOk) {
    // Held by someone else: even a file that this open created is theirs
    // now, so it is not deleted.
    fs::CloseFile(*fd);
    *fd = -1;
  }
  return status;
}

// Makes every folder of the file-system path `native`, from the top down;
// one that is already there, or a link to one, is fine.
bool MakeFolders(const std::string& native) {
  if (CheckNativePath(native, Wildcards::kRefused) != kFsOk) return false;
  for (size_t end = 0; end <= native.size(); ++end) {
    if (end < native.size() && native[end] != '/') continue;
    if (end == 0 || native[end - 1] == '/') continue;  // the root or an empty name
    const std::string prefix = native.substr(0, end);
    if (fs::MakeDir(prefix) == kFsOk) continue;
    fs::EntryKind kind;
    if (fs::KindOf(prefix, /*follow=*/true, &kind) != kFsOk || kind != fs::EntryKind::kDirectory)
      return false;
  }
  return true;
}

}  // namespace

int CreateSizedFile(std::string_view path, int length) {
  // The folders are made from the whole path's conversion, so that '/' also
  // separates them; their failure shows in the open below.
  const std::string native = PathToUtf8(path);
  const size_t lastSlash = native.rfind('/');
  if (lastSlash != std::string::npos) MakeFolders(native.substr(0, lastSlash + 1));

  FsStatus status = CheckNativePath(native, Wildcards::kRefused);
  if (status != kFsOk) return status;
  int fd;
  bool created;
  status = OpenExclusive(native, fs::OpenMode::kWriteCreate, &fd, &created);
  if (status != kFsOk) return status;

  status = fs::SetFileLength(fd, length);
  const FsStatus closed = fs::CloseFile(fd);
  if (status == kFsOk) status = closed;
  if (status != kFsOk) {
    if (created) fs::Unlink(native);
    return status;
  }
  return kCreateSizedFileOk;
}

FileHandle OpenFileForWrite(std::string_view path) {
  std::string native;
  if (ToNativePath(path, &native) != kFsOk) return kInvalidFileHandle;
  int fd;
  bool created;
  if (OpenExclusive(native, fs::OpenMode::kReadWriteExisting, &fd, &created) != kFsOk)
    return kInvalidFileHandle;
  return TheOpenFiles().Add(fd);
}

bool WriteBytesToHandle(FileHandle handle, ByteView data) {
  if (!handle.IsValid()) return false;
  return TheOpenFiles().Write(handle, data);
}

bool CloseFileHandle(FileHandle handle) {
  if (!handle.IsValid()) return false;
  return TheOpenFiles().Close(handle);
}

Text DirectoryOfPath(std::string_view path) { return TextLeft(path, FindTextReverse(path, "\\")); }

bool EnsureDirectoryPath(std::string_view folder) {
  return MakeFolders(PathToUtf8(folder.empty() ? std::string_view("\\") : folder));
}

}  // namespace qv
