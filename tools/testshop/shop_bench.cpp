// Times the test shop serving 200 pictures of 50 KB over keep-alive
// connections on loopback, with one and with several client connections.
// Prints the best and median wall time of several runs and exits 1 when a
// response is wrong.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "tools/testshop/raw_client.h"
#include "tools/testshop/test_shop.h"

namespace {

using qv::testing::RawClient;
using qv::testing::ReadEnd;

constexpr int kPictures = 200;
constexpr int kPictureSize = 50 * 1024;
constexpr int kRuns = 7;

// Fetches pictures first, first + step, ... on one connection; false on a
// wrong answer.
bool FetchEvery(int port, int first, int step, const std::string& want) {
  RawClient c(port);
  if (!c.connected()) return false;
  for (int i = first; i < kPictures; i += step) {
    const std::string request =
        "GET /n12/p" + std::to_string(i) + ".jpg HTTP/1.1\r\nHost: img.quorvel.example\r\n\r\n";
    if (!c.Send(request)) return false;
    const auto r = c.ReadResponse(10000);
    if (r.end != ReadEnd::kDone || r.status != 200 || r.body != want) return false;
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
  const std::string want = qv::testing::ShopPattern(kPictureSize);

  std::printf("%d pictures of %d bytes from the test shop over loopback\n", kPictures,
              kPictureSize);
  for (int connections : {1, 4, 8}) {
    std::vector<double> ms;
    for (int run = 0; run < kRuns; ++run) {
      const auto start = std::chrono::steady_clock::now();
      std::vector<std::thread> threads;
      std::vector<char> ok(connections, 0);
      for (int t = 0; t < connections; ++t) {
        threads.emplace_back(
            [&, t] { ok[t] = FetchEvery(shop.HttpPort(), t, connections, want) ? 1 : 0; });
      }
      for (std::thread& t : threads) t.join();
      ms.push_back(
          std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
              .count());
      if (std::count(ok.begin(), ok.end(), 0) != 0) {
        std::fprintf(stderr, "wrong response with %d connections\n", connections);
        return 1;
      }
    }
    std::sort(ms.begin(), ms.end());
    std::printf("  %d connection(s): best %.1f ms, median %.1f ms (%d runs)\n", connections, ms[0],
                ms[ms.size() / 2], kRuns);
  }
  return 0;
}
