// Where the imgs\ folder goes when the settings name no base folder: the
// program's own folder when it is writable, else the user's pictures folder.
#ifndef QV_APP_WORKFLOW_PICTURE_FOLDER_H_
#define QV_APP_WORKFLOW_PICTURE_FOLDER_H_

#include <functional>
#include <string>
#include <string_view>

#include "core/types.h"

namespace qv {

// Reads an environment variable: null (or empty) when it is not set.
using EnvLookup = std::function<const char*(const char*)>;

// The user's pictures folder as a file-system path (UTF-8, '/'), without a
// trailing '/': $XDG_PICTURES_DIR when set; else the XDG_PICTURES_DIR line of
// $XDG_CONFIG_HOME/user-dirs.dirs ($HOME/.config/user-dirs.dirs when
// XDG_CONFIG_HOME is not set), its quotes removed and a leading "$HOME"
// expanded; else $HOME/Pictures. A value that is neither absolute nor
// "$HOME"-based is passed over, as the XDG tools do.
std::string UserPicturesFolder(const EnvLookup& env);

// runDirectory when runDirectoryWritable, else UserPicturesFolder(env) as a
// program path (GBK, backslashes).
Text ChooseBaseFolder(std::string_view runDirectory, bool runDirectoryWritable,
                      const EnvLookup& env);

// Whether the current user may create files in the folder at programPath
// (GBK, backslashes; empty is the root).
bool IsWritableFolder(std::string_view programPath);

// ChooseBaseFolder for RunDirectory() and the process environment; HOME,
// when unset, is the user's home from the password database.
Text DefaultBaseFolder();

}  // namespace qv

#endif  // QV_APP_WORKFLOW_PICTURE_FOLDER_H_
