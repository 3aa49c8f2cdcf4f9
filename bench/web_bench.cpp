// Times the picture download's request routine against the curl command
// line tool: 200 pictures of 50 KB from the local test shop over HTTPS,
// fetched one after the other, first with WebRequestCom (a new request
// object per picture, as the download does), then with one curl command
// that fetches the same addresses over its reused connection. Runs are
// interleaved; the best of three wall times of each is compared. The last
// line is "ratio: N.NN", ours over curl's. Exits 1 when a body or a curl
// answer is wrong or curl cannot be run.
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "tools/testshop/raw_client.h"
#include "tools/testshop/test_shop.h"
#include "web/connect_override.h"
#include "web/shop_log.h"
#include "web/web_request_com.h"

extern char** environ;

namespace {

constexpr int kPictures = 200;
constexpr int kPictureSize = 50 * 1024;
constexpr int kRuns = 3;
constexpr char kHost[] = "img.quorvel.example";

using Clock = std::chrono::steady_clock;

double MsSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

std::string PictureUrl(int i) {
  return std::string("https://") + kHost + "/n12/p" + std::to_string(i) + ".jpg";
}

// Fetches every picture with WebRequestCom; false when one comes back
// wrong.
bool FetchOurs(const std::string& want) {
  for (int i = 0; i < kPictures; ++i) {
    int status = 0;
    const qv::Bytes body =
        qv::WebRequestCom(PictureUrl(i), {.method = qv::kMethodGet, .statusCode = &status});
    if (status != 200 || body.size() != want.size() ||
        std::memcmp(body.data(), want.data(), want.size()) != 0) {
      std::fprintf(stderr, "picture %d: status %d, %zu bytes\n", i, status, body.size());
      return false;
    }
  }
  return true;
}

// Runs one curl command for all pictures and checks that it reports status
// 200 and the full size for each; false on any other outcome.
bool FetchWithCurl(int httpsPort) {
  std::vector<std::string> args = {
      "curl",
      "--silent",
      "--show-error",
      "--insecure",
      "--http1.1",
      "--connect-to",
      std::string(kHost) + ":443:127.0.0.1:" + std::to_string(httpsPort),
      "--write-out",
      "%{http_code} %{size_download}\\n",
  };
  for (int i = 0; i < kPictures; ++i) {
    args.push_back("--output");
    args.push_back("/dev/null");
    args.push_back(PictureUrl(i));
  }
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);

  int out[2];
  if (pipe(out) != 0) return false;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
  posix_spawn_file_actions_addclose(&actions, out[0]);
  posix_spawn_file_actions_addclose(&actions, out[1]);
  pid_t pid = -1;
  const int spawned = posix_spawnp(&pid, "curl", &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(out[1]);
  if (spawned != 0) {
    close(out[0]);
    std::fprintf(stderr, "cannot run curl: %s\n", std::strerror(spawned));
    return false;
  }
  std::string report;
  char buffer[4096];
  for (;;) {
    const ssize_t n = read(out[0], buffer, sizeof buffer);
    if (n <= 0) break;
    report.append(buffer, static_cast<std::size_t>(n));
  }
  close(out[0]);
  int wstatus = 0;
  waitpid(pid, &wstatus, 0);
  if (!WIFEXITED(wstatus) || WEXITSTATUS(wstatus) != 0) {
    std::fprintf(stderr, "curl failed (wait status %d)\n", wstatus);
    return false;
  }
  std::string expected;
  for (int i = 0; i < kPictures; ++i) expected += "200 " + std::to_string(kPictureSize) + "\n";
  if (report != expected) {
    std::fprintf(stderr, "curl reported:\n%s\n", report.substr(0, 400).c_str());
    return false;
  }
  return true;
}

}  // namespace

int main() {
  qv::testing::TestShop shop;
  std::string routes = "[";
  for (int i = 0; i < kPictures; ++i) {
    if (i > 0) routes += ",";
    routes += R"({"host":"img.quorvel.example","path":"/n12/p)" + std::to_string(i) +
              R"(.jpg","body_size":)" + std::to_string(kPictureSize) + "}";
  }
  routes += "]";
  shop.AddRoutes(routes);
  qv::SetConnectOverrides(
      {std::string(kHost) + ":443:127.0.0.1:" + std::to_string(shop.HttpsPort())});
  const std::string want = qv::testing::ShopPattern(kPictureSize);

  std::printf("%d pictures of %d bytes over HTTPS from the test shop, one after the other\n",
              kPictures, kPictureSize);
  std::vector<double> ours, curls;
  for (int run = 0; run < kRuns; ++run) {
    auto start = Clock::now();
    if (!FetchOurs(want)) return 1;
    ours.push_back(MsSince(start));
    start = Clock::now();
    if (!FetchWithCurl(shop.HttpsPort())) return 1;
    curls.push_back(MsSince(start));
    std::printf("  run %d: WebRequestCom %.1f ms, curl %.1f ms\n", run + 1, ours.back(),
                curls.back());
  }
  // Connections each client opened over all runs, told apart by the agent.
  std::set<int> oursConns, curlConns;
  for (const qv::testing::LoggedRequest& r : qv::testing::ParseShopLog(shop.Log())) {
    for (const auto& [name, value] : r.headers) {
      if (name != "User-Agent") continue;
      (value.starts_with("curl/") ? curlConns : oursConns).insert(r.conn);
    }
  }
  std::printf("connections opened in %d runs: WebRequestCom %zu, curl %zu\n", kRuns,
              oursConns.size(), curlConns.size());
  const double bestOurs = *std::min_element(ours.begin(), ours.end());
  const double bestCurl = *std::min_element(curls.begin(), curls.end());
  std::printf("WebRequestCom (new request object per picture): best %.1f ms\n", bestOurs);
  std::printf("curl (one command, one connection): best %.1f ms\n", bestCurl);
  std::printf("ratio: %.2f\n", bestOurs / bestCurl);
  return 0;
}
