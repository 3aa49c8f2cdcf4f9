#include "app/cli/stop_signals.h"

#include <signal.h>

namespace qv {
namespace {

std::atomic<bool> stopRequested{false};
volatile sig_atomic_t stopSignal = 0;
static_assert(std::atomic<bool>::is_always_lock_free, "the flag is set from a signal handler");

void OnStopSignal(int signal) {
  if (stopSignal == 0) stopSignal = signal;
  stopRequested.store(true);
}

}  // namespace

const std::atomic<bool>& InstallStopSignals() {
  static const bool installed = [] {
    struct sigaction action = {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    return true;
  }();
  (void)installed;
  return stopRequested;
}

int StopSignalNumber() { return stopSignal; }

}  // namespace qv
