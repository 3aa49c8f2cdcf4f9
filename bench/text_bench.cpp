// Times the GBK text routines on generated pages.
//
// The mixed page is HTML-like ASCII interleaved with runs of two-byte GBK
// characters, some of whose second bytes are ASCII (',' ':' '\' '<' 'a'), so
// the character walk has to reject matches that start inside a character.
// The worst-case page is nothing but "\x81\x61" pairs searched for "a\x81":
// every odd offset is a false match, one after another.
//
// Each routine runs at 2 MB and 8 MB, seven repetitions each, shuffled among
// the others; the fastest repetition counts. Both sizes are larger than a
// typical 1 MB L2 cache, so the ratio shows how the routine grows rather than
// which cache level the smaller page fits in. After the table the program
// prints each routine's 8 MB / 2 MB time ratio (linear growth gives about 4)
// and, last, "ratio: N.NN": FindText over std::string_view::find for a
// needle that occurs once near the end of the 8 MB mixed page.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <map>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "core/text_ops.h"
#include "core/types.h"
#include "text/text_between.h"

namespace {

using qv::Text;

constexpr size_t kMiB = size_t{1} << 20;
constexpr size_t kSmall = 2 * kMiB;
constexpr size_t kLarge = 4 * kSmall;
constexpr int kRepetitions = 7;
constexpr double kMaxScaling = 4.5;
constexpr double kMaxFindRatio = 2.0;

// Occurs once, in the tail of the mixed page.
constexpr std::string_view kNeedle = "<img id=\"main-pic\" src=\"//img.qv/sku/8848/a:b\\c.jpg\">";
constexpr std::string_view kNeedleUpper =
    "<IMG ID=\"MAIN-PIC\" SRC=\"//IMG.QV/SKU/8848/A:B\\C.JPG\">";
// Frequent on the mixed page, replaced by a plain quote.
constexpr std::string_view kEntity = "&quot;";
constexpr std::string_view kPrice = "99.00";

// False match at every second byte of the worst-case page; a real one at its end.
constexpr std::string_view kWorstNeedle = "a\x81";

// Builds the mixed page from a fixed seed, so every run times the same bytes.
class MixedPageMaker {
 public:
  explicit MixedPageMaker(std::uint32_t seed) : rng_(seed) {}

  Text Make(size_t size) {
    const Text tail = Tail();
    Text out;
    out.reserve(size + 256);
    out += "<html><body><ul class=\"list\">\n";
    while (out.size() + tail.size() < size) {
      AppendAscii(&out);
      AppendGbk(&out);
    }
    out += tail;
    return out;
  }

 private:
  std::uint32_t Below(std::uint32_t n) { return rng_() % n; }

  void AppendNumber(Text* out, std::uint32_t limit) { *out += std::to_string(Below(limit)); }

  void AppendAscii(Text* out) {
    const std::uint32_t pieces = 1 + Below(4);
    for (std::uint32_t i = 0; i < pieces; ++i) {
      switch (Below(8)) {
        case 0:
          *out += "<li class=\"p-item\" data-sku=\"";
          AppendNumber(out, 1000000);
          *out += "\">";
          break;
        case 1:
          *out += "<a href=\"//item.qv/";
          AppendNumber(out, 1000000);
          *out += ".html\" title=\"";
          break;
        case 2: *out += "\">"; break;
        case 3: *out += "</a></li>\n"; break;
        case 4:
          *out += "<span class=\"price\">";
          AppendNumber(out, 1000);
          *out += ".50</span>";
          break;
        case 5:
          *out += " data-tags=\"";
          for (std::uint32_t k = 0; k < 6; ++k) {
            AppendNumber(out, 100);
            *out += ',';
          }
          *out += '"';
          break;
        case 6:
          *out += kEntity;
          AppendNumber(out, 100);
          *out += kEntity;
          break;
        default: *out += ", "; break;
      }
    }
  }

  void AppendGbk(Text* out) {
    static constexpr char kAsciiTrail[] = {',', ':', '\\', '<', 'a'};
    const std::uint32_t chars = 1 + Below(16);
    for (std::uint32_t i = 0; i < chars; ++i) {
      *out += static_cast<char>(0x81 + Below(0x7E));  // lead 0x81..0xFE
      if (Below(8) == 0) {
        *out += kAsciiTrail[Below(sizeof kAsciiTrail)];
      } else {
        *out += static_cast<char>(0x40 + Below(0xBF));  // second byte 0x40..0xFE
      }
    }
    if (Below(2) == 0) *out += ',';
  }

  // The needle, the price box and a few GBK characters around them.
  Text Tail() {
    Text t = "<div class=\"gallery\">";
    AppendGbk(&t);
    t += kNeedle;
    AppendGbk(&t);
    t += "<div id=\"price-box\">";
    t += kPrice;
    t += "</div>";
    AppendGbk(&t);
    t += "</ul></body></html>\n";
    return t;
  }

  std::mt19937 rng_;
};

const Text& MixedPage(size_t size) {
  static std::map<size_t, Text> pages;
  auto it = pages.find(size);
  if (it == pages.end()) it = pages.emplace(size, MixedPageMaker(20240601).Make(size)).first;
  return it->second;
}

// size bytes of "\x81\x61" pairs followed by "a\x81\x40": the only match of
// kWorstNeedle on a character boundary is the one at the end.
const Text& WorstPage(size_t size) {
  static std::map<size_t, Text> pages;
  auto it = pages.find(size);
  if (it == pages.end()) {
    Text t;
    t.reserve(size + 3);
    while (t.size() + 2 <= size) t += "\x81\x61";
    t += "a\x81\x40";
    it = pages.emplace(size, std::move(t)).first;
  }
  return it->second;
}

std::string SizeName(size_t size) { return std::to_string(size / kMiB) + "MB"; }

// Runs body once per iteration; check sees the page and the first result and
// reports a wrong one, so a broken routine cannot pass as a fast one.
template <typename Body, typename Check>
void Run(benchmark::State& state, const Text& page, Body body, Check check) {
  const std::string problem = check(page, body(page));
  if (!problem.empty()) {
    state.SkipWithError(problem.c_str());
    return;
  }
  for (auto _ : state) {
    auto result = body(page);
    benchmark::DoNotOptimize(result);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * page.size()));
}

std::string Expect(bool ok, const char* what) { return ok ? std::string() : std::string(what); }

// 1-based position of kNeedle as std::string_view::find sees it.
int AtNeedle(const Text& page) {
  return static_cast<int>(std::string_view(page).find(kNeedle)) + 1;
}

// 1-based position of the one boundary match of kWorstNeedle, before the last byte.
int AtWorstEnd(const Text& page) { return static_cast<int>(page.size()) - 2; }

// Routines timed on both page sizes; the large / small ratio is printed for each.
std::vector<std::string>& Routines() {
  static std::vector<std::string> names;
  return names;
}

template <typename Body, typename Check>
void Register(const std::string& routine, const Text& (*page)(size_t), Body body, Check check) {
  Routines().push_back(routine);
  for (size_t size : {kSmall, kLarge}) {
    benchmark::RegisterBenchmark(
        (routine + "/" + SizeName(size)).c_str(),
        [=](benchmark::State& state) { Run(state, page(size), body, check); })
        ->Unit(benchmark::kMicrosecond)
        ->MinTime(0.04)
        ->Repetitions(kRepetitions);
  }
}

void RegisterAll() {
  // The mixed page.
  Register(
      "string_view::find/mixed", MixedPage,
      [](const Text& p) { return std::string_view(p).find(kNeedle); },
      [](const Text& p, size_t r) {
        return Expect(r != std::string_view::npos && p.find(kNeedle, r + 1) == Text::npos,
                      "needle missing or not unique");
      });
  Register(
      "FindText/mixed", MixedPage, [](const Text& p) { return qv::FindText(p, kNeedle); },
      [](const Text& p, int r) { return Expect(r == AtNeedle(p), "FindText missed the needle"); });
  Register(
      "FindTextIgnoreCase/mixed", MixedPage,
      [](const Text& p) { return qv::FindText(p, kNeedleUpper, std::nullopt, true); },
      [](const Text& p, int r) {
        return Expect(r == AtNeedle(p), "FindText ignoring case missed");
      });
  Register(
      "FindTextReverse/mixed", MixedPage,
      [](const Text& p) { return qv::FindTextReverse(p, kNeedle); },
      [](const Text& p, int r) { return Expect(r == AtNeedle(p), "FindTextReverse missed"); });
  Register(
      "SplitText/mixed", MixedPage, [](const Text& p) { return qv::SplitText(p, ","); },
      [](const Text& p, const qv::TextArray& r) {
        // Fewer pieces than comma bytes: some commas are second bytes.
        const auto commas = std::count(p.begin(), p.end(), ',');
        return Expect(r.Count() > 1000 && r.Count() < commas, "commas not walked by character");
      });
  Register(
      "ReplaceSubtext/mixed", MixedPage,
      [](const Text& p) { return qv::ReplaceSubtext(p, kEntity, "\""); },
      [](const Text& p, const Text& r) {
        return Expect(r.size() < p.size() && r.find(kEntity) == Text::npos, "entity left over");
      });
  Register(
      "TextBetween/mixed", MixedPage,
      [](const Text& p) {
        const Text start = "<div id=" + Text(qv::kQuotePlaceholder) + "price-box" +
                           Text(qv::kQuotePlaceholder) + ">";
        return qv::TextBetween(p, start, "</div>");
      },
      [](const Text&, const Text& r) { return Expect(r == kPrice, "wrong price"); });

  // The worst case for the character walk.
  Register(
      "FindText/worst", WorstPage, [](const Text& p) { return qv::FindText(p, kWorstNeedle); },
      [](const Text& p, int r) { return Expect(r == AtWorstEnd(p), "FindText missed the end"); });
  Register(
      "FindTextIgnoreCase/worst", WorstPage,
      [](const Text& p) { return qv::FindText(p, "A\x81", std::nullopt, true); },
      [](const Text& p, int r) { return Expect(r == AtWorstEnd(p), "FindText missed the end"); });
  Register(
      "FindTextReverse/worst", WorstPage,
      [](const Text& p) { return qv::FindTextReverse(p, kWorstNeedle); },
      [](const Text& p, int r) {
        return Expect(r == AtWorstEnd(p), "FindTextReverse missed the end");
      });
  Register(
      "SplitText/worst", WorstPage, [](const Text& p) { return qv::SplitText(p, kWorstNeedle); },
      [](const Text& p, const qv::TextArray& r) {
        return Expect(r.Count() == 2 && r[1].size() == p.size() - 3, "wrong pieces");
      });
  Register(
      "ReplaceSubtext/worst", WorstPage,
      [](const Text& p) { return qv::ReplaceSubtext(p, kWorstNeedle, "#"); },
      [](const Text& p, const Text& r) {
        return Expect(r.size() == p.size() - 1 && r.ends_with("#\x40"), "wrong replacement");
      });
}

// Keeps the fastest repetition of each benchmark, the one least disturbed by
// whatever else the machine is doing, and shows them in the order they were
// registered once all have run (repetitions run shuffled).
class CollectingReporter : public benchmark::ConsoleReporter {
 public:
  CollectingReporter() : ConsoleReporter(isatty(STDOUT_FILENO) ? OO_Color : OO_None) {}

  void ReportRuns(const std::vector<Run>& runs) override {
    const Run* fastest = nullptr;
    for (const Run& r : runs) {
      if (r.error_occurred) {
        kept_.push_back(r);
      } else if (r.run_type == Run::RT_Iteration &&
                 (!fastest || r.GetAdjustedRealTime() < fastest->GetAdjustedRealTime())) {
        fastest = &r;
      }
    }
    if (fastest) {
      kept_.push_back(*fastest);
      micros_[fastest->run_name.function_name] =
          fastest->GetAdjustedRealTime() / Multiplier(fastest->time_unit);
    }
  }

  void Finalize() override {
    std::stable_sort(kept_.begin(), kept_.end(), [](const Run& a, const Run& b) {
      return std::pair(a.family_index, a.per_family_instance_index) <
             std::pair(b.family_index, b.per_family_instance_index);
    });
    if (!kept_.empty()) ConsoleReporter::ReportRuns(kept_);
    ConsoleReporter::Finalize();
  }

  // Time per iteration in microseconds, or a negative value when not measured.
  double Micros(const std::string& name) const {
    auto it = micros_.find(name);
    return it == micros_.end() ? -1.0 : it->second;
  }

 private:
  // Units of time_unit per microsecond.
  static double Multiplier(benchmark::TimeUnit unit) {
    return benchmark::GetTimeUnitMultiplier(unit) / 1e6;
  }

  std::vector<Run> kept_;
  std::map<std::string, double> micros_;
};

}  // namespace

int main(int argc, char** argv) {
  // Repetitions of all benchmarks run in shuffled order, so a burst of load
  // from elsewhere on the machine spoils a few runs of many benchmarks rather
  // than every run of one. The command line can still turn this off.
  static char interleave[] = "--benchmark_enable_random_interleaving=true";
  std::vector<char*> args(argv, argv + argc);
  args.insert(args.begin() + 1, interleave);
  int count = static_cast<int>(args.size());
  args.push_back(nullptr);
  benchmark::Initialize(&count, args.data());
  if (benchmark::ReportUnrecognizedArguments(count, args.data())) return 1;
  RegisterAll();

  CollectingReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();

  std::printf("\n%s / %s time, fastest repetition of each (linear is about 4; target <= %.1f):\n",
              SizeName(kLarge).c_str(), SizeName(kSmall).c_str(), kMaxScaling);
  for (const std::string& routine : Routines()) {
    const double small = reporter.Micros(routine + "/" + SizeName(kSmall));
    const double large = reporter.Micros(routine + "/" + SizeName(kLarge));
    if (small <= 0 || large <= 0) {
      std::printf("  %-28s not measured\n", routine.c_str());
      continue;
    }
    const double scaling = large / small;
    std::printf("  %-28s %10.1f us %10.1f us  x%.2f%s\n", routine.c_str(), small, large, scaling,
                scaling > kMaxScaling ? "  ABOVE TARGET" : "");
  }

  const double find = reporter.Micros("FindText/mixed/" + SizeName(kLarge));
  const double base = reporter.Micros("string_view::find/mixed/" + SizeName(kLarge));
  if (find <= 0 || base <= 0) {
    std::fprintf(stderr, "FindText or string_view::find on the %s mixed page was not measured\n",
                 SizeName(kLarge).c_str());
    return 1;
  }
  const double ratio = find / base;
  std::printf("FindText vs string_view::find, needle near the end of %s (target <= %.1f)%s\n",
              SizeName(kLarge).c_str(), kMaxFindRatio,
              ratio > kMaxFindRatio ? ": ABOVE TARGET" : "");
  std::printf("ratio: %.2f\n", ratio);
  return 0;
}
