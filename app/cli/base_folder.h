// The folder qvpics-cli saves under (the -o folder, else the current one),
// turned into the base folder the download workflow takes: an absolute
// program path, GBK with backslashes (fileio/path.h).
#ifndef QV_APP_CLI_BASE_FOLDER_H_
#define QV_APP_CLI_BASE_FOLDER_H_

#include <string>
#include <string_view>

#include "core/types.h"

namespace qv {

// The base folder for folder (UTF-8, as given on the command line; empty
// means currentFolder) relative to currentFolder (absolute, UTF-8), with
// "." and ".." resolved by name and no trailing separator. False, with a
// one-line reason in *error, when the folder exists but is no folder, or
// when its name cannot be carried by the program's GBK paths (a character
// GBK lacks, invalid UTF-8, or a backslash inside a name). A folder that
// does not exist yet is fine: the first saved picture makes it.
bool OutputBaseFolder(std::string_view folder, std::string_view currentFolder, Text* base,
                      std::string* error);

}  // namespace qv

#endif  // QV_APP_CLI_BASE_FOLDER_H_
