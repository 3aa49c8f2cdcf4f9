// qvpics: the download window.
//
// Start-up: the core, the program's regular-expression object, the exit
// routine, the start-up hook, then the window and its event loop. Closing
// the window ends the program; ExitCleanup runs on the way out.
//
// A hidden option for documentation and smoke tests: --screenshot FILE saves
// a picture of the window's client area once it is shown, then closes it.
// The program then exits with 1 when the picture could not be saved.
#include <QApplication>
#include <QPixmap>
#include <QStringList>
#include <QTimer>
#include <cstdlib>

#include "app/window/app_lifetime.h"
#include "app/window/main_window.h"
#include "core/fatal.h"
#include "regex/page_regex.h"

int main(int argc, char** argv) {
  qv::InitCore();
  qv::SetFatalReporter(&qv::ReportFatalInBox);
  qv::ConstructPageRegex();
  std::atexit(&qv::ExitCleanup);
  qv::StartupRoutine();

  QApplication app(argc, argv);
  qv::MainWindow window;
  window.show();

  bool screenshotFailed = false;
  const QStringList args = QApplication::arguments();
  const qsizetype option = args.indexOf(QStringLiteral("--screenshot"));
  if (option >= 0) {
    const QString file = option + 1 < args.size() ? args[option + 1] : QString();
    QTimer::singleShot(0, &window, [&window, &screenshotFailed, file] {
      screenshotFailed = file.isEmpty() || !window.grab().save(file);
      window.close();
    });
  }

  const int status = app.exec();
  return screenshotFailed ? 1 : status;
}
