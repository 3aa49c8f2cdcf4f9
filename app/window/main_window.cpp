#include "app/window/main_window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMetaObject>
#include <QMouseEvent>
#include <QPalette>
#include <QPushButton>
#include <QScreen>
#include <QThread>
#include <chrono>
#include <limits>
#include <utility>

#include "app/window/app_lifetime.h"
#include "app/window/message_boxes.h"
#include "app/workflow/download_workflow.h"

namespace qv {
namespace {

// Labels: plain text on the window's own background, one line.
QLabel* MakeLabel(QWidget* parent, const char* name, const QString& text, const QRect& geometry,
                  Qt::Alignment alignment) {
  auto* label = new QLabel(parent);
  label->setObjectName(QString::fromUtf8(name));
  label->setTextFormat(Qt::PlainText);
  label->setWordWrap(false);
  label->setText(text);
  label->setGeometry(geometry);
  label->setAlignment(alignment);
  label->setFont(QApplication::font());
  label->setFocusPolicy(Qt::NoFocus);
  label->setCursor(Qt::ArrowCursor);
  label->setAutoFillBackground(false);
  QPalette palette = label->palette();
  palette.setColor(QPalette::WindowText, Qt::black);
  label->setPalette(palette);
  return label;
}

QString PhaseName(DownloadPhase phase) {
  return phase == DownloadPhase::kMainPictures ? QStringLiteral("主图") : QStringLiteral("详情");
}

}  // namespace

DownloadRunner WorkflowRunner() {
  return
      [](const std::string& address, DownloadObserver* observer, const std::atomic<bool>* abort) {
        DownloadSettings settings;
        settings.abort = abort;
        DownloadWorkflow workflow(observer, settings);
        workflow.OnDownloadClicked(address);
        // A click that found no product (an empty address) leaves the folder as it was.
        if (!workflow.ImageFolder().empty()) SetImageFolder(workflow.ImageFolder());
      };
}

UrlOpener DesktopOpener() {
  return [](const QUrl& url) { QDesktopServices::openUrl(url); };
}

// Carries each call of the worker over to the window's thread.
class MainWindow::Observer : public DownloadObserver {
 public:
  explicit Observer(MainWindow* window) : window_(window) {}

  void DisableControls() override {
    Post([](MainWindow* w) { w->SetControlsEnabled(false); });
  }
  void OnProgress(const DownloadProgress& progress) override {
    Post([progress](MainWindow* w) { w->ShowProgress(progress); });
  }
  void ShowMessage(const std::string& text, const std::string& caption) override {
    const QString qtext = QString::fromStdString(text);
    const QString qcaption = QString::fromStdString(caption);
    MainWindow* w = window_;
    auto show = [w, qtext, qcaption] { w->ShowWorkflowMessage(qtext, qcaption); };
    if (OnWindowThread()) {
      show();
    } else {
      // The worker waits here until the box has been closed.
      QMetaObject::invokeMethod(w, show, Qt::BlockingQueuedConnection);
    }
  }
  void EnableControls() override {
    Post([](MainWindow* w) { w->SetControlsEnabled(true); });
  }

 private:
  bool OnWindowThread() const { return QThread::currentThread() == window_->thread(); }

  template <typename F>
  void Post(F call) {
    MainWindow* w = window_;
    if (OnWindowThread()) {
      call(w);
    } else {
      QMetaObject::invokeMethod(
          w, [w, call] { call(w); }, Qt::QueuedConnection);
    }
  }

  MainWindow* window_;
};

MainWindow::MainWindow(DownloadRunner runner, UrlOpener opener)
    : QWidget(nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                           Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                           Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint),
      runner_(std::move(runner)),
      opener_(std::move(opener)),
      observer_(std::make_unique<Observer>(this)) {
  setWindowTitle(QStringLiteral("Quorvel商品详情图片下载"));
  setFixedSize(kClientWidth, kClientHeight);
  setFont(QApplication::font());

  // The background is the button-face colour, as the labels sit on it.
  QPalette windowPalette = palette();
  windowPalette.setColor(QPalette::Window, windowPalette.color(QPalette::Button));
  setPalette(windowPalette);
  setAutoFillBackground(true);

  // Created in this order; the tab order is set below.
  creditLabel_ = MakeLabel(this, "标签3", QStringLiteral("BY：Tarnwick zelvic       点我看看"),
                           QRect(16, 296, 512, 32), Qt::AlignLeft | Qt::AlignVCenter);
  creditLabel_->installEventFilter(this);

  titleLabel_ = MakeLabel(this, "标签2", QStringLiteral("Quorvel商品图片下载工具"),
                          QRect(56, 16, 456, 48), Qt::AlignCenter);

  downloadButton_ = new QPushButton(QStringLiteral("下载"), this);
  downloadButton_->setObjectName(QStringLiteral("按钮1"));
  downloadButton_->setGeometry(144, 208, 248, 64);
  downloadButton_->setFont(QApplication::font());
  downloadButton_->setAutoDefault(false);
  downloadButton_->setDefault(false);
  downloadButton_->setFocusPolicy(Qt::StrongFocus);
  connect(downloadButton_, &QPushButton::clicked, this, [this] { OnDownloadClicked(); });

  urlLabel_ =
      MakeLabel(this, "标签1", QStringLiteral("URL："), QRect(40, 88, 88, 64), Qt::AlignCenter);

  addressBox_ = new QLineEdit(this);
  addressBox_->setObjectName(QStringLiteral("编辑框1"));
  addressBox_->setGeometry(128, 88, 392, 64);
  addressBox_->setFont(QApplication::font());
  addressBox_->setFrame(true);
  addressBox_->setMaxLength(std::numeric_limits<int>::max());
  addressBox_->setText(QString::fromUtf8(kSampleProductAddress));
  QPalette boxPalette = addressBox_->palette();
  boxPalette.setColor(QPalette::Text, Qt::black);
  boxPalette.setColor(QPalette::Base, Qt::white);
  addressBox_->setPalette(boxPalette);

  // In the free band between the button and the credit label.
  progressLine_ = MakeLabel(this, "进度", QString(), QRect(16, 274, 512, 20), Qt::AlignCenter);

  // Tab goes between the address box and the button; the box has focus first.
  setTabOrder(addressBox_, downloadButton_);
  addressBox_->setFocus();

  // The outer rectangle centred on the screen; move() places the frame.
  if (QScreen* screen = QGuiApplication::primaryScreen()) {
    const QRect area = screen->geometry();
    move(area.x() + (area.width() - kOuterWidth) / 2,
         area.y() + (area.height() - kOuterHeight) / 2);
  }
}

MainWindow::~MainWindow() {
  if (!worker_.joinable()) return;
  // Only reached when the event loop ended without a close. The worker may be
  // waiting for this thread to show a message, so keep serving it.
  destroying_ = true;
  closing_ = true;
  abort_ = true;
  while (!workerDone_) {
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  worker_.join();
}

void MainWindow::closeEvent(QCloseEvent* event) {
  if (worker_.joinable()) {
    // Stop the download; OnWorkerFinished closes the window when it has ended.
    closing_ = true;
    abort_ = true;
    progressLine_->setText(QStringLiteral("正在停止下载……"));
    event->ignore();
    return;
  }
  event->accept();
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
  if (watched == creditLabel_ && event->type() == QEvent::MouseButtonPress &&
      static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
    if (opener_) opener_(QUrl(QString::fromUtf8(kProfileAddress)));
    return true;
  }
  return QWidget::eventFilter(watched, event);
}

void MainWindow::OnDownloadClicked() {
  if (worker_.joinable() || closing_) return;  // a second click before the controls went off
  const std::string address = addressBox_->text().toStdString();
  abort_ = false;
  workerDone_ = false;
  worker_ = std::thread([this, address] {
    if (runner_) runner_(address, observer_.get(), &abort_);
    workerDone_ = true;
    QMetaObject::invokeMethod(
        this, [this] { OnWorkerFinished(); }, Qt::QueuedConnection);
  });
}

void MainWindow::OnWorkerFinished() {
  if (destroying_) return;  // the destructor joins
  if (worker_.joinable()) worker_.join();
  if (closing_) close();
}

void MainWindow::SetControlsEnabled(bool enabled) {
  addressBox_->setEnabled(enabled);
  downloadButton_->setEnabled(enabled);
  if (!enabled && !closing_) progressLine_->clear();
}

void MainWindow::ShowProgress(const DownloadProgress& progress) {
  if (closing_) return;
  progressLine_->setText(QStringLiteral("%1 %2/%3 %4")
                             .arg(PhaseName(progress.phase))
                             .arg(progress.index)
                             .arg(progress.count)
                             .arg(QString::fromStdString(progress.fileName)));
}

void MainWindow::ShowWorkflowMessage(const QString& text, const QString& caption) {
  if (closing_) return;  // the window is going away; nobody is left to read it
  MessageBoxes::Show(text, caption);
}

}  // namespace qv
