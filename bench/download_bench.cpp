// Times qvpics-cli downloading one product from the local test shop against
// one curl command fetching the same addresses.
//
// The product has 40 main and 60 description pictures of 100 KB on the
// shop's HTTPS listener, and the shop waits 20 ms before every answer, as a
// distant server would. qvpics-cli fetches the product page, the pictures
// and the description page (plain HTTP, a connection of its own); curl
// fetches the product page and the 100 pictures one after the other over
// its reused connections. Runs are interleaved; the best of three wall
// times of each is compared. Also reports the peak memory of the qvpics-cli
// run (the child's maximum resident size, as getrusage(RUSAGE_CHILDREN)
// reports it for one child) above that of `qvpics-cli --version` started
// the same way. The last line is "ratio: N.NN", qvpics-cli's time over
// curl's. Exits 1 when a run fails or a saved picture is wrong.
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tools/testshop/raw_client.h"
#include "tools/testshop/test_shop.h"

extern char** environ;

namespace {

constexpr int kMainPictures = 40;
constexpr int kDescriptionPictures = 60;
constexpr int kPictureSize = 100 * 1024;
constexpr int kDelayMs = 20;
constexpr int kRuns = 3;
constexpr char kItemHost[] = "item.quorvel.example";
constexpr char kImgHost[] = "img.quorvel.example";
constexpr char kDescHost[] = "d.quorvel.example";
constexpr char kPagePath[] = "/57038905465.html";
constexpr char kProductName[] = "BenchLamp";

using Clock = std::chrono::steady_clock;

double MsSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

std::string MainPath(int i) { return "/n12/jfs/m" + std::to_string(i) + ".jpg"; }
std::string DescriptionPath(int i) { return "/desc/d" + std::to_string(i) + ".jpg"; }

// text as a JSON string literal (text is ASCII).
std::string Json(const std::string& text) {
  std::string out = "\"";
  for (const char c : text) {
    if (c == '"' || c == '\\') out += '\\';
    if (c == '\n') {
      out += "\\n";
      continue;
    }
    out += c;
  }
  return out + "\"";
}

std::string Route(const std::string& host, const std::string& path, const std::string& members) {
  return "{\"host\":" + Json(host) + ",\"path\":" + Json(path) + "," + members + "}";
}

// The product page, the description page and the 100 pictures.
std::string Routes() {
  std::string list;
  for (int i = 0; i < kMainPictures; ++i) {
    list += (i ? ",\"jfs/m" : "\"jfs/m") + std::to_string(i) + ".jpg\"";
  }
  const std::string page =
      "<script>var pageConfig = {product: {skuid: 1, name: '" + std::string(kProductName) +
      "',\n desc: '//d.quorvel.example/desc/1.html',\n imageList: [" + list + "]}};</script>";
  // Half CSS references, half lazy-load attributes (their quotes escaped,
  // as the shop's description pages carry them), all on the HTTPS host.
  std::string description;
  for (int i = 0; i < kDescriptionPictures; ++i) {
    const std::string address = std::string("https://") + kImgHost + DescriptionPath(i);
    description += i % 2 == 0 ? "<div style=\\\"background:url(" + address + ")\\\"></div>\n"
                              : "<img data-lazyload=\\\"" + address + "\\\">\n";
  }
  std::string routes = "[" + Route(kItemHost, kPagePath, "\"body\":" + Json(page));
  routes += "," + Route(kDescHost, "/desc/1.html", "\"body\":" + Json(description));
  const std::string size = "\"body_size\":" + std::to_string(kPictureSize);
  for (int i = 0; i < kMainPictures; ++i) routes += "," + Route(kImgHost, MainPath(i), size);
  for (int i = 0; i < kDescriptionPictures; ++i) {
    routes += "," + Route(kImgHost, DescriptionPath(i), size);
  }
  return routes + "]";
}

struct ChildResult {
  bool ok = false;
  int exitCode = -1;
  double ms = 0;
  long maxRssKb = 0;  // the child's peak resident size
  std::string out;
};

// Runs argv with env, its output collected from a pipe, and waits for it
// with wait4 so the resource use is that child's alone.
ChildResult RunChild(std::vector<std::string> args, std::vector<std::string> env) {
  ChildResult result;
  std::vector<char*> argv, envp;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  for (std::string& e : env) envp.push_back(e.data());
  envp.push_back(nullptr);
  int out[2];
  if (::pipe2(out, O_CLOEXEC) != 0) return result;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  pid_t pid = -1;
  const Clock::time_point start = Clock::now();
  const int spawned = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  ::close(out[1]);
  if (spawned != 0) {
    ::close(out[0]);
    std::fprintf(stderr, "cannot run %s: %s\n", argv[0], std::strerror(spawned));
    return result;
  }
  char buffer[65536];
  for (;;) {
    const ssize_t n = ::read(out[0], buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    result.out.append(buffer, static_cast<size_t>(n));
  }
  ::close(out[0]);
  int status = 0;
  rusage usage{};
  ::wait4(pid, &status, 0, &usage);
  result.ms = MsSince(start);
  result.maxRssKb = usage.ru_maxrss;
  result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  result.ok = true;
  return result;
}

// Our environment without proxy settings, plus extra.
std::vector<std::string> Environment(const std::vector<std::string>& extra) {
  std::vector<std::string> env;
  for (char** e = environ; *e != nullptr; ++e) {
    const std::string entry = *e;
    std::string name = entry.substr(0, entry.find('='));
    for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (!name.ends_with("_proxy") && name != "qvpics_connect_to") env.push_back(entry);
  }
  env.insert(env.end(), extra.begin(), extra.end());
  return env;
}

std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Checks that the folder holds exactly the 100 pictures with the shop's
// bytes.
bool CheckSaved(const std::filesystem::path& base, const std::string& want) {
  const std::filesystem::path product = base / "imgs" / kProductName;
  int files = 0;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(base)) {
    if (!entry.is_regular_file()) continue;
    ++files;
    if (ReadFile(entry.path()) != want) {
      std::fprintf(stderr, "wrong bytes in %s\n", entry.path().c_str());
      return false;
    }
  }
  const bool first = std::filesystem::exists(product / "主图" / "m0.jpg") &&
                     std::filesystem::exists(product / "详情" / "d59.jpg");
  if (files != kMainPictures + kDescriptionPictures || !first) {
    std::fprintf(stderr, "%d files saved under %s\n", files, base.c_str());
    return false;
  }
  return true;
}

}  // namespace

int main() {
  qv::testing::TestShop shop;
  shop.AddRoutes(Routes());
  shop.Settings(R"({"delay_all_ms": 20})");
  const std::string https = "127.0.0.1:" + std::to_string(shop.HttpsPort());
  const std::string http = "127.0.0.1:" + std::to_string(shop.HttpPort());
  const std::vector<std::string> env =
      Environment({"QVPICS_CONNECT_TO=" + std::string(kItemHost) + ":443:" + https + "," +
                   kImgHost + ":443:" + https + "," + kDescHost + ":80:" + http});
  const std::string want = qv::testing::ShopPattern(kPictureSize);

  std::vector<std::string> curlArgs = {"curl",
                                       "--silent",
                                       "--show-error",
                                       "--insecure",
                                       "--http1.1",
                                       "--connect-to",
                                       std::string(kItemHost) + ":443:" + https,
                                       "--connect-to",
                                       std::string(kImgHost) + ":443:" + https,
                                       "--write-out",
                                       "%{http_code} %{size_download}\\n"};
  std::vector<std::string> addresses = {std::string("https://") + kItemHost + kPagePath};
  for (int i = 0; i < kMainPictures; ++i) {
    addresses.push_back(std::string("https://") + kImgHost + MainPath(i));
  }
  for (int i = 0; i < kDescriptionPictures; ++i) {
    addresses.push_back(std::string("https://") + kImgHost + DescriptionPath(i));
  }
  for (const std::string& a : addresses) {
    curlArgs.insert(curlArgs.end(), {"--output", "/dev/null", a});
  }

  char pattern[] = "/tmp/qv-download-bench-XXXXXX";
  if (::mkdtemp(pattern) == nullptr) return 1;
  const std::filesystem::path scratch = pattern;

  std::printf(
      "one product, %d main + %d description pictures of %d bytes over HTTPS, %d ms before "
      "every answer\n",
      kMainPictures, kDescriptionPictures, kPictureSize, kDelayMs);
  const ChildResult idle = RunChild({QV_CLI_PATH, "--version"}, env);
  if (!idle.ok || idle.exitCode != 0) return 1;

  std::vector<double> ours, curls;
  long peakKb = 0;
  bool failed = false;
  for (int run = 0; run < kRuns && !failed; ++run) {
    const std::filesystem::path out = scratch / ("run" + std::to_string(run));
    const ChildResult cli = RunChild({QV_CLI_PATH, "-o", out.string(), addresses[0]}, env);
    if (!cli.ok || cli.exitCode != 0 || !CheckSaved(out, want)) {
      std::fprintf(stderr, "qvpics-cli failed (exit %d):\n%s\n", cli.exitCode, cli.out.c_str());
      failed = true;
      break;
    }
    std::filesystem::remove_all(out);
    const ChildResult curl = RunChild(curlArgs, env);
    // The page's size is whatever the page is; the pictures' must be whole.
    std::string pictures;
    for (int i = 0; i < kMainPictures + kDescriptionPictures; ++i) {
      pictures += "200 " + std::to_string(kPictureSize) + "\n";
    }
    const size_t firstLine = curl.out.find('\n');
    if (!curl.ok || curl.exitCode != 0 || !curl.out.starts_with("200 ") ||
        firstLine == std::string::npos || curl.out.substr(firstLine + 1) != pictures) {
      std::fprintf(stderr, "curl failed (exit %d):\n%s\n", curl.exitCode,
                   curl.out.substr(0, 400).c_str());
      failed = true;
      break;
    }
    ours.push_back(cli.ms);
    curls.push_back(curl.ms);
    peakKb = std::max(peakKb, cli.maxRssKb);
    std::printf("  run %d: qvpics-cli %.1f ms, curl %.1f ms\n", run + 1, cli.ms, curl.ms);
  }
  std::filesystem::remove_all(scratch);
  if (failed) return 1;

  const double bestOurs = *std::min_element(ours.begin(), ours.end());
  const double bestCurl = *std::min_element(curls.begin(), curls.end());
  std::printf("qvpics-cli (page, 100 pictures, description page over HTTP): best %.1f ms\n",
              bestOurs);
  std::printf("curl (page and 100 pictures, one command): best %.1f ms\n", bestCurl);
  std::printf(
      "peak memory: qvpics-cli %.1f MB, idle (--version) %.1f MB, above idle %.1f MB "
      "(target under 60 MB)\n",
      peakKb / 1024.0, idle.maxRssKb / 1024.0, (peakKb - idle.maxRssKb) / 1024.0);
  std::printf("target: ratio at most 1.20\n");
  std::printf("ratio: %.2f\n", bestOurs / bestCurl);
  return 0;
}
