// Times RegexObject on the download's two description patterns against raw
// PCRE2 on the same text.
//
// The page is a generated description: HTML-like ASCII with runs of Chinese,
// in GBK, holding 5,000 picture references per 2 MB (half CSS url(...), half
// data-lazyload with backslash-escaped quotes). "RegexObject" is what the
// download does: Create with each pattern, then SubMatchText(i, 1) for every
// match, GBK decoding and encoding included. "raw PCRE2" runs the same
// patterns, compiled once with JIT, over the page already in UTF-8 and copies
// each first group into a std::string. "GbkToUtf8" is the decoding alone, to
// show how much of RegexObject's time it takes.
//
// Each runs at 2 MB and 8 MB, five repetitions each; the repetition with the
// least CPU time per iteration counts (CPU rather than wall time, so that other
// work on the machine disturbs the figures less). The program prints each one's 8 MB / 2 MB time
// ratio (linear growth gives about 4) and, last, "ratio: N.NN": RegexObject over raw PCRE2 at 2 MB.
#define PCRE2_CODE_UNIT_WIDTH 8
#include <benchmark/benchmark.h>
#include <pcre2.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "core/types.h"
#include "regex/regex_object.h"
#include "text/codepage.h"

namespace {

using qv::Text;

constexpr size_t kMiB = size_t{1} << 20;
constexpr size_t kSmall = 2 * kMiB;
constexpr size_t kLarge = 8 * kMiB;
constexpr int kReferencesPerSmall = 5000;
constexpr double kMaxScaling = 4.5;
constexpr double kMaxRatio = 4.0;

// The download's patterns, as it passes them to Create.
constexpr std::string_view kPatterns[] = {R"re(url\((.*?)\))re",
                                          R"re(data-lazyload=\\"(.*?)\\")re"};

std::string SizeName(size_t size) { return std::to_string(size / kMiB) + "MB"; }

// Generates a GBK description page of about `size` bytes with
// kReferencesPerSmall references per kSmall bytes.
Text MakePage(size_t size) {
  std::mt19937 rng(20240611);
  const Text chinese = qv::Utf8ToGbk(
      "商品详情图片颜色尺寸材质产地品牌包装清单售后服务正品保证全国联保"
      "面料柔软舒适透气春夏秋冬季新款时尚休闲百搭修身显瘦");
  const char* words[] = {"<span>", "</span>",           "<br/>",     "font-size:14px;",
                         "&nbsp;", "class=\"c\"",       "width=750", "<b>",
                         "</b>",   "text-align:center;"};
  const int references = static_cast<int>(kReferencesPerSmall * (size / kSmall));
  const size_t between = size / references;
  Text page;
  page.reserve(size + 4096);
  for (int r = 0; r < references; ++r) {
    const size_t end = page.size() + between;
    const std::string name = "//img.quorvel.example/n12/desc/" + std::to_string(rng() % 100000) +
                             "/" + std::to_string(r) + ".jpg";
    const std::string reference =
        (r % 2 == 0) ? "<div style=\"background-image:url(" + name + ");height:420px\"></div>\n"
                     : "<img class=\\\"lazy\\\" data-lazyload=\\\"" + name + "\\\" />\n";
    page += "<p style=\"margin:0;padding:0\">";
    while (page.size() + reference.size() + 30 < end) {
      if (rng() % 4 == 0) {
        const size_t chars = 2 + rng() % 12;
        for (size_t c = 0; c < chars; ++c) {
          const size_t at = 2 * (rng() % (chinese.size() / 2));
          page.append(chinese, at, 2);
        }
      } else {
        page += words[rng() % std::size(words)];
      }
      page += ' ';
    }
    page += "</p>\n";
    page += reference;
  }
  return page;
}

const Text& Page(size_t size) {
  static std::map<size_t, Text> pages;
  auto it = pages.find(size);
  if (it == pages.end()) it = pages.emplace(size, MakePage(size)).first;
  return it->second;
}

const std::string& Utf8Page(size_t size) {
  static std::map<size_t, std::string> pages;
  auto it = pages.find(size);
  if (it == pages.end()) it = pages.emplace(size, qv::GbkToUtf8(Page(size))).first;
  return it->second;
}

// What the download reads: the first group of every match of both patterns.
std::vector<Text> OursGroups(qv::RegexObject& re, const Text& page) {
  std::vector<Text> out;
  for (std::string_view pattern : kPatterns) {
    re.Create(pattern, page);
    for (int i = 1; i <= re.MatchCount(); ++i) out.push_back(re.SubMatchText(i, 1));
  }
  return out;
}

struct CodeFree {
  void operator()(pcre2_code* c) const { pcre2_code_free(c); }
};
struct DataFree {
  void operator()(pcre2_match_data* d) const { pcre2_match_data_free(d); }
};

// The patterns with the UTF, case and line options that RegexObject uses by
// default, compiled once, with JIT.
class RawPatterns {
 public:
  RawPatterns() {
    for (std::string_view pattern : kPatterns) {
      int error = 0;
      PCRE2_SIZE offset = 0;
      pcre2_code* code = pcre2_compile(
          reinterpret_cast<PCRE2_SPTR>(pattern.data()), pattern.size(),
          PCRE2_UTF | PCRE2_ALT_BSUX | PCRE2_CASELESS | PCRE2_MULTILINE, &error, &offset, nullptr);
      pcre2_jit_compile(code, PCRE2_JIT_COMPLETE);
      codes_.emplace_back(code);
    }
  }

  // First group of every match, pattern by pattern (no match here is empty).
  std::vector<std::string> Groups(const std::string& subject) const {
    std::vector<std::string> out;
    for (const auto& code : codes_) {
      std::unique_ptr<pcre2_match_data, DataFree> data(
          pcre2_match_data_create_from_pattern(code.get(), nullptr));
      const auto s = reinterpret_cast<PCRE2_SPTR>(subject.data());
      size_t start = 0;
      while (pcre2_match(code.get(), s, subject.size(), start, PCRE2_NO_UTF_CHECK, data.get(),
                         nullptr) > 0) {
        const PCRE2_SIZE* ov = pcre2_get_ovector_pointer(data.get());
        out.emplace_back(subject.data() + ov[2], ov[3] - ov[2]);
        start = ov[1];
      }
    }
    return out;
  }

 private:
  std::vector<std::unique_ptr<pcre2_code, CodeFree>> codes_;
};

void BM_RegexObject(benchmark::State& state, size_t size) {
  const Text& page = Page(size);
  for (auto _ : state) {
    // A fresh object, as for a new page: the decoding is paid once each time.
    qv::RegexObject re;
    std::vector<Text> groups = OursGroups(re, page);
    benchmark::DoNotOptimize(groups.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * page.size()));
}

void BM_Raw(benchmark::State& state, size_t size) {
  const std::string& page = Utf8Page(size);
  const RawPatterns raw;
  for (auto _ : state) {
    std::vector<std::string> groups = raw.Groups(page);
    benchmark::DoNotOptimize(groups.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * page.size()));
}

void BM_GbkToUtf8(benchmark::State& state, size_t size) {
  const Text& page = Page(size);
  for (auto _ : state) {
    std::string utf8 = qv::GbkToUtf8(page);
    benchmark::DoNotOptimize(utf8.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * page.size()));
}

const char* const kRoutines[] = {"RegexObject", "raw PCRE2", "GbkToUtf8"};

void RegisterAll() {
  for (size_t size : {kSmall, kLarge}) {
    const std::string suffix = "/" + SizeName(size);
    benchmark::RegisterBenchmark((std::string(kRoutines[0]) + suffix).c_str(), BM_RegexObject, size)
        ->Unit(benchmark::kMicrosecond)
        ->Repetitions(5);
    benchmark::RegisterBenchmark((std::string(kRoutines[1]) + suffix).c_str(), BM_Raw, size)
        ->Unit(benchmark::kMicrosecond)
        ->Repetitions(5);
    benchmark::RegisterBenchmark((std::string(kRoutines[2]) + suffix).c_str(), BM_GbkToUtf8, size)
        ->Unit(benchmark::kMicrosecond)
        ->Repetitions(5);
  }
}

// Both sides must find the same references before their times mean anything.
bool SameResults(size_t size) {
  qv::RegexObject re;
  const std::vector<Text> ours = OursGroups(re, Page(size));
  const std::vector<std::string> raw = RawPatterns().Groups(Utf8Page(size));
  const size_t expected = kReferencesPerSmall * (size / kSmall);
  if (ours.size() != expected || raw.size() != expected) {
    std::fprintf(stderr, "%s: %zu references expected, RegexObject found %zu, raw %zu\n",
                 SizeName(size).c_str(), expected, ours.size(), raw.size());
    return false;
  }
  for (size_t i = 0; i < ours.size(); ++i) {
    if (qv::GbkToUtf8(ours[i]) != raw[i]) {
      std::fprintf(stderr, "%s: reference %zu differs: %s / %s\n", SizeName(size).c_str(), i + 1,
                   ours[i].c_str(), raw[i].c_str());
      return false;
    }
  }
  return true;
}

// Shows the repetition of each benchmark with the least CPU time and keeps
// that time per iteration by benchmark name.
class CollectingReporter : public benchmark::ConsoleReporter {
 public:
  CollectingReporter() : ConsoleReporter(isatty(STDOUT_FILENO) ? OO_Color : OO_None) {}

  void ReportRuns(const std::vector<Run>& runs) override {
    std::vector<Run> shown;
    const Run* fastest = nullptr;
    for (const Run& r : runs) {
      if (r.error_occurred) {
        shown.push_back(r);
      } else if (r.run_type == Run::RT_Iteration &&
                 (!fastest || r.GetAdjustedCPUTime() < fastest->GetAdjustedCPUTime())) {
        fastest = &r;
      }
    }
    if (fastest) {
      shown.push_back(*fastest);
      micros_[fastest->run_name.function_name] =
          fastest->GetAdjustedCPUTime() /
          (benchmark::GetTimeUnitMultiplier(fastest->time_unit) / 1e6);
    }
    if (!shown.empty()) ConsoleReporter::ReportRuns(shown);
  }

  // Time per iteration in microseconds, or a negative value when not measured.
  double Micros(const std::string& name) const {
    auto it = micros_.find(name);
    return it == micros_.end() ? -1.0 : it->second;
  }

 private:
  std::map<std::string, double> micros_;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  for (size_t size : {kSmall, kLarge}) {
    if (!SameResults(size)) return 1;
    std::printf("%s page: %zu bytes GBK, %zu bytes UTF-8, %d references\n", SizeName(size).c_str(),
                Page(size).size(), Utf8Page(size).size(),
                static_cast<int>(kReferencesPerSmall * (size / kSmall)));
  }
  RegisterAll();

  CollectingReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();

  std::printf(
      "\n%s / %s time, CPU time, best repetition of each (linear is about 4; target <= %.1f):\n",
      SizeName(kLarge).c_str(), SizeName(kSmall).c_str(), kMaxScaling);
  for (const char* routine : kRoutines) {
    const double small = reporter.Micros(std::string(routine) + "/" + SizeName(kSmall));
    const double large = reporter.Micros(std::string(routine) + "/" + SizeName(kLarge));
    if (small <= 0 || large <= 0) {
      std::printf("  %-12s not measured\n", routine);
      continue;
    }
    const double scaling = large / small;
    std::printf("  %-12s %10.1f us %10.1f us  x%.2f%s\n", routine, small, large, scaling,
                scaling > kMaxScaling ? "  ABOVE TARGET" : "");
  }

  const double ours = reporter.Micros(std::string(kRoutines[0]) + "/" + SizeName(kSmall));
  const double raw = reporter.Micros(std::string(kRoutines[1]) + "/" + SizeName(kSmall));
  const double decode = reporter.Micros(std::string(kRoutines[2]) + "/" + SizeName(kSmall));
  if (ours <= 0 || raw <= 0) {
    std::fprintf(stderr, "RegexObject or raw PCRE2 on the %s page was not measured\n",
                 SizeName(kSmall).c_str());
    return 1;
  }
  if (decode > 0) {
    // The first Create decodes the page; the second reuses that.
    std::printf("GbkToUtf8 of the %s page: %.1f us = %.0f%% of RegexObject's time, %.2f x raw\n",
                SizeName(kSmall).c_str(), decode, 100.0 * decode / ours, decode / raw);
  }
  const double ratio = ours / raw;
  std::printf("RegexObject vs raw PCRE2 on the %s page (target <= %.1f)%s\n",
              SizeName(kSmall).c_str(), kMaxRatio, ratio > kMaxRatio ? ": ABOVE TARGET" : "");
  std::printf("ratio: %.2f\n", ratio);
  return 0;
}
