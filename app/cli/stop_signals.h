// Ctrl-C (SIGINT) and SIGTERM as a request to stop: instead of ending the
// process at once, they set a flag that the download watches (its abort
// flag, app/workflow/download_workflow.h), so the current transfer ends
// within a fraction of a second and no partial file is left.
#ifndef QV_APP_CLI_STOP_SIGNALS_H_
#define QV_APP_CLI_STOP_SIGNALS_H_

#include <atomic>

namespace qv {

// Installs the handlers (once; later calls only return the flag) and
// returns the flag they set. Call from the main thread before the download.
const std::atomic<bool>& InstallStopSignals();

// The signal that set the flag, 0 when none has arrived.
int StopSignalNumber();

}  // namespace qv

#endif  // QV_APP_CLI_STOP_SIGNALS_H_
