// Fetching one picture and writing it under the last field of its address.
//
// Nothing here throws or shows anything; SavePicture reports through its
// result only.
#ifndef QV_APP_WORKFLOW_SAVE_PICTURE_H_
#define QV_APP_WORKFLOW_SAVE_PICTURE_H_

#include <atomic>
#include <string_view>

#include "core/types.h"

namespace qv {

// The last field of address split at "/" (SplitText's rule: an empty piece
// after the last "/" is dropped, so ".../n12/" gives "n12"). Empty for an
// empty address.
Text PictureFileName(std::string_view address);

// Whether name (GBK) can be a file inside its folder and nowhere else: not
// empty, not "." or "..", and holding no '/' or '\' once converted the way
// the file layer converts paths (a 0x5C trail byte inside a two-byte GBK
// character is no separator).
bool IsUsableFileName(std::string_view name);

enum class SaveOutcome {
  kSaved,      // the file now holds exactly the response body
  kFailed,     // nothing was written (see SavePicture)
  kCancelled,  // the abort flag was set; nothing was written
};

// Fetches address with a GET and writes the body to
// imageFolder + subfolder + PictureFileName(address), making the missing
// folders on the way. subfolder begins and ends with a backslash.
//
// kFailed, without a request, when the file name is not usable or the path
// is refused (IsUsableFileName, fileio/path.h); kFailed, with nothing
// written, when the request failed, the body is empty or the status is
// outside 200-299. A file that exists is then left as it was; otherwise it is
// replaced whole, its length set to the body's. kFailed also when the file
// cannot be created, opened or fully written.
//
// abort (may be null) is read before the request and again before writing;
// set at either point it gives kCancelled.
SaveOutcome SavePicture(std::string_view address, std::string_view imageFolder,
                        std::string_view subfolder, const std::atomic<bool>* abort);

}  // namespace qv

#endif  // QV_APP_WORKFLOW_SAVE_PICTURE_H_
