// Drives the real window offscreen. Downloads are scripted stand-ins that
// make the observer calls a download makes, one step at a time as the test
// lets them, so nothing here needs the network.
#include "app/window/main_window.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTimer>
#include <QtTest>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "app/window/app_lifetime.h"
#include "app/window/message_boxes.h"
#include "app/workflow/download_workflow.h"
#include "regex/page_regex.h"

namespace qv {
namespace {

using namespace std::chrono_literals;

// Lets a worker through one step each time the test opens it. Wait gives up
// (false) when the abort flag is raised, or after ten seconds so that a
// broken test cannot hang.
class Gate {
 public:
  bool Wait(const std::atomic<bool>* abort) {
    std::unique_lock<std::mutex> lock(mutex_);
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (allowed_ <= passed_) {
      if (abort->load() || std::chrono::steady_clock::now() > deadline) return false;
      changed_.wait_for(lock, 5ms);  // the abort flag is not under the mutex: poll it
    }
    ++passed_;
    return true;
  }
  void Open() {
    std::lock_guard<std::mutex> lock(mutex_);
    ++allowed_;
    changed_.notify_all();
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  int allowed_ = 0;
  int passed_ = 0;
};

// What a scripted download saw.
struct RunRecord {
  std::mutex mutex;
  std::string address;
  std::thread::id thread;
  std::atomic<bool> abortSeen{false};
  std::atomic<bool> returned{false};
};

struct ShownMessage {
  QString text;
  QString caption;
  int enabledWhenShown = -1;
  int enabledAfterWait = -1;
};

DownloadProgress Progress(DownloadPhase phase, int index, int count, const char* name) {
  DownloadProgress p;
  p.phase = phase;
  p.index = index;
  p.count = count;
  p.fileName = name;
  return p;
}

void NoOpen(const QUrl&) {}

class PaintCounter : public QObject {
 public:
  int paints = 0;
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Paint) ++paints;
    return false;
  }
};

}  // namespace

class MainWindowTest : public QObject {
  Q_OBJECT

 private:
  template <typename T>
  static T* Control(MainWindow& window, const char* name) {
    T* control = window.findChild<T*>(QString::fromUtf8(name));
    if (control == nullptr) qFatal("no control named %s", name);
    return control;
  }
  // How many of the address box and the button are usable: 0, 1 or 2.
  static int EnabledControls(MainWindow& window) {
    return int(Control<QLineEdit>(window, "编辑框1")->isEnabled()) +
           int(Control<QPushButton>(window, "按钮1")->isEnabled());
  }
  // Records every message and answers it; while "open", waits 100 ms so that
  // a worker that did not wait for the box would have enabled the controls.
  void RecordMessages(MainWindow& window) {
    MessageBoxes::SetHook([this, &window](const QString& text, const QString& caption) {
      ShownMessage shown{text, caption, EnabledControls(window), -1};
      QTest::qWait(100);
      shown.enabledAfterWait = EnabledControls(window);
      messages_.push_back(shown);
    });
  }

  std::vector<ShownMessage> messages_;

 private slots:
  void initTestCase() { ConstructPageRegex(); }

  void cleanup() {
    MessageBoxes::SetHook({});
    messages_.clear();
  }

  void windowIsFixedCentredAndTitled() {
    MainWindow window(nullptr, &NoOpen);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    QCOMPARE(window.windowTitle(), QStringLiteral("Quorvel商品详情图片下载"));
    const QSize client(MainWindow::kClientWidth, MainWindow::kClientHeight);
    QCOMPARE(window.size(), client);
    QCOMPARE(window.minimumSize(), client);
    QCOMPARE(window.maximumSize(), client);

    const Qt::WindowFlags flags = window.windowFlags();
    QVERIFY(flags.testFlag(Qt::WindowMinimizeButtonHint));
    QVERIFY(flags.testFlag(Qt::WindowCloseButtonHint));
    QVERIFY(flags.testFlag(Qt::WindowSystemMenuHint));
    QVERIFY(flags.testFlag(Qt::WindowTitleHint));
    QVERIFY(flags.testFlag(Qt::MSWindowsFixedSizeDialogHint));
    QVERIFY(!flags.testFlag(Qt::WindowMaximizeButtonHint));

    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    QCOMPARE(window.pos(), QPoint(screen.x() + (screen.width() - 551) / 2,
                                  screen.y() + (screen.height() - 366) / 2));
  }

  void controls_data() {
    QTest::addColumn<QString>("className");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QRect>("geometry");
    QTest::addColumn<int>("alignment");  // labels only; 0 for the others

    const int centred = Qt::AlignCenter;
    const int left = Qt::AlignLeft | Qt::AlignVCenter;
    QTest::newRow("标签3") << "QLabel"
                           << "BY：Tarnwick zelvic       点我看看" << QRect(16, 296, 512, 32)
                           << left;
    QTest::newRow("标签2") << "QLabel"
                           << "Quorvel商品图片下载工具" << QRect(56, 16, 456, 48) << centred;
    QTest::newRow("按钮1") << "QPushButton"
                           << "下载" << QRect(144, 208, 248, 64) << 0;
    QTest::newRow("标签1") << "QLabel"
                           << "URL：" << QRect(40, 88, 88, 64) << centred;
    QTest::newRow("编辑框1") << "QLineEdit"
                             << "https://item.quorvel.example/57038905465.html"
                             << QRect(128, 88, 392, 64) << 0;
  }

  void controls() {
    QFETCH(QString, className);
    QFETCH(QString, text);
    QFETCH(QRect, geometry);
    QFETCH(int, alignment);

    MainWindow window(nullptr, &NoOpen);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QWidget* control = window.findChild<QWidget*>(QString::fromUtf8(QTest::currentDataTag()));
    QVERIFY(control != nullptr);
    QCOMPARE(QString::fromLatin1(control->metaObject()->className()), className);
    QCOMPARE(control->property("text").toString(), text);
    QCOMPARE(control->geometry(), geometry);
    QVERIFY(control->isVisible());
    QVERIFY(control->isEnabled());
    QCOMPARE(control->font(), QApplication::font());

    if (auto* label = qobject_cast<QLabel*>(control)) {
      QCOMPARE(int(label->alignment()), alignment);
      QCOMPARE(label->textFormat(), Qt::PlainText);
      QVERIFY(!label->wordWrap());
      QCOMPARE(label->focusPolicy(), Qt::NoFocus);
      QVERIFY(!label->autoFillBackground());  // the window's colour shows through
      QCOMPARE(label->palette().color(QPalette::WindowText), QColor(Qt::black));
      QCOMPARE(label->cursor().shape(), Qt::ArrowCursor);
    }
    if (auto* button = qobject_cast<QPushButton*>(control)) {
      QVERIFY(!button->isDefault());
      QVERIFY(!button->autoDefault());
    }
    if (auto* box = qobject_cast<QLineEdit*>(control)) {
      QVERIFY(box->hasFrame());
      QVERIFY(!box->isReadOnly());
      QCOMPARE(box->echoMode(), QLineEdit::Normal);
      QCOMPARE(box->palette().color(QPalette::Text), QColor(Qt::black));
      QCOMPARE(box->palette().color(QPalette::Base), QColor(Qt::white));
    }
  }

  void controlsAreCreatedInOrderAndProgressFitsBetween() {
    MainWindow window(nullptr, &NoOpen);
    QStringList names;
    for (QObject* child : window.children()) {
      if (child->isWidgetType()) names << child->objectName();
    }
    QCOMPARE(names, QStringList({"标签3", "标签2", "按钮1", "标签1", "编辑框1", "进度"}));

    // The progress line takes none of the others' room and stays inside.
    const QRect progress = Control<QLabel>(window, "进度")->geometry();
    for (const char* name : {"标签3", "标签2", "按钮1", "标签1", "编辑框1"}) {
      QVERIFY2(!progress.intersects(Control<QWidget>(window, name)->geometry()), name);
    }
    QVERIFY(window.rect().contains(progress));
    QCOMPARE(window.palette().color(QPalette::Window), window.palette().color(QPalette::Button));
  }

  void tabMovesBetweenAddressBoxAndButtonOnly() {
    MainWindow window(nullptr, &NoOpen);
    window.show();
    window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    auto* box = Control<QLineEdit>(window, "编辑框1");
    auto* button = Control<QPushButton>(window, "按钮1");
    QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget*>(box));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(button));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(box));
  }

  void addressBoxHasNoLengthLimit() {
    MainWindow window(nullptr, &NoOpen);
    auto* box = Control<QLineEdit>(window, "编辑框1");
    const QString longAddress =
        QStringLiteral("https://item.quorvel.example/") + QString(40000, 'x');
    box->setText(longAddress);
    QCOMPARE(box->text(), longAddress);
  }

  void creditLabelOpensProfileOnLeftPress_data() {
    QTest::addColumn<Qt::MouseButton>("button");
    QTest::addColumn<int>("opensOnPress");
    QTest::newRow("left") << Qt::LeftButton << 1;
    QTest::newRow("right") << Qt::RightButton << 0;
    QTest::newRow("middle") << Qt::MiddleButton << 0;
  }

  void creditLabelOpensProfileOnLeftPress() {
    QFETCH(Qt::MouseButton, button);
    QFETCH(int, opensOnPress);
    std::vector<QUrl> opened;
    MainWindow window(nullptr, [&opened](const QUrl& url) { opened.push_back(url); });
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    auto* label = Control<QLabel>(window, "标签3");

    QTest::mousePress(label, button, Qt::NoModifier, QPoint(20, 16));
    QCOMPARE(int(opened.size()), opensOnPress);  // at once, before the release
    QTest::mouseRelease(label, button, Qt::NoModifier, QPoint(20, 16));
    QCOMPARE(int(opened.size()), opensOnPress);  // the release opens nothing more
    if (opensOnPress == 1) QCOMPARE(opened[0], QUrl(QString::fromUtf8(kProfileAddress)));

    // A press on another label opens nothing.
    QTest::mousePress(Control<QLabel>(window, "标签2"), button);
    QCOMPARE(int(opened.size()), opensOnPress);
  }

  // The real workflow behind the window: an empty box gives the prompt and
  // no connection. Every proxy variable points at a local listener that
  // counts what reaches it.
  void emptyAddressGivesPromptWithoutRequest() {
    QTcpServer proxy;
    QVERIFY(proxy.listen(QHostAddress::LocalHost));
    int connections = 0;
    connect(&proxy, &QTcpServer::newConnection, &proxy, [&] {
      while (QTcpSocket* socket = proxy.nextPendingConnection()) {
        ++connections;
        socket->close();
      }
    });
    const QByteArray proxyAddress = "http://127.0.0.1:" + QByteArray::number(proxy.serverPort());
    for (const char* name : {"http_proxy", "https_proxy", "HTTPS_PROXY", "ALL_PROXY", "all_proxy"})
      qputenv(name, proxyAddress);
    qunsetenv("no_proxy");
    qunsetenv("NO_PROXY");

    MainWindow window(WorkflowRunner(), &NoOpen);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    RecordMessages(window);
    const Text folderBefore = ImageFolder();
    Control<QLineEdit>(window, "编辑框1")->clear();
    QTest::mouseClick(Control<QPushButton>(window, "按钮1"), Qt::LeftButton);

    QTRY_COMPARE(int(messages_.size()), 1);
    QCOMPARE(messages_[0].text, QStringLiteral("请输入qv网址"));
    QCOMPARE(messages_[0].caption, QStringLiteral("提示"));
    QCOMPARE(messages_[0].enabledWhenShown, 2);
    QTRY_VERIFY(!window.DownloadRunning());
    QTest::qWait(50);
    QCOMPARE(connections, 0);
    QCOMPARE(EnabledControls(window), 2);
    QCOMPARE(ImageFolder(), folderBefore);

    for (const char* name : {"http_proxy", "https_proxy", "HTTPS_PROXY", "ALL_PROXY", "all_proxy"})
      qunsetenv(name);
  }

  void controlsStayDisabledUntilMessageClosed() {
    Gate gate;
    RunRecord record;
    MainWindow window(
        [&](const std::string& address, DownloadObserver* observer,
            const std::atomic<bool>* abort) {
          {
            std::lock_guard<std::mutex> lock(record.mutex);
            record.address = address;
            record.thread = std::this_thread::get_id();
          }
          observer->DisableControls();
          observer->OnProgress(Progress(DownloadPhase::kMainPictures, 1, 2, "a.jpg"));
          gate.Wait(abort);
          observer->ShowMessage("下载完成！\n主图 2", "提示");
          observer->EnableControls();
          record.returned = true;
        },
        &NoOpen);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    RecordMessages(window);
    auto* box = Control<QLineEdit>(window, "编辑框1");
    auto* button = Control<QPushButton>(window, "按钮1");

    box->clear();
    QTest::keyClicks(box, "https://item.quorvel.example/123.html");
    QTest::mouseClick(button, Qt::LeftButton);
    QTRY_VERIFY(!box->isEnabled() && !button->isEnabled());
    QTRY_COMPARE(Control<QLabel>(window, "进度")->text(), QStringLiteral("主图 1/2 a.jpg"));
    QVERIFY(messages_.empty());

    // A click on the disabled button starts nothing.
    QTest::mouseClick(button, Qt::LeftButton);

    gate.Open();
    QTRY_COMPARE(int(messages_.size()), 1);
    QCOMPARE(messages_[0].text, QStringLiteral("下载完成！\n主图 2"));
    QCOMPARE(messages_[0].caption, QStringLiteral("提示"));
    QCOMPARE(messages_[0].enabledWhenShown, 0);
    QCOMPARE(messages_[0].enabledAfterWait, 0);  // not back while the box is open
    QTRY_VERIFY(box->isEnabled() && button->isEnabled());
    QTRY_VERIFY(!window.DownloadRunning());

    QVERIFY(record.returned);
    std::lock_guard<std::mutex> lock(record.mutex);
    QCOMPARE(record.address, std::string("https://item.quorvel.example/123.html"));
    QVERIFY(record.thread != std::this_thread::get_id());
  }

  // No hook: the box a person sees has the caption and text given, one OK
  // button and no icon.
  void messageBoxIsPlainModalWithOk() {
    MainWindow window(
        [](const std::string&, DownloadObserver* observer, const std::atomic<bool>*) {
          observer->DisableControls();
          observer->ShowMessage("下载完成！\n第二行", "提示");
          observer->EnableControls();
        },
        &NoOpen);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    struct Seen {
      bool found = false;
      QString title, text;
      QMessageBox::StandardButtons buttons;
      QMessageBox::Icon icon = QMessageBox::Critical;
      bool modal = false;
      int enabled = -1;
    } seen;
    QTimer answer;
    connect(&answer, &QTimer::timeout, &window, [&] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      if (box == nullptr || seen.found) return;
      seen = {
          true,           box->windowTitle(),     box->text(), box->standardButtons(), box->icon(),
          box->isModal(), EnabledControls(window)};
      box->button(QMessageBox::Ok)->click();
    });
    answer.start(20);

    QTest::mouseClick(Control<QPushButton>(window, "按钮1"), Qt::LeftButton);
    QTRY_VERIFY(seen.found);
    QTRY_VERIFY(!window.DownloadRunning());
    answer.stop();
    QCOMPARE(seen.title, QStringLiteral("提示"));
    QCOMPARE(seen.text, QStringLiteral("下载完成！\n第二行"));
    QCOMPARE(seen.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    QCOMPARE(seen.icon, QMessageBox::NoIcon);
    QVERIFY(seen.modal);
    QCOMPARE(seen.enabled, 0);
    QTRY_COMPARE(EnabledControls(window), 2);
  }

  void windowRepaintsAndProgressMovesDuringDownload() {
    Gate gate;
    MainWindow window(
        [&gate](const std::string&, DownloadObserver* observer, const std::atomic<bool>* abort) {
          observer->DisableControls();
          for (int i = 1; i <= 3; ++i) {
            const std::string name = "p" + std::to_string(i) + ".jpg";
            observer->OnProgress(Progress(DownloadPhase::kMainPictures, i, 3, name.c_str()));
            if (!gate.Wait(abort)) return;
          }
          observer->OnProgress(Progress(DownloadPhase::kDescriptionPictures, 1, 1, "详情1.png"));
          gate.Wait(abort);
          observer->EnableControls();
        },
        &NoOpen);
    PaintCounter counter;
    window.installEventFilter(&counter);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    auto* progress = Control<QLabel>(window, "进度");
    QTest::mouseClick(Control<QPushButton>(window, "按钮1"), Qt::LeftButton);

    const QStringList expected = {"主图 1/3 p1.jpg", "主图 2/3 p2.jpg", "主图 3/3 p3.jpg",
                                  "详情 1/1 详情1.png"};
    for (const QString& line : expected) {
      QTRY_COMPARE(progress->text(), line);
      // The worker is held at the gate: the window must still paint.
      const int before = counter.paints;
      window.update();
      QTRY_VERIFY2(counter.paints > before, qPrintable("no repaint at " + line));
      QVERIFY(window.DownloadRunning());
      gate.Open();
    }
    QTRY_VERIFY(!window.DownloadRunning());
    QCOMPARE(EnabledControls(window), 2);
  }

  void closingDuringDownloadStopsItThenCloses() {
    Gate gate;
    RunRecord record;
    MainWindow window(
        [&](const std::string&, DownloadObserver* observer, const std::atomic<bool>* abort) {
          observer->DisableControls();
          int index = 0;
          while (gate.Wait(abort))
            observer->OnProgress(Progress(DownloadPhase::kMainPictures, ++index, 100, "x.jpg"));
          record.abortSeen = abort->load();
          observer->ShowMessage("下载完成！", "提示");
          observer->EnableControls();
          record.returned = true;
        },
        &NoOpen);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    RecordMessages(window);
    QTest::mouseClick(Control<QPushButton>(window, "按钮1"), Qt::LeftButton);
    gate.Open();
    QTRY_COMPARE(Control<QLabel>(window, "进度")->text(), QStringLiteral("主图 1/100 x.jpg"));

    QVERIFY(!window.close());  // held open until the worker has ended
    QTRY_VERIFY(!window.isVisible());
    QVERIFY(record.abortSeen);
    QVERIFY(record.returned);
    QVERIFY(!window.DownloadRunning());
    QVERIFY(messages_.empty());  // nobody is left to read the closing message
  }

  void closingWhileIdleClosesAtOnce() {
    MainWindow window(nullptr, &NoOpen);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QVERIFY(window.close());
    QVERIFY(!window.isVisible());
  }

  // The event loop may end without a close: the window's destructor still
  // stops the download, answers the worker and waits for it.
  void destroyingDuringDownloadStopsIt() {
    Gate gate;
    RunRecord record;
    {
      MainWindow window(
          [&](const std::string&, DownloadObserver* observer, const std::atomic<bool>* abort) {
            observer->DisableControls();
            observer->OnProgress(Progress(DownloadPhase::kMainPictures, 1, 1, "x.jpg"));
            gate.Wait(abort);
            record.abortSeen = abort->load();
            observer->ShowMessage("下载完成！", "提示");
            observer->EnableControls();
            record.returned = true;
          },
          &NoOpen);
      window.show();
      RecordMessages(window);
      QTest::mouseClick(Control<QPushButton>(window, "按钮1"), Qt::LeftButton);
      QTRY_COMPARE(Control<QLabel>(window, "进度")->text(), QStringLiteral("主图 1/1 x.jpg"));
    }
    QVERIFY(record.abortSeen);
    QVERIFY(record.returned);
    QVERIFY(messages_.empty());
  }

  // A fatal report from the worker thread shows a box with the error icon on
  // the window's thread, and the reporting thread waits until it is closed.
  void fatalReportShowsErrorBoxFromWorkerThread() {
    struct Seen {
      bool found = false;
      QString title, text;
      QMessageBox::Icon icon = QMessageBox::NoIcon;
      bool onWindowThread = false;
    } seen;
    QTimer answer;
    connect(&answer, &QTimer::timeout, this, [&] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      if (box == nullptr || seen.found) return;
      seen = {true, box->windowTitle(), box->text(), box->icon(),
              box->thread() == QApplication::instance()->thread()};
      box->button(QMessageBox::Ok)->click();
    });
    answer.start(20);

    std::atomic<bool> returned{false};
    std::thread reporter([&returned] {
      ReportFatalInBox("Fatal error: index 3 out of range (in TextArray)");
      returned = true;
    });
    QTRY_VERIFY(returned.load());
    reporter.join();
    answer.stop();
    QVERIFY(seen.found);  // it did not return before the box was closed
    QCOMPARE(seen.text, QStringLiteral("Fatal error: index 3 out of range (in TextArray)"));
    QCOMPARE(seen.title, QStringLiteral("错误"));
    QCOMPARE(seen.icon, QMessageBox::Critical);
    QVERIFY(seen.onWindowThread);
  }

  // Last: ExitCleanup does its work once per process.
  void exitCleanupRunsOnce() {
    SetImageFolder("\xD6\xF7\xCD\xBC" /* 主图 */);
    ExitCleanup();
    QVERIFY(!DestroyPageRegex());  // it was destroyed
    QVERIFY(ImageFolder().empty());

    ConstructPageRegex();
    SetImageFolder("later");
    ExitCleanup();  // the second call leaves everything alone
    QVERIFY(DestroyPageRegex());
    QCOMPARE(ImageFolder(), Text("later"));
  }
};

}  // namespace qv

QTEST_MAIN(qv::MainWindowTest)
#include "main_window_test.moc"
