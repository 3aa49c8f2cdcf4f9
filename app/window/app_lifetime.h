// What the program does around its window: the start-up hook, the exit
// routine, the product folder of the last download, and the fatal report.
//
// ExitCleanup is registered with std::atexit at start-up. It does its work
// once: a second call returns at once, so an explicit call before exit and
// the one at exit cannot free anything twice. Nothing here reports failure.
#ifndef QV_APP_WINDOW_APP_LIFETIME_H_
#define QV_APP_WINDOW_APP_LIFETIME_H_

#include <string_view>

#include "core/types.h"

namespace qv {

// The hook run before the window opens. Does nothing and returns 0.
int StartupRoutine();

// Destroys PageRegex (nothing happens when it is already gone) and releases
// the image folder text. Runs its body once per process.
void ExitCleanup();

// The product folder (GBK) of the last download, empty before the first one
// and after ExitCleanup. Safe to call from any thread.
Text ImageFolder();
void SetImageFolder(Text folder);

// A FatalReporter for qv::SetFatalReporter: writes the report to stderr and,
// when a QApplication exists, shows it in a modal box with the error icon
// (on the window's thread, whichever thread reports).
void ReportFatalInBox(std::string_view message);

}  // namespace qv

#endif  // QV_APP_WINDOW_APP_LIFETIME_H_
