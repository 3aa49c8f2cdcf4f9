// One real download through the window: the local test shop stands in for
// the shop's hosts, the window runs DownloadWorkflow on its worker thread
// with a base folder in a scratch directory, and the test clicks, watches
// the controls and the progress line, answers the completion box and then
// compares what landed on disk with what the shop served.
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <atomic>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "app/window/main_window.h"
#include "app/window/message_boxes.h"
#include "app/workflow/download_workflow.h"
#include "fileio/path.h"
#include "regex/page_regex.h"
#include "tools/testshop/shop_routes.h"
#include "tools/testshop/test_shop.h"
#include "web/connect_override.h"
#include "web/shop_log.h"

namespace qv {
namespace {

using testing::PictureBytes;
using testing::Route;
using testing::Routes;
using testing::TreeOnDisk;
using Tree = std::map<std::string, std::string>;

constexpr char kItemHost[] = "item.quorvel.example";
constexpr char kImgHost[] = "img.quorvel.example";
constexpr char kDescHost[] = "d.quorvel.example";
// Not the address the box starts with, so the test sees the box's text used.
constexpr char kPageAddress[] = "https://item.quorvel.example/100012345678.html";
constexpr char kPagePath[] = "/100012345678.html";
constexpr char kDescPath[] = "/desc/100012345678.html";
// Kept to letters, digits and CJK ideographs in the folder name.
constexpr char kProductName[] = "青瓷 Tea-Cup 2号";
constexpr char kProductFolder[] = "青瓷TeaCup2号";
// Each picture answers this late, so the progress line can be watched.
constexpr int kPictureDelayMs = 150;

// The entries where got and want differ, as text for a failure message.
QByteArray Differences(const Tree& got, const Tree& want) {
  auto size = [](const Tree& t, const std::string& path) {
    const auto it = t.find(path);
    if (it == t.end()) return QByteArray("missing");
    if (it->second == "<dir>") return QByteArray("folder");
    return QByteArray::number(qsizetype(it->second.size())) + " bytes";
  };
  Tree all = got;
  all.insert(want.begin(), want.end());
  QByteArray out;
  for (const auto& entry : all) {
    const std::string& path = entry.first;
    const auto g = got.find(path), w = want.find(path);
    if (g != got.end() && w != want.end() && g->second == w->second) continue;
    out += QByteArray::fromStdString(path) + ": got " + size(got, path) + ", want " +
           size(want, path) + "\n";
  }
  return out;
}

struct ShownMessage {
  QString text;
  QString caption;
  int enabledControls = -1;
  QString progressLine;
};

}  // namespace

class WindowDownloadTest : public QObject {
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

  std::unique_ptr<testing::TestShop> shop_;

 private slots:
  void initTestCase() {
    ConstructPageRegex();
    shop_ = std::make_unique<testing::TestShop>();
    const std::string https = "127.0.0.1:" + std::to_string(shop_->HttpsPort());
    const std::string http = "127.0.0.1:" + std::to_string(shop_->HttpPort());
    SetConnectOverrides({
        std::string(kItemHost) + ":443:" + https,
        std::string(kImgHost) + ":443:" + https,
        std::string(kDescHost) + ":80:" + http,
    });
  }

  void cleanupTestCase() {
    MessageBoxes::SetHook({});
    SetConnectOverrides({});
    shop_.reset();
    DestroyPageRegex();
  }

  void realDownloadSavesServedPictures() {
    QTemporaryDir tmp;
    QVERIFY2(tmp.isValid(), qPrintable(tmp.errorString()));
    const std::string base = tmp.path().toStdString();

    // Two main pictures over HTTPS; two description pictures named by url(...)
    // in a page fetched over HTTP, one of them on the HTTPS picture host.
    const std::string a = PictureBytes(1, 20000), b = PictureBytes(2, 5);
    const std::string c = PictureBytes(3, 4096), d = PictureBytes(4, 1);
    const std::string page = std::string("<html><head><meta charset=\"utf-8\"><title>") +
                             kProductName +
                             "</title></head><script>\nvar pageConfig = {\n product: {\n"
                             "  skuid: 100012345678,\n  name: '" +
                             kProductName + "',\n  desc: '//" + kDescHost + kDescPath +
                             "',\n  imageList: [\"jfs/t1/a.jpg\",\"jfs/t2/b.png\"],\n"
                             "  cat: [1,2]\n }\n};\n</script></html>";
    const std::string description = std::string("<div style=\"background:url(//") + kDescHost +
                                    "/pic/c.jpg)\">说明</div>\n<p style=\"background:url(https://" +
                                    kImgHost + "/desc/d.png)\"></p>\n";
    shop_->Reset();
    const std::string late = ", \"delay_ms\": " + std::to_string(kPictureDelayMs);
    shop_->AddRoutes(Routes(
        {Route(kItemHost, kPagePath, page), Route(kImgHost, "/n12/jfs/t1/a.jpg", a, late),
         Route(kImgHost, "/n12/jfs/t2/b.png", b, late), Route(kDescHost, kDescPath, description),
         Route(kDescHost, "/pic/c.jpg", c, late), Route(kImgHost, "/desc/d.png", d, late)}));

    // The window's own runner, with the base folder moved into tmp. The
    // summary is read only after the window has joined the worker.
    DownloadSummary summary;
    int runs = 0;
    auto runner = [&summary, &runs, folder = PathFromUtf8(base)](const std::string& address,
                                                                 DownloadObserver* observer,
                                                                 const std::atomic<bool>* abort) {
      DownloadWorkflow workflow(observer, {.baseFolder = folder, .abort = abort});
      summary = workflow.OnDownloadClicked(address);
      ++runs;
    };
    MainWindow window(runner, [](const QUrl&) {});
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    auto* box = Control<QLineEdit>(window, "编辑框1");
    auto* button = Control<QPushButton>(window, "按钮1");
    auto* progress = Control<QLabel>(window, "进度");

    std::vector<ShownMessage> messages;
    MessageBoxes::SetHook([&](const QString& text, const QString& caption) {
      messages.push_back({text, caption, EnabledControls(window), progress->text()});
    });

    // Every distinct text the progress line shows while the test runs.
    QStringList seen;
    QTimer watcher;
    watcher.setInterval(2);
    QObject::connect(&watcher, &QTimer::timeout, [&] {
      if (!progress->text().isEmpty() && (seen.isEmpty() || seen.back() != progress->text())) {
        seen.push_back(progress->text());
      }
    });
    watcher.start();

    box->setText(QString::fromUtf8(kPageAddress));
    QTest::mouseClick(button, Qt::LeftButton);

    const QStringList pictureLines = {
        QStringLiteral("主图 1/2 a.jpg"),
        QStringLiteral("主图 2/2 b.png"),
        QStringLiteral("详情 1/2 c.jpg"),
        QStringLiteral("详情 2/2 d.png"),
    };
    QTRY_VERIFY_WITH_TIMEOUT(EnabledControls(window) == 0, 10000);
    QTRY_VERIFY_WITH_TIMEOUT(
        pictureLines.contains(progress->text()) && EnabledControls(window) == 0, 10000);
    QVERIFY(window.DownloadRunning());
    QVERIFY2(messages.empty(), "the completion box came before the pictures");

    QTRY_VERIFY_WITH_TIMEOUT(!messages.empty(), 30000);
    QTRY_COMPARE_WITH_TIMEOUT(EnabledControls(window), 2, 10000);
    QTRY_VERIFY_WITH_TIMEOUT(!window.DownloadRunning(), 10000);
    watcher.stop();
    MessageBoxes::SetHook({});

    // One box, shown while the controls were still off and after the last
    // picture's line.
    QCOMPARE(messages.size(), size_t{1});
    const QString folder = tmp.path() + "/imgs/" + QString::fromUtf8(kProductFolder);
    QVERIFY2(messages[0].text.startsWith(QStringLiteral("下载完成！")),
             qPrintable(messages[0].text));
    QCOMPARE(messages[0].text, QStringLiteral("下载完成！\n"
                                              "主图：已保存 2 张，失败 0 张\n"
                                              "详情图：已保存 2 张，失败 0 张\n"
                                              "保存位置：") +
                                   folder);
    QCOMPARE(messages[0].caption, QStringLiteral("提示"));
    QCOMPARE(messages[0].enabledControls, 0);
    QCOMPARE(messages[0].progressLine, pictureLines.back());

    // The lines seen are picture lines in download order (polling may miss
    // some; it saw at least the one checked above).
    QVERIFY(!seen.isEmpty());
    qsizetype at = -1;
    for (const QString& line : seen) {
      const qsizetype next = pictureLines.indexOf(line);
      QVERIFY2(next > at, qPrintable("out of order or unknown: " + line +
                                     "\nseen: " + seen.join(QStringLiteral(" | "))));
      at = next;
    }

    QCOMPARE(runs, 1);
    QVERIFY(summary.pageFetched);
    QVERIFY(!summary.cancelled);
    QCOMPARE(summary.mainSaved, 2);
    QCOMPARE(summary.mainFailed, 0);
    QCOMPARE(summary.descriptionSaved, 2);
    QCOMPARE(summary.descriptionFailed, 0);
    QCOMPARE(QString::fromStdString(summary.message), messages[0].text);

    // The shop got exactly these requests, in this order.
    std::vector<std::string> requests;
    for (const auto& r : testing::ParseShopLog(shop_->Log())) requests.push_back(r.host + r.path);
    const std::vector<std::string> wantRequests = {
        std::string(kItemHost) + kPagePath,          std::string(kImgHost) + "/n12/jfs/t1/a.jpg",
        std::string(kImgHost) + "/n12/jfs/t2/b.png", std::string(kDescHost) + kDescPath,
        std::string(kDescHost) + "/pic/c.jpg",       std::string(kImgHost) + "/desc/d.png",
    };
    QCOMPARE(requests, wantRequests);

    // On disk: the four pictures byte for byte, their folders, nothing else.
    const std::string product = std::string("imgs/") + kProductFolder;
    const Tree want = {
        {"imgs/", "<dir>"},           {product + "/", "<dir>"},     {product + "/主图/", "<dir>"},
        {product + "/主图/a.jpg", a}, {product + "/主图/b.png", b}, {product + "/详情/", "<dir>"},
        {product + "/详情/c.jpg", c}, {product + "/详情/d.png", d},
    };
    const Tree got = TreeOnDisk(base);
    QVERIFY2(got == want, Differences(got, want).constData());
  }
};

}  // namespace qv

QTEST_MAIN(qv::WindowDownloadTest)
#include "window_download_test.moc"
