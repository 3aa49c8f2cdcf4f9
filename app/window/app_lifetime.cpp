#include "app/window/app_lifetime.h"

#include <QApplication>
#include <QMetaObject>
#include <QString>
#include <QThread>
#include <atomic>
#include <cstdio>
#include <mutex>
#include <utility>

#include "app/window/message_boxes.h"
#include "regex/page_regex.h"

namespace qv {
namespace {

std::mutex g_folderMutex;
Text g_imageFolder;
std::atomic<bool> g_cleanedUp{false};

}  // namespace

int StartupRoutine() { return 0; }

void ExitCleanup() {
  if (g_cleanedUp.exchange(true)) return;
  DestroyPageRegex();
  std::lock_guard<std::mutex> lock(g_folderMutex);
  Text().swap(g_imageFolder);
}

Text ImageFolder() {
  std::lock_guard<std::mutex> lock(g_folderMutex);
  return g_imageFolder;
}

void SetImageFolder(Text folder) {
  std::lock_guard<std::mutex> lock(g_folderMutex);
  g_imageFolder = std::move(folder);
}

void ReportFatalInBox(std::string_view message) {
  std::fprintf(stderr, "%.*s\n", static_cast<int>(message.size()), message.data());
  std::fflush(stderr);
  QCoreApplication* app = QCoreApplication::instance();
  if (qobject_cast<QApplication*>(app) == nullptr) return;
  const QString text = QString::fromUtf8(message.data(), static_cast<qsizetype>(message.size()));
  auto show = [text] { MessageBoxes::ShowError(text, QStringLiteral("错误")); };
  if (QThread::currentThread() == app->thread()) {
    show();
  } else {
    // Widgets live on the window's thread; wait there until the box is closed.
    QMetaObject::invokeMethod(app, show, Qt::BlockingQueuedConnection);
  }
}

}  // namespace qv
