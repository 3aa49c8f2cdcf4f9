#include "fileio/file_system.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <utility>

namespace qv {

FsStatus FsErrorFromErrno(int err) { return err > 0 ? -err : -EIO; }

namespace fs {
namespace {

FsStatus LastError() { return FsErrorFromErrno(errno); }

// open(2), retried when a signal cuts it short.
int OpenRetrying(const std::string& path, int flags, mode_t mode = 0) {
  int fd;
  do {
    fd = ::open(path.c_str(), flags, mode);
  } while (fd < 0 && errno == EINTR);
  return fd;
}

}  // namespace

FsStatus OpenRegularFile(const std::string& path, OpenMode mode, int* fd, bool* created) {
  *fd = -1;
  *created = false;
  // O_NONBLOCK keeps a pipe or device from stalling the open; it is taken
  // off again once the file is known to be a regular one.
  const int base = O_CLOEXEC | O_NOCTTY | O_NONBLOCK;
  int got = -1;
  if (mode == OpenMode::kReadWriteExisting) {
    got = OpenRetrying(path, base | O_RDWR);
  } else {
    // Create with O_EXCL first, so the caller knows whether the file is its
    // own; the second try catches a file removed between the two opens.
    for (int attempt = 0; attempt < 2 && got < 0; ++attempt) {
      got = OpenRetrying(path, base | O_WRONLY | O_CREAT | O_EXCL, 0666);
      if (got >= 0) {
        *created = true;
        break;
      }
      if (errno != EEXIST) break;
      got = OpenRetrying(path, base | O_WRONLY);
      if (got < 0 && errno != ENOENT) break;
    }
  }
  if (got < 0) return LastError();

  struct stat st;
  if (::fstat(got, &st) != 0) {
    const FsStatus status = LastError();
    ::close(got);
    return status;
  }
  if (!S_ISREG(st.st_mode)) {
    ::close(got);
    return S_ISDIR(st.st_mode) ? -EISDIR : -EINVAL;
  }
  const int flags = ::fcntl(got, F_GETFL);
  if (flags < 0 || ::fcntl(got, F_SETFL, flags & ~O_NONBLOCK) != 0) {
    const FsStatus status = LastError();
    ::close(got);
    return status;
  }
  *fd = got;
  return kFsOk;
}

FsStatus LockExclusive(int fd) {
  int rc;
  do {
    rc = ::flock(fd, LOCK_EX | LOCK_NB);
  } while (rc != 0 && errno == EINTR);
  return rc == 0 ? kFsOk : LastError();
}

FsStatus CheckNotLocked(const std::string& path) {
  struct stat st;
  if (::lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return kFsOk;
  const int fd = OpenRetrying(path, O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK | O_NOFOLLOW);
  if (fd < 0) return kFsOk;
  const FsStatus status = LockExclusive(fd);
  ::close(fd);  // releases the lock this probe may have taken
  return status == -EWOULDBLOCK ? status : kFsOk;
}

FsStatus SetFileLength(int fd, std::int64_t length) {
  if (length < 0) return -EINVAL;
  int rc;
  do {
    rc = ::ftruncate(fd, static_cast<off_t>(length));
  } while (rc != 0 && errno == EINTR);
  return rc == 0 ? kFsOk : LastError();
}

FsStatus WriteAll(int fd, ByteView data) {
  size_t done = 0;
  while (done < data.size()) {
    const size_t chunk = std::min<size_t>(data.size() - done, SSIZE_MAX);
    const ssize_t n = ::write(fd, data.data() + done, chunk);
    if (n < 0) {
      if (errno == EINTR) continue;
      return LastError();
    }
    if (n == 0) return -EIO;
    done += static_cast<size_t>(n);
  }
  return kFsOk;
}

FsStatus CloseFile(int fd) {
  // Linux frees the descriptor even when close reports an error, so it is
  // never retried.
  return ::close(fd) == 0 ? kFsOk : LastError();
}

FsStatus MakeDir(const std::string& path) {
  return ::mkdir(path.c_str(), 0777) == 0 ? kFsOk : LastError();
}

FsStatus Unlink(const std::string& path) {
  return ::unlink(path.c_str()) == 0 ? kFsOk : LastError();
}

FsStatus KindOf(const std::string& path, bool follow, EntryKind* kind) {
  struct stat st;
  const int rc = follow ? ::stat(path.c_str(), &st) : ::lstat(path.c_str(), &st);
  if (rc != 0) {
    *kind = EntryKind::kMissing;
    return errno == ENOENT ? kFsOk : LastError();
  }
  if (S_ISREG(st.st_mode))
    *kind = EntryKind::kFile;
  else if (S_ISDIR(st.st_mode))
    *kind = EntryKind::kDirectory;
  else
    *kind = EntryKind::kOther;
  return kFsOk;
}

FsStatus ListDirectory(const std::string& path, std::vector<std::string>* names) {
  names->clear();
  DIR* dir = ::opendir(path.c_str());
  if (dir == nullptr) return LastError();
  FsStatus status = kFsOk;
  for (;;) {
    errno = 0;
    const dirent* entry = ::readdir(dir);
    if (entry == nullptr) {
      if (errno != 0) status = LastError();
      break;
    }
    names->emplace_back(entry->d_name);
  }
  ::closedir(dir);
  return status;
}

FsStatus ExecutablePath(std::string* path) {
  path->clear();
  std::string buffer(PATH_MAX, '\0');
  for (;;) {
    const ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (n < 0) return LastError();
    if (static_cast<size_t>(n) < buffer.size()) {
      buffer.resize(static_cast<size_t>(n));
      break;
    }
    if (buffer.size() >= (1u << 20)) return -ENAMETOOLONG;
    buffer.resize(buffer.size() * 2);  // the link may have been cut short
  }
  *path = std::move(buffer);
  return kFsOk;
}

}  // namespace fs
}  // namespace qv
