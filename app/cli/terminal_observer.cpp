#include "app/cli/terminal_observer.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <utility>

#include "app/cli/printable_text.h"

namespace qv {
namespace {

// Moves to the start of the line and erases it.
constexpr char kClearLine[] = "\r\x1b[K";

}  // namespace

std::string ProgressLine(const DownloadProgress& p, int columns) {
  const int room = std::max(columns - 1, 1);
  const std::string label = p.phase == DownloadPhase::kMainPictures ? "主图" : "详情";
  const std::string counter = std::to_string(p.index) + "/" + std::to_string(p.count);
  const int fixed = DisplayWidth(label) + 1 + static_cast<int>(counter.size());
  // The bar takes 20 columns plus brackets and a blank, less when that
  // would leave under 12 columns for the name.
  int bar = std::min(20, room - fixed - 4 - 12);
  std::string line = label + " ";
  if (bar >= 5) {
    const int done = p.count > 0 ? std::clamp(p.index - 1, 0, p.count) * bar / p.count : 0;
    line += "[" + std::string(done, '#') + std::string(bar - done, '-') + "] ";
  }
  line += counter;
  const std::string name = PrintableText(p.fileName);
  const int left = room - DisplayWidth(line) - 1;
  if (!name.empty() && left > 0) line += " " + std::string(FitToColumns(name, left));
  return std::string(FitToColumns(line, room));
}

TerminalObserver::TerminalObserver(std::FILE* out, bool terminal, std::function<int()> columns)
    : out_(out), terminal_(terminal), columns_(std::move(columns)) {}

void TerminalObserver::StartProduct(int index, int count, std::string_view address) {
  ClearProgress();
  std::fprintf(out_, "%s[%d/%d] %s\n", index > 1 ? "\n" : "", index, count,
               PrintableText(address).c_str());
  std::fflush(out_);
}

void TerminalObserver::ClearProgress() {
  if (!progressShown_) return;
  std::fputs(kClearLine, out_);
  std::fflush(out_);
  progressShown_ = false;
}

void TerminalObserver::OnProgress(const DownloadProgress& progress) {
  if (!terminal_) return;
  int columns = columns_ ? columns_() : 0;
  if (columns < 20) columns = 80;
  std::fputs(kClearLine, out_);
  std::fputs(ProgressLine(progress, columns).c_str(), out_);
  std::fflush(out_);
  progressShown_ = true;
}

void TerminalObserver::ShowMessage(const std::string& text, const std::string& /*caption*/) {
  ClearProgress();
  std::fputs(text.c_str(), out_);
  std::fputc('\n', out_);
  std::fflush(out_);
}

int StandardOutputColumns() {
  winsize size{};
  if (::ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) != 0) return 0;
  return size.ws_col;
}

}  // namespace qv
