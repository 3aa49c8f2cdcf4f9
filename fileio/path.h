// The program's paths and the file system's.
//
// A path inside the program is GBK text whose folders are joined with
// backslashes (RunDirectory() + "\\imgs\\" + name). The file system takes
// UTF-8 with '/' between folders. The text is converted to UTF-8 first and
// the separators are swapped after, so a backslash that is the second byte
// of a two-byte GBK character (0x95 0x5C is one character) stays inside it.
// Both '\' and '/' separate folders; a name holding a backslash of its own
// cannot be expressed. Invalid GBK bytes become U+FFFD in the name, as every
// conversion in the program does; a character that GBK could not hold has
// already become '?' and is refused below.
//
// Names are refused as the Windows file functions refuse them, so that the
// downloader skips the same files it always skipped (a picture address with
// a query string, for one): the characters " * < > ? | and the control
// bytes 1 to 31. '*' and '?' are also FileExists's wildcards.
#ifndef QV_FILEIO_PATH_H_
#define QV_FILEIO_PATH_H_

#include <string>
#include <string_view>

#include "core/types.h"
#include "fileio/file_system.h"

namespace qv {

// `path` in UTF-8 with every separator made '/'. Nothing is checked.
std::string PathToUtf8(std::string_view path);

// A file-system path as the program's text: GBK with '\' separators. A
// character GBK lacks, or an invalid UTF-8 byte, becomes '?'.
Text PathFromUtf8(std::string_view native);

enum class Wildcards {
  kRefused,            // every name must be a plain name
  kAllowedInLastName,  // '*' and '?' may stand in the last name
};

// 0 when `native` may go to the file system, else:
//   -ENOENT        it is empty;
//   -ENAMETOOLONG  it has PATH_MAX bytes or more, or a name over NAME_MAX;
//   -EINVAL        it holds a zero byte or a refused character.
FsStatus CheckNativePath(std::string_view native, Wildcards wildcards);

// PathToUtf8 and CheckNativePath in one: stores the file-system path in
// *native and returns 0, or returns the check's error.
FsStatus ToNativePath(std::string_view path, std::string* native,
                      Wildcards wildcards = Wildcards::kRefused);

// Whether the UTF-8 name matches the pattern as a directory search matches:
// '*' stands for any run of characters, '?' for exactly one character (not
// one byte); every other character only for itself, case included, as the
// file system compares names. An invalid UTF-8 byte counts as one character.
bool MatchesWildcard(std::string_view pattern, std::string_view name);

}  // namespace qv

#endif  // QV_FILEIO_PATH_H_
