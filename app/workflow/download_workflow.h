// The download of one product: product page, main pictures, description page,
// description pictures, completion message.
//
// Plain C++ on the web, regex and file layers; a window or a command line
// drives it through a DownloadObserver. OnDownloadClicked blocks until the
// completion message has been closed, so a window runs it off its own thread.
//
// Pictures go to <base folder>\imgs\<product name>\主图\ and \详情\. The
// product name keeps only letters, digits, '_' and CJK ideographs, so the
// product folder never leaves <base folder>\imgs\ (an empty name gives that
// folder itself). A picture is saved under the last "/" field of its address.
//
// A picture whose request failed, timed out, came back empty or with a status
// outside 200-299 is not written and counts as failed; an existing file of
// that name is left alone. A saved picture replaces an existing file whole
// (the file ends with exactly the new bytes). A file name that is empty, "."
// or "..", holds a separator, or that the file system refuses (" * < > ? |,
// control bytes), is never requested nor written: it counts as failed. A
// product page without a description field has no description page to fetch.
//
// Uses PageRegex (regex/page_regex.h), which must exist, so one download runs
// at a time.
#ifndef QV_APP_WORKFLOW_DOWNLOAD_WORKFLOW_H_
#define QV_APP_WORKFLOW_DOWNLOAD_WORKFLOW_H_

#include <atomic>
#include <string>

#include "app/workflow/download_observer.h"
#include "core/types.h"

namespace qv {

// The shop's fixed hosts.
inline constexpr char kProductPageHost[] = "item.quorvel.example";
inline constexpr char kPictureHost[] = "img.quorvel.example";
inline constexpr char kSampleProductAddress[] = "https://item.quorvel.example/57038905465.html";
inline constexpr char kProfileAddress[] = "https://quorvel.example/u/tarnwick-zelvic";

struct DownloadSummary {
  bool pageFetched = false;  // the product page answered 2xx with content
  bool cancelled = false;    // the abort flag stopped the download
  int mainSaved = 0;
  int mainFailed = 0;
  int descriptionSaved = 0;
  int descriptionFailed = 0;
  Text productFolder;  // GBK, backslash-separated, as ImageFolder holds it
  // The completion message as shown (UTF-8); empty when none was shown.
  std::string message;
};

struct DownloadSettings {
  // The folder under which imgs\ is made (GBK, backslashes), used as given.
  // Empty: the program's own folder when it is writable, else the user's
  // pictures folder ($XDG_PICTURES_DIR, the XDG_PICTURES_DIR line of
  // user-dirs.dirs, else ~/Pictures).
  Text baseFolder;
  // When set and true, the download stops: the current transfer is abandoned
  // (the flag is the thread's abort flag, web/transfer_abort.h, while
  // OnDownloadClicked runs) and no more files are written.
  const std::atomic<bool>* abort = nullptr;
};

class DownloadWorkflow {
 public:
  // observer must outlive the workflow; null shows nothing.
  DownloadWorkflow(DownloadObserver* observer, DownloadSettings settings);

  // The click on the download button with pageAddress (UTF-8) in the address
  // box. An empty address shows "请输入qv网址" (caption "提示") and does
  // nothing else. Otherwise: DisableControls, OnProgress before each
  // picture, the completion message ("下载完成！" on its first line, then, when
  // the product page could not be had, "无法获取商品页面：<address>", then the
  // counts and the product folder), EnableControls. Returns what was done.
  //
  // Cancelling: once the abort flag is seen set, the workflow writes nothing
  // more and calls nothing more on the observer (no progress, no message,
  // no EnableControls: the front end that set the flag is going away, or
  // re-enables its controls itself). It returns with cancelled true. A flag
  // already set at the call makes the call return at once, calling nothing.
  DownloadSummary OnDownloadClicked(const std::string& pageAddress);

  // The product folder of the last download (ImageFolder), GBK.
  const Text& ImageFolder() const { return imageFolder_; }

 private:
  DownloadObserver* observer_;
  DownloadSettings settings_;
  Text imageFolder_;
};

}  // namespace qv

#endif  // QV_APP_WORKFLOW_DOWNLOAD_WORKFLOW_H_
