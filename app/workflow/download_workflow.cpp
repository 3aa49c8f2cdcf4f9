#include "app/workflow/download_workflow.h"

#include <string>
#include <utility>

#include "app/workflow/description_page.h"
#include "app/workflow/picture_folder.h"
#include "app/workflow/product_page.h"
#include "app/workflow/save_picture.h"
#include "fileio/file_ops.h"
#include "fileio/path.h"
#include "regex/page_regex.h"
#include "text/codepage.h"
#include "web/transfer_abort.h"
#include "web/web_request_com.h"
#include "web/web_request_inet.h"

namespace qv {
namespace {

// Subfolders of the product folder: \主图\ and \详情\.
constexpr char kMainSubfolder[] = "\\\xD6\xF7\xCD\xBC\\";
constexpr char kDescriptionSubfolder[] = "\\\xCF\xEA\xC7\xE9\\";

// Message texts, GBK.
// 提示
constexpr char kCaption[] = "\xCC\xE1\xCA\xBE";
// 请输入qv网址
constexpr char kEnterAddress[] = "\xC7\xEB\xCA\xE4\xC8\xEBqv\xCD\xF8\xD6\xB7";
// 下载完成！
constexpr char kDone[] = "\xCF\xC2\xD4\xD8\xCD\xEA\xB3\xC9\xA3\xA1";
// 无法获取商品页面：
constexpr char kPageFailed[] =
    "\xCE\xDE\xB7\xA8\xBB\xF1\xC8\xA1\xC9\xCC\xC6\xB7\xD2\xB3\xC3\xE6\xA3\xBA";
// 主图：
constexpr char kMainLabel[] = "\xD6\xF7\xCD\xBC\xA3\xBA";
// 详情图：
constexpr char kDescriptionLabel[] = "\xCF\xEA\xC7\xE9\xCD\xBC\xA3\xBA";
// "已保存 "
constexpr char kSaved[] = "\xD2\xD1\xB1\xA3\xB4\xE6 ";
// " 张，失败 "
constexpr char kFailedPart[] = " \xD5\xC5\xA3\xAC\xCA\xA7\xB0\xDC ";
// " 张"
constexpr char kPieces[] = " \xD5\xC5";
// 保存位置：
constexpr char kFolderLabel[] = "\xB1\xA3\xB4\xE6\xCE\xBB\xD6\xC3\xA3\xBA";

// Stands in for a missing observer.
class NoObserver : public DownloadObserver {
 public:
  void DisableControls() override {}
  void OnProgress(const DownloadProgress&) override {}
  void ShowMessage(const std::string&, const std::string&) override {}
  void EnableControls() override {}
};

// Watches the abort flag for this thread's transfers while it lives.
class AbortFlagScope {
 public:
  explicit AbortFlagScope(const std::atomic<bool>* flag) { SetThreadAbortFlag(flag); }
  ~AbortFlagScope() { SetThreadAbortFlag(nullptr); }
  AbortFlagScope(const AbortFlagScope&) = delete;
  AbortFlagScope& operator=(const AbortFlagScope&) = delete;
};

std::string CountLine(const char* label, int saved, int failed) {
  return GbkToUtf8(Text(label) + kSaved + std::to_string(saved) + kFailedPart +
                   std::to_string(failed) + kPieces);
}

// One click's download, from the product page to the last picture.
class DownloadRun {
 public:
  DownloadRun(DownloadObserver& observer, const std::atomic<bool>* abort, Text imageFolder)
      : observer_(observer), abort_(abort), imageFolder_(std::move(imageFolder)) {}

  bool Cancelled() const { return abort_ != nullptr && abort_->load(); }

  // Saves one picture into subfolder, announcing it first. False when the
  // download was cancelled.
  bool SaveOne(const Text& address, const char* subfolder, DownloadPhase phase, int index,
               int count, int& saved, int& failed) {
    if (Cancelled()) return false;
    observer_.OnProgress({.phase = phase,
                          .index = index,
                          .count = count,
                          .fileName = GbkToUtf8(PictureFileName(address))});
    switch (SavePicture(address, imageFolder_, subfolder, abort_)) {
      case SaveOutcome::kSaved: ++saved; return true;
      case SaveOutcome::kFailed: ++failed; return true;
      case SaveOutcome::kCancelled: return false;
    }
    return false;
  }

  // Runs pattern over the description text and saves the picture of every
  // match, in text order. False when the download was cancelled.
  bool SaveMatchedPictures(const char* pattern, const Text& descriptionText,
                           DownloadSummary& summary) {
    RegexObject& regex = PageRegex();
    regex.Create(pattern, descriptionText);
    for (int i = 1; i <= regex.MatchCount(); ++i) {
      const Text address = MakeAbsoluteUrl(regex.SubMatchText(i, 1));
      if (!SaveOne(address, kDescriptionSubfolder, DownloadPhase::kDescriptionPictures, i,
                   regex.MatchCount(), summary.descriptionSaved, summary.descriptionFailed)) {
        return false;
      }
    }
    return true;
  }

 private:
  DownloadObserver& observer_;
  const std::atomic<bool>* abort_;
  Text imageFolder_;
};

}  // namespace

DownloadWorkflow::DownloadWorkflow(DownloadObserver* observer, DownloadSettings settings)
    : observer_(observer), settings_(std::move(settings)) {}

DownloadSummary DownloadWorkflow::OnDownloadClicked(const std::string& pageAddress) {
  NoObserver none;
  DownloadObserver& observer = observer_ != nullptr ? *observer_ : none;
  DownloadSummary summary;
  const std::atomic<bool>* abort = settings_.abort;
  auto cancelled = [&] { return abort != nullptr && abort->load(); };
  if (cancelled()) {
    summary.cancelled = true;
    return summary;
  }

  if (pageAddress.empty()) {
    observer.ShowMessage(GbkToUtf8(kEnterAddress), GbkToUtf8(kCaption));
    return summary;
  }

  const AbortFlagScope watch(abort);
  observer.DisableControls();

  // The product page; a failed request or an error answer counts as no page.
  const Text address = Utf8ToGbk(pageAddress);
  int status = 0;
  Bytes body = WebRequestCom(address, {.method = kMethodGet, .statusCode = &status});
  if (cancelled()) {
    summary.cancelled = true;
    return summary;
  }
  summary.pageFetched = !body.empty() && status >= 200 && status <= 299;
  const Text pageText = summary.pageFetched ? Utf8ToAnsi(BytesToText(body)) : Text();
  body = Bytes();

  const ProductPage page = ReadProductPage(pageText);
  const Text base = settings_.baseFolder.empty() ? DefaultBaseFolder() : settings_.baseFolder;
  imageFolder_ = base + "\\imgs\\" + page.productName;
  summary.productFolder = imageFolder_;
  // One level only; the first picture makes the missing folders above it.
  if (!FileExists(imageFolder_)) MakeDirectory(imageFolder_);

  DownloadRun run(observer, abort, imageFolder_);
  const int n = page.pictureItems.Count();
  for (int i = 1; i <= n; ++i) {
    if (!run.SaveOne(MainPictureAddress(page.pictureItems[i]), kMainSubfolder,
                     DownloadPhase::kMainPictures, i, n, summary.mainSaved, summary.mainFailed)) {
      summary.cancelled = true;
      return summary;
    }
  }

  // A page without a description field leaves the bare "http:", which would
  // send a request to a host named "http"; there is nothing to fetch.
  const Text descriptionText =
      page.descriptionAddress == "http:" ? Text() : FetchPageText(page.descriptionAddress);
  if (cancelled() || !run.SaveMatchedPictures(kUrlPattern, descriptionText, summary) ||
      !run.SaveMatchedPictures(kLazyLoadPattern, descriptionText, summary) || cancelled()) {
    summary.cancelled = true;
    return summary;
  }

  std::string message = GbkToUtf8(kDone);
  if (!summary.pageFetched) message += "\n" + GbkToUtf8(kPageFailed) + pageAddress;
  message += "\n" + CountLine(kMainLabel, summary.mainSaved, summary.mainFailed);
  message +=
      "\n" + CountLine(kDescriptionLabel, summary.descriptionSaved, summary.descriptionFailed);
  message += "\n" + GbkToUtf8(kFolderLabel) + PathToUtf8(imageFolder_);
  summary.message = message;
  observer.ShowMessage(message, GbkToUtf8(kCaption));
  observer.EnableControls();
  return summary;
}

}  // namespace qv
