// The POSIX calls under the file helpers, in one place.
//
// Paths here are file-system paths: UTF-8 with '/' separators, holding no
// zero byte (path.h makes them from the program's GBK paths). Every call
// reports through an FsStatus: 0 for success, otherwise the failed call's
// errno, negated. A failure is therefore always below zero, so it can never
// be mistaken for success (0) nor for the success value 1 of
// CreateSizedFile, although EPERM is 1. EINTR is retried inside.
//
// Files opened here are regular files only, opened close-on-exec. The
// exclusive lock is flock(LOCK_EX | LOCK_NB): it conflicts with any other
// open of the same file that asks for it, in this process or another.
#ifndef QV_FILEIO_FILE_SYSTEM_H_
#define QV_FILEIO_FILE_SYSTEM_H_

#include <cstdint>
#include <string>
#include <vector>

#include "core/bytes_ops.h"

namespace qv {

// 0, or a failed call's errno negated (always < 0).
using FsStatus = int;
inline constexpr FsStatus kFsOk = 0;

// The one place an errno becomes an FsStatus. An errno of 0 or less, which a
// failing call should never leave, becomes -EIO so the failure stays one.
FsStatus FsErrorFromErrno(int err);

namespace fs {

enum class OpenMode {
  kWriteCreate,        // write only; created when missing (mode 0666 less umask)
  kReadWriteExisting,  // read and write; the file must exist
};

// Opens the regular file at path at position 0 without truncating it and
// stores the descriptor in *fd. *created tells whether this call made the
// file. Anything that is not a regular file fails (-EISDIR for a folder,
// -EINVAL for a device, pipe or socket) without blocking.
FsStatus OpenRegularFile(const std::string& path, OpenMode mode, int* fd, bool* created);

// Takes the exclusive lock on fd without waiting: -EWOULDBLOCK while another
// open of the file holds it. The lock goes with the descriptor's close.
FsStatus LockExclusive(int fd);

// -EWOULDBLOCK when another open holds the exclusive lock on the regular
// file at path, else 0 (also when path is missing or not a regular file).
FsStatus CheckNotLocked(const std::string& path);

// Sets the file's length to exactly `length` bytes: a longer file is cut, a
// shorter one extended with zero bytes. A negative length gives -EINVAL.
FsStatus SetFileLength(int fd, std::int64_t length);

// Writes all of data at the descriptor's position, advancing it, retrying
// short writes. Fails (-EIO when the call gives no reason) when not every
// byte could be written.
FsStatus WriteAll(int fd, ByteView data);

FsStatus CloseFile(int fd);

// One folder, mode 0777 less umask; its parent must exist.
FsStatus MakeDir(const std::string& path);

// unlink(2): removes a file or symbolic link, never a folder.
FsStatus Unlink(const std::string& path);

enum class EntryKind { kMissing, kFile, kDirectory, kOther };

// What is at path; kMissing (with 0) when nothing is. A symbolic link is
// followed when follow is true, else reported as kOther.
FsStatus KindOf(const std::string& path, bool follow, EntryKind* kind);

// The names in the folder at path, "." and ".." included, in no set order.
FsStatus ListDirectory(const std::string& path, std::vector<std::string>* names);

// The path of the running program's file, from /proc/self/exe.
FsStatus ExecutablePath(std::string* path);

}  // namespace fs
}  // namespace qv

#endif  // QV_FILEIO_FILE_SYSTEM_H_
