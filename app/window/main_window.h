// The program's one window: the product address box, the download button,
// the title, the credit label and a progress line.
//
// A click on the download button reads the address box and hands it to a
// DownloadRunner on a worker thread, so the window keeps repainting and
// answering while the download runs. The runner reports through a
// DownloadObserver whose calls are carried over to the window's thread;
// its ShowMessage waits there until the box has been closed.
//
// Closing the window during a download raises the abort flag and keeps the
// window open until the worker has ended (about a second); then it closes.
//
// Size: the client area is 545 x 338, which with a 3-pixel border on each
// side and a 22-pixel title bar (a fixed single frame) gives the outer
// 551 x 366. Window managers draw frames of their own size, so only the
// client area is fixed; the outer rectangle is placed centred on the screen.
#ifndef QV_APP_WINDOW_MAIN_WINDOW_H_
#define QV_APP_WINDOW_MAIN_WINDOW_H_

#include <QUrl>
#include <QWidget>
#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "app/workflow/download_observer.h"

class QLabel;
class QLineEdit;
class QPushButton;

namespace qv {

// Runs the download of one click: address is the box's text (UTF-8) at the
// click. Called on a worker thread; reports to observer and stops early once
// *abort turns true. Returns when the download and its closing message are
// over.
using DownloadRunner = std::function<void(const std::string& address, DownloadObserver* observer,
                                          const std::atomic<bool>* abort)>;

// The real download: DownloadWorkflow with the default base folder. After it
// the product folder is kept as the program's ImageFolder.
DownloadRunner WorkflowRunner();

// Opens an address in the user's browser. The default is
// QDesktopServices::openUrl; a failure is silent.
using UrlOpener = std::function<void(const QUrl& url)>;
UrlOpener DesktopOpener();

class MainWindow : public QWidget {
  Q_OBJECT

 public:
  static constexpr int kOuterWidth = 551;
  static constexpr int kOuterHeight = 366;
  static constexpr int kClientWidth = 545;
  static constexpr int kClientHeight = 338;

  explicit MainWindow(DownloadRunner runner = WorkflowRunner(), UrlOpener opener = DesktopOpener());
  ~MainWindow() override;

  MainWindow(const MainWindow&) = delete;
  MainWindow& operator=(const MainWindow&) = delete;

  // True from the click that starts a worker until that worker has ended.
  bool DownloadRunning() const { return worker_.joinable(); }

 protected:
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  class Observer;

  void OnDownloadClicked();
  void OnWorkerFinished();
  void SetControlsEnabled(bool enabled);
  void ShowProgress(const DownloadProgress& progress);
  void ShowWorkflowMessage(const QString& text, const QString& caption);

  DownloadRunner runner_;
  UrlOpener opener_;
  std::unique_ptr<Observer> observer_;

  QLabel* creditLabel_ = nullptr;          // 标签3
  QLabel* titleLabel_ = nullptr;           // 标签2
  QPushButton* downloadButton_ = nullptr;  // 按钮1
  QLabel* urlLabel_ = nullptr;             // 标签1
  QLineEdit* addressBox_ = nullptr;        // 编辑框1
  QLabel* progressLine_ = nullptr;         // 进度

  std::thread worker_;
  std::atomic<bool> abort_{false};
  std::atomic<bool> workerDone_{false};
  bool closing_ = false;     // a close is waiting for the worker
  bool destroying_ = false;  // the destructor is draining the worker
};

}  // namespace qv

#endif  // QV_APP_WINDOW_MAIN_WINDOW_H_
