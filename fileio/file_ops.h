// Asking after files and folders, making and removing them, and the
// program's own folder.
//
// Paths are the program's GBK paths with backslash separators (path.h);
// names holding " * < > ? | or control bytes are refused, except the
// wildcards of FileExists. Each routine answers true or false and never
// throws; the reason of a failure is not kept.
#ifndef QV_FILEIO_FILE_OPS_H_
#define QV_FILEIO_FILE_OPS_H_

#include <string_view>

#include "core/types.h"

namespace qv {

// True when a directory search for path finds an entry, a file or a folder
// (a symbolic link counts as the entry it is, even when it leads nowhere).
// '*' and '?' in the last name match as a directory search does (see
// MatchesWildcard), "." and ".." included; in any other name they find
// nothing. An empty path, or one ending in a separator, finds nothing.
bool FileExists(std::string_view path);

// Makes one folder. False when its parent is missing, when something of
// that name is there already, or when the name is refused.
bool MakeDirectory(std::string_view path);

// Deletes a file. False when it is missing, is a folder, is refused, or is
// held open by OpenFileForWrite or CreateSizedFile.
bool RemoveFile(std::string_view path);

// The folder that holds the running program's file, from /proc/self/exe, as
// a program path: GBK with backslash separators and no trailing backslash,
// so that RunDirectory() + "\\imgs\\" + name names a real file ("/work/bin"
// gives "\\work\\bin"; the root gives the empty text). When the program's
// file cannot be found, "." (the current folder). A folder name that GBK
// cannot hold comes back with '?' in it, which the file routines refuse.
Text RunDirectory();

}  // namespace qv

#endif  // QV_FILEIO_FILE_OPS_H_
