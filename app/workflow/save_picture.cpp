#include "app/workflow/save_picture.h"

#include <climits>
#include <string>

#include "core/text_ops.h"
#include "fileio/file_output.h"
#include "fileio/path.h"
#include "text/codepage.h"
#include "web/web_request_com.h"

namespace qv {
namespace {

bool Aborted(const std::atomic<bool>* abort) { return abort != nullptr && abort->load(); }

}  // namespace

Text PictureFileName(std::string_view address) {
  const TextArray fields = SplitText(address, "/");
  if (fields.Empty()) return {};
  return fields[fields.Count()];
}

bool IsUsableFileName(std::string_view name) {
  if (name.empty()) return false;
  const std::string native = GbkToUtf8(name);
  if (native.empty() || native == "." || native == "..") return false;
  return native.find_first_of("/\\") == std::string::npos;
}

SaveOutcome SavePicture(std::string_view address, std::string_view imageFolder,
                        std::string_view subfolder, const std::atomic<bool>* abort) {
  const Text name = PictureFileName(address);
  if (!IsUsableFileName(name)) return SaveOutcome::kFailed;
  const Text path = Text(imageFolder) + Text(subfolder) + name;
  std::string native;
  if (ToNativePath(path, &native) != kFsOk) return SaveOutcome::kFailed;

  if (Aborted(abort)) return SaveOutcome::kCancelled;
  int status = 0;
  const Bytes data = WebRequestCom(address, {.method = kMethodGet, .statusCode = &status});
  // An abandoned transfer looks like a failed one; either way nothing is
  // written once the flag is set.
  if (Aborted(abort)) return SaveOutcome::kCancelled;
  if (data.empty() || status < 200 || status > 299) return SaveOutcome::kFailed;
  if (data.size() > static_cast<size_t>(INT_MAX)) return SaveOutcome::kFailed;

  // Sets the exact length also for an existing file, so no byte of a longer
  // old picture remains behind the new one.
  if (CreateSizedFile(path, static_cast<int>(data.size())) != kCreateSizedFileOk) {
    return SaveOutcome::kFailed;
  }
  const FileHandle handle = OpenFileForWrite(path);
  const bool written = WriteBytesToHandle(handle, data);
  const bool closed = CloseFileHandle(handle);
  return written && closed ? SaveOutcome::kSaved : SaveOutcome::kFailed;
}

}  // namespace qv
