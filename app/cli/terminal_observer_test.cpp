#include "app/cli/terminal_observer.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "app/cli/printable_text.h"

namespace qv {
namespace {

DownloadProgress Progress(DownloadPhase phase, int index, int count, std::string name) {
  return {.phase = phase, .index = index, .count = count, .fileName = std::move(name)};
}

TEST(ProgressLineTest, PhaseBarCountAndNameFitTheWidth) {
  struct Row {
    const char* name;
    DownloadProgress p;
    int columns;
    std::string want;
  };
  const Row rows[] = {
      {"first of four", Progress(DownloadPhase::kMainPictures, 1, 4, "a.jpg"), 80,
       "主图 [--------------------] 1/4 a.jpg"},
      {"third of four", Progress(DownloadPhase::kMainPictures, 3, 4, "b.png"), 80,
       "主图 [##########----------] 3/4 b.png"},
      {"description", Progress(DownloadPhase::kDescriptionPictures, 60, 60, "详情图.jpg"), 80,
       "详情 [###################-] 60/60 详情图.jpg"},
      {"name cut to the width", Progress(DownloadPhase::kMainPictures, 1, 2, std::string(100, 'n')),
       50, "主图 [--------------------] 1/2 " + std::string(17, 'n')},
      {"narrow: no bar", Progress(DownloadPhase::kMainPictures, 2, 2, "abcdefghijklmnop"), 24,
       "主图 2/2 abcdefghijklmn"},
      {"control bytes escaped", Progress(DownloadPhase::kMainPictures, 1, 1, "a\r\x1b[2Jb"), 80,
       "主图 [--------------------] 1/1 a\\x0D\\x1B[2Jb"},
      {"empty name", Progress(DownloadPhase::kMainPictures, 1, 1, ""), 80,
       "主图 [--------------------] 1/1"},
      {"no count yet", Progress(DownloadPhase::kMainPictures, 0, 0, "x"), 80,
       "主图 [--------------------] 0/0 x"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const std::string line = ProgressLine(row.p, row.columns);
    EXPECT_EQ(line, row.want);
    EXPECT_LT(DisplayWidth(line), row.columns);
  }
  // However narrow, the line stays inside the width.
  for (int columns = 1; columns < 40; ++columns) {
    SCOPED_TRACE(columns);
    const std::string line = ProgressLine(
        Progress(DownloadPhase::kDescriptionPictures, 7, 9, "宽字符名字.jpg"), columns);
    EXPECT_LE(DisplayWidth(line), std::max(columns - 1, 1));
  }
}

// Runs calls on an observer writing to a temporary file and returns what it
// wrote.
template <typename Calls>
std::string Output(bool terminal, Calls calls) {
  std::FILE* f = std::tmpfile();
  EXPECT_NE(f, nullptr);
  if (f == nullptr) return {};
  {
    TerminalObserver observer(f, terminal, [] { return 30; });
    calls(observer);
  }
  std::rewind(f);
  std::string out;
  char buffer[4096];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) out.append(buffer, n);
  std::fclose(f);
  return out;
}

void OneProductOfTwo(TerminalObserver& o) {
  o.StartProduct(1, 2, "https://item.quorvel.example/1.html");
  o.DisableControls();
  o.OnProgress(Progress(DownloadPhase::kMainPictures, 1, 2, "a.jpg"));
  o.OnProgress(Progress(DownloadPhase::kMainPictures, 2, 2, "b.jpg"));
  o.OnProgress(Progress(DownloadPhase::kDescriptionPictures, 1, 1, "c.png"));
  o.ShowMessage("下载完成！\n主图：已保存 2 张", "提示");
  o.EnableControls();
  o.StartProduct(2, 2, "https://item.quorvel.example/2.html");
  o.ShowMessage("下载完成！", "提示");
}

TEST(TerminalObserverTest, PlainLinesWhenNotATerminal) {
  EXPECT_EQ(Output(false, OneProductOfTwo),
            "[1/2] https://item.quorvel.example/1.html\n"
            "下载完成！\n主图：已保存 2 张\n"
            "\n[2/2] https://item.quorvel.example/2.html\n"
            "下载完成！\n");
}

TEST(TerminalObserverTest, RedrawnProgressLineOnATerminal) {
  EXPECT_EQ(Output(true, OneProductOfTwo),
            "[1/2] https://item.quorvel.example/1.html\n"
            "\r\x1b[K主图 [-----] 1/2 a.jpg"
            "\r\x1b[K主图 [##---] 2/2 b.jpg"
            "\r\x1b[K详情 [-----] 1/1 c.png"
            "\r\x1b[K下载完成！\n主图：已保存 2 张\n"
            "\n[2/2] https://item.quorvel.example/2.html\n"
            "下载完成！\n");
  // A stop while a picture is fetched leaves no progress line behind.
  EXPECT_EQ(Output(true,
                   [](TerminalObserver& o) {
                     o.OnProgress(Progress(DownloadPhase::kMainPictures, 1, 1, "a.jpg"));
                     o.ClearProgress();
                     o.ClearProgress();
                   }),
            "\r\x1b[K主图 [-----] 1/1 a.jpg\r\x1b[K");
}

}  // namespace
}  // namespace qv
