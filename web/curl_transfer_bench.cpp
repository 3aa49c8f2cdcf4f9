// Fetches a 100 MB body from the local test shop through the handle layer
// and through the request object, and prints each one's time and the
// process's peak resident memory after it. Targets: the handle layer keeps
// only a few hundred KB of the body buffered; the request object stays
// under 3x the body size at its peak.
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <string>

#include "tools/testshop/test_shop.h"
#include "web/connect_override.h"
#include "web/curl_http_request.h"
#include "web/curl_inet_api.h"

namespace {

constexpr long kSize = 100L * 1000 * 1000;

double PeakMb() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return static_cast<double>(u.ru_maxrss) / 1024.0;
}

}  // namespace

int main() {
  qv::testing::TestShop shop;
  shop.AddRoutes(R"([{"path":"/big","body_size":)" + std::to_string(kSize) + "}]");
  qv::SetConnectOverrides({"img.quorvel.example:80:127.0.0.1:" + std::to_string(shop.HttpPort())});
  std::printf("start: peak RSS %.1f MB\n", PeakMb());

  auto start = std::chrono::steady_clock::now();
  qv::InetApi& api = qv::SystemInetApi();
  const auto internet =
      api.InternetOpen("bench", qv::kInetOpenTypeDirect, std::nullopt, std::nullopt, 0);
  const auto connection =
      api.InternetConnect(internet, "img.quorvel.example", 80, qv::kInetServiceHttp, 0);
  const auto request = api.HttpOpenRequest(connection, "GET", "/big", "HTTP/1.1", 0);
  api.HttpSendRequest(request, "", {});
  long total = 0;
  std::uint8_t buffer[1024];
  for (;;) {
    std::uint32_t n = 0;
    api.InternetReadFile(request, buffer, sizeof buffer, &n);
    if (n == 0) break;
    total += n;
  }
  api.InternetCloseHandle(internet);
  double secs = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf("handle layer: %ld bytes in %.2f s, peak RSS %.1f MB\n", total, secs, PeakMb());

  start = std::chrono::steady_clock::now();
  qv::CurlHttpRequest req;
  req.Open("GET", "http://img.quorvel.example/big", false);
  req.Send("");
  const qv::Bytes body = req.ResponseBody();
  secs = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf("request object: %zu bytes in %.2f s, peak RSS %.1f MB (body %.1f MB)\n", body.size(),
              secs, PeakMb(), body.size() / 1048576.0);
  return total == kSize && static_cast<long>(body.size()) == kSize ? 0 : 1;
}
