// What a front end shows of a download, and how it answers the workflow.
//
// The workflow calls these from the thread it runs on, which is not the
// window's thread when a window drives it: an implementation that touches
// widgets must hand the call over to its own thread. Texts are UTF-8.
#ifndef QV_APP_WORKFLOW_DOWNLOAD_OBSERVER_H_
#define QV_APP_WORKFLOW_DOWNLOAD_OBSERVER_H_

#include <string>

namespace qv {

enum class DownloadPhase { kMainPictures, kDescriptionPictures };

struct DownloadProgress {
  DownloadPhase phase = DownloadPhase::kMainPictures;
  int index = 0;         // 1-based number of the picture being fetched
  int count = 0;         // pictures in this phase (known once the phase starts)
  std::string fileName;  // the name it is saved under, UTF-8
};

class DownloadObserver {
 public:
  virtual ~DownloadObserver() = default;

  // The address box, then the download button, become unusable.
  virtual void DisableControls() = 0;
  // A picture is about to be fetched.
  virtual void OnProgress(const DownloadProgress& progress) = 0;
  // Shows a message with one OK button and returns when it has been closed.
  virtual void ShowMessage(const std::string& text, const std::string& caption) = 0;
  // The address box, then the download button, become usable again.
  virtual void EnableControls() = 0;
};

}  // namespace qv

#endif  // QV_APP_WORKFLOW_DOWNLOAD_OBSERVER_H_
