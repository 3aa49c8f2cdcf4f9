#include "app/cli/base_folder.h"

#include <sys/stat.h>

#include <filesystem>

#include "app/cli/printable_text.h"
#include "fileio/path.h"

namespace qv {

bool OutputBaseFolder(std::string_view folder, std::string_view currentFolder, Text* base,
                      std::string* error) {
  namespace fs = std::filesystem;
  fs::path path(folder.empty() ? currentFolder : folder);
  if (path.is_relative()) path = fs::path(currentFolder) / path;
  std::string native = path.lexically_normal().string();
  while (native.size() > 1 && native.back() == '/') native.pop_back();

  struct stat st;
  if (::stat(native.c_str(), &st) == 0 && !S_ISDIR(st.st_mode)) {
    *error = "not a folder: '" + PrintableText(native) + "'";
    return false;
  }
  // The workflow keeps paths as GBK with backslashes; a name that does not
  // come back unchanged would send the pictures somewhere else.
  const Text program = PathFromUtf8(native);
  if (native.find('\\') != std::string::npos || PathToUtf8(program) != native) {
    *error = "the folder name cannot be used (a backslash, or a character outside GBK): '" +
             PrintableText(native) + "'";
    return false;
  }
  *base = program;
  return true;
}

}  // namespace qv
