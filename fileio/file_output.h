// The helpers that write downloaded pictures into files.
//
// The downloader runs them in a row without testing in between:
// CreateSizedFile (only when the file is missing), OpenFileForWrite,
// WriteBytesToHandle, CloseFileHandle. Each reports failure only through its
// result, and the later ones accept the invalid handle of a failed open and
// do nothing with it. Nothing here throws.
//
// Paths are the program's GBK paths with backslash separators (path.h);
// names holding " * < > ? | or control bytes are refused. A folder path, as
// DirectoryOfPath gives it, ends with a backslash.
//
// Files are held exclusively while open: an open by CreateSizedFile or
// OpenFileForWrite, and RemoveFile, fail while another open of the same file
// by these helpers (in this process or another) holds it.
//
// Thread-safe.
#ifndef QV_FILEIO_FILE_OUTPUT_H_
#define QV_FILEIO_FILE_OUTPUT_H_

#include <cstdint>
#include <string_view>

#include "core/bytes_ops.h"
#include "core/types.h"

namespace qv {

// An open file of OpenFileForWrite, or none. It is a number, copied freely
// like the handle it stands for; any value of 0 or less means no file. A
// closed handle's number is never given out again, so a copy kept after
// CloseFileHandle cannot reach a file opened later.
class FileHandle {
 public:
  constexpr FileHandle() = default;  // no file
  constexpr explicit FileHandle(std::int32_t value) : value_(value) {}

  constexpr std::int32_t value() const { return value_; }
  constexpr bool IsValid() const { return value_ > 0; }

  friend constexpr bool operator==(FileHandle, FileHandle) = default;

 private:
  std::int32_t value_ = -1;
};

inline constexpr FileHandle kInvalidFileHandle{};

// CreateSizedFile's result on success.
inline constexpr int kCreateSizedFileOk = 1;

// Creates the missing folders above path (a failure there is not reported by
// itself: the open that follows fails), then opens path, creating it when
// missing and never emptying it, and sets its length to exactly `length`
// bytes: a shorter file is extended with zero bytes for the caller to
// overwrite, a longer one cut.
//
// Returns kCreateSizedFileOk, or the failed step's errno negated, which is
// always below zero: -EISDIR when path is a folder, -ENOTDIR or -ENOENT when
// a folder above it could not be made, -EINVAL for a refused name or a
// negative length, -ENAMETOOLONG, -EWOULDBLOCK while another open holds the
// file. When the length cannot be set, a file that this call created is
// closed and deleted; a file that was there before is left in place.
int CreateSizedFile(std::string_view path, int length);

// Opens the existing regular file at path for reading and writing at
// position 0, without emptying it, and holds it exclusively until
// CloseFileHandle. kInvalidFileHandle when it is missing, is not a regular
// file, is refused, or another open holds it.
FileHandle OpenFileForWrite(std::string_view path);

// Writes all of data at the handle's position, which then moves past it.
// True when every byte was written (an empty data writes nothing and is
// true). False, with nothing written, for an invalid or closed handle; false
// also when the file took only part of the data.
bool WriteBytesToHandle(FileHandle handle, ByteView data);

// Closes the file and releases it. Does nothing for an invalid or already
// closed handle and then returns false. The handle itself is not changed.
bool CloseFileHandle(FileHandle handle);

// path up to and including its last backslash (GBK-aware: the second byte of
// a two-byte character is never taken for one); empty when it has none.
Text DirectoryOfPath(std::string_view path);

// Creates every missing folder of `folder`, with or without its final
// backslash; an empty folder means the root. True when all of them exist as
// folders afterwards. False when one cannot be made (its parent is a file,
// no rights): the folders made before it stay. A path with a refused or
// too long name makes nothing and is false.
bool EnsureDirectoryPath(std::string_view folder);

}  // namespace qv

#endif  // QV_FILEIO_FILE_OUTPUT_H_
