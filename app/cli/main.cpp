// qvpics-cli: downloads every picture of Quorvel products from the command
// line, on the same download workflow as the window.
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "app/cli/base_folder.h"
#include "app/cli/cli_options.h"
#include "app/cli/stop_signals.h"
#include "app/cli/terminal_observer.h"
#include "app/workflow/download_workflow.h"
#include "core/fatal.h"
#include "regex/page_regex.h"

namespace {

constexpr int kExitSaved = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;
constexpr int kExitStopped = 130;  // as a shell reports a Ctrl-C

// The current folder, empty when it cannot be had.
std::string CurrentFolder() {
  std::vector<char> buffer(4096);
  while (::getcwd(buffer.data(), buffer.size()) == nullptr) {
    if (errno != ERANGE || buffer.size() > (1u << 20)) return {};
    buffer.resize(buffer.size() * 2);
  }
  return buffer.data();
}

}  // namespace

int main(int argc, char** argv) {
  qv::InitCore();
  const std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
  qv::CliOptions options;
  std::string error;
  switch (qv::ParseCommandLine(args, &options, &error)) {
    case qv::CliAction::kHelp: std::fputs(qv::HelpText().c_str(), stdout); return kExitSaved;
    case qv::CliAction::kVersion: std::fputs(qv::VersionText().c_str(), stdout); return kExitSaved;
    case qv::CliAction::kUsageError:
      std::fprintf(stderr, "qvpics-cli: %s\n", error.c_str());
      return kExitUsage;
    case qv::CliAction::kDownload: break;
  }

  const std::string current = CurrentFolder();
  if (current.empty()) {
    std::fprintf(stderr, "qvpics-cli: cannot read the current folder: %s\n", std::strerror(errno));
    return kExitFailed;
  }
  qv::Text base;
  if (!qv::OutputBaseFolder(options.outputFolder, current, &base, &error)) {
    std::fprintf(stderr, "qvpics-cli: %s\n", error.c_str());
    return kExitUsage;
  }

  const std::atomic<bool>& stop = qv::InstallStopSignals();
  qv::ConstructPageRegex();
  qv::TerminalObserver observer(stdout, ::isatty(STDOUT_FILENO) == 1, qv::StandardOutputColumns);
  qv::DownloadWorkflow workflow(&observer, {.baseFolder = base, .abort = &stop});
  bool allSaved = true;
  bool stopped = false;
  const int count = static_cast<int>(options.addresses.size());
  for (int i = 0; i < count && !stopped; ++i) {
    if (stop.load()) {
      stopped = true;
      break;
    }
    observer.StartProduct(i + 1, count, options.addresses[i]);
    const qv::DownloadSummary summary = workflow.OnDownloadClicked(options.addresses[i]);
    stopped = summary.cancelled;
    if (!summary.pageFetched || summary.mainFailed > 0 || summary.descriptionFailed > 0) {
      allSaved = false;
    }
  }
  qv::DestroyPageRegex();
  if (stopped) {
    observer.ClearProgress();
    std::fprintf(stderr,
                 "qvpics-cli: stopped by signal %d; the picture in progress was not saved\n",
                 qv::StopSignalNumber());
    return kExitStopped;
  }
  return allSaved ? kExitSaved : kExitFailed;
}
