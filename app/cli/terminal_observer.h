// What qvpics-cli shows of a download: a line naming each product, a
// progress line on a terminal, and the workflow's completion message.
//
// On a terminal the progress is one line redrawn with '\r' before each
// picture: the phase (主图 or 详情), a bar, n/N and the file name, cut to
// the terminal's width. When the output is no terminal (a pipe, a file)
// there is no per-picture output, only the product lines and the messages,
// so a log holds plain lines. Messages are printed, not shown in a box:
// ShowMessage returns at once. Every write is flushed. Texts are UTF-8; the
// file names and addresses it prints pass through PrintableText.
#ifndef QV_APP_CLI_TERMINAL_OBSERVER_H_
#define QV_APP_CLI_TERMINAL_OBSERVER_H_

#include <cstdio>
#include <functional>
#include <string>
#include <string_view>

#include "app/workflow/download_observer.h"

namespace qv {

// The progress line for p in at most columns - 1 terminal columns (so the
// cursor never wraps): "主图 [#####---------------] 3/12 name". The bar
// shows the pictures done before this one; it shrinks, then goes, on narrow
// terminals, and the name is cut last.
std::string ProgressLine(const DownloadProgress& p, int columns);

class TerminalObserver : public DownloadObserver {
 public:
  // out must outlive the observer; columns gives the terminal's width at
  // each redraw (values below 20 count as 80, the usual default).
  TerminalObserver(std::FILE* out, bool terminal, std::function<int()> columns);

  // Announces product index of count: "[index/count] address", after a
  // blank line for every product but the first.
  void StartProduct(int index, int count, std::string_view address);
  // Removes the progress line, if one is shown (when the run is stopped).
  void ClearProgress();

  void DisableControls() override {}
  void OnProgress(const DownloadProgress& progress) override;
  void ShowMessage(const std::string& text, const std::string& caption) override;
  void EnableControls() override {}

 private:
  std::FILE* out_;
  bool terminal_;
  std::function<int()> columns_;
  bool progressShown_ = false;
};

// The width of the terminal on standard output, 0 when unknown.
int StandardOutputColumns();

}  // namespace qv

#endif  // QV_APP_CLI_TERMINAL_OBSERVER_H_
