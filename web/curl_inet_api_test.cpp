#include "web/curl_inet_api.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "tools/testshop/raw_client.h"
#include "tools/testshop/test_shop.h"
#include "web/connect_override.h"
#include "web/curl_http_request.h"
#include "web/shop_log.h"
#include "web/shop_suite.h"
#include "web/transfer_abort.h"

namespace qv {
namespace {

using qv::testing::LoggedRequest;
using qv::testing::ShopPattern;
using Clock = std::chrono::steady_clock;

constexpr char kAgent[] = "Mozilla/4.0 (compatible; MSIE 9.0; Windows NT 6.1)";
constexpr char kDefaultHeaders[] =
    "Accept: */*\r\nReferer: http://img.quorvel.example/x\r\nAccept-Language: zh-cn";

double SecondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// What one request through the handle functions gave.
struct Outcome {
  bool sent = false;
  std::string body;
  bool headersOk = false;
  std::string rawHeaders;
  double seconds = 0;
};

struct Target {
  std::string host = "img.quorvel.example";
  std::string path = "/x";
  bool secure = false;
  std::uint32_t flags = kInetFlagReload | kInetFlagNeedFile;
  bool ignoreCertificates = true;
  std::string verb = "GET";
  std::string headers = kDefaultHeaders;
  std::string body;
  int accessType = kInetOpenTypeDirect;
  std::string proxy;
};

// Opens, sends, reads in 1,024-byte pieces and queries like the request
// routine does, then closes the three handles.
Outcome Request(const Target& t) {
  InetApi& api = SystemInetApi();
  Outcome out;
  const auto start = Clock::now();
  std::optional<std::string_view> proxy;
  if (t.accessType == kInetOpenTypeProxy) proxy = t.proxy;
  const InetHandle internet = api.InternetOpen(
      kAgent, t.accessType, proxy, proxy ? std::optional<std::string_view>("") : std::nullopt, 0);
  const InetHandle connection =
      api.InternetConnect(internet, t.host, t.secure ? 443 : 80, kInetServiceHttp, 0);
  const InetHandle request = api.HttpOpenRequest(connection, t.verb, t.path, "HTTP/1.1",
                                                 t.flags | (t.secure ? kInetFlagSecure : 0));
  EXPECT_NE(internet, 0u);
  EXPECT_NE(connection, 0u);
  EXPECT_NE(request, 0u);
  if (t.ignoreCertificates) {
    EXPECT_TRUE(api.InternetSetOption(request, kInetOptionSecurityFlags, kInetSecurityIgnoreAll));
  }
  out.sent = api.HttpSendRequest(request, t.headers, AsBytes(t.body));
  std::uint8_t buffer[1024];
  for (;;) {
    std::uint32_t count = 99;
    api.InternetReadFile(request, buffer, sizeof buffer, &count);
    if (count == 0) break;
    out.body.append(reinterpret_cast<const char*>(buffer), count);
  }
  std::string raw(5000, ' ');
  std::uint32_t length = 5000;
  out.headersOk = api.HttpQueryInfo(request, kHttpQueryRawHeadersCrlf, raw.data(), &length);
  if (out.headersOk) out.rawHeaders = raw.substr(0, length);
  out.seconds = SecondsSince(start);
  EXPECT_TRUE(api.InternetCloseHandle(request));
  EXPECT_TRUE(api.InternetCloseHandle(connection));
  EXPECT_TRUE(api.InternetCloseHandle(internet));
  return out;
}

class CurlInetApiTest : public testing::ShopSuite {
 protected:
  static void SetUpTestSuite() { StartShop({"img.quorvel.example"}); }
};

TEST_F(CurlInetApiTest, StreamsBodiesOverHttpAndHttps) {
  // 3 MB: many times the buffered amount at which the transfer pauses.
  shop().AddRoutes(R"([{"path":"/x","body_size":3000000,"headers":[["X-Shop","yes"]]},
                      {"path":"/chunked","body_size":700000,"chunked":true}])");
  struct Case {
    const char* path;
    bool secure;
    std::size_t size;
    const char* head;
  } cases[] = {
      {"/x", false, 3000000,
       "HTTP/1.1 200 OK\r\nX-Shop: yes\r\nContent-Type: application/octet-stream\r\n"
       "Content-Length: 3000000\r\n\r\n"},
      {"/x", true, 3000000,
       "HTTP/1.1 200 OK\r\nX-Shop: yes\r\nContent-Type: application/octet-stream\r\n"
       "Content-Length: 3000000\r\n\r\n"},
      {"/chunked", false, 700000,
       "HTTP/1.1 200 OK\r\nContent-Type: application/octet-stream\r\n"
       "Transfer-Encoding: chunked\r\n\r\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.path) + (c.secure ? " https" : " http"));
    shop().Reset();
    shop().AddRoutes(R"([{"path":"/x","body_size":3000000,"headers":[["X-Shop","yes"]]},
                        {"path":"/chunked","body_size":700000,"chunked":true}])");
    Target t;
    t.path = c.path;
    t.secure = c.secure;
    const Outcome o = Request(t);
    EXPECT_TRUE(o.sent);
    EXPECT_TRUE(o.body == ShopPattern(c.size)) << "body of " << o.body.size() << " bytes";
    EXPECT_TRUE(o.headersOk);
    EXPECT_EQ(o.rawHeaders, c.head);
    const auto log = Log();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].HeaderLines(),
              (std::vector<std::string>{
                  "Host: img.quorvel.example", std::string("User-Agent: ") + kAgent, "Accept: */*",
                  "Referer: http://img.quorvel.example/x", "Accept-Language: zh-cn"}));
  }
}

TEST_F(CurlInetApiTest, SendsBodiesAndOnlyTheGivenHeaders) {
  shop().AddRoutes(R"([{"path":"/x","body":"ok"}])");
  struct Case {
    const char* name;
    const char* verb;
    const char* headers;
    const char* body;
    std::vector<std::string> sent;
  } cases[] = {
      {"no headers",
       "GET",
       "",
       "",
       {"Host: img.quorvel.example", std::string("User-Agent: ") + kAgent}},
      {"agent in the headers",
       "GET",
       "User-Agent: X\r\nbroken line\r\nX-Empty:",
       "",
       {"Host: img.quorvel.example", "User-Agent: X", "X-Empty: "}},
      {"post",
       "POST",
       "Accept: */*",
       "a=1",
       {"Host: img.quorvel.example", std::string("User-Agent: ") + kAgent, "Accept: */*",
        "Content-Length: 3"}},
      {"put of bytes",
       "PUT",
       "",
       std::string("\x00\x01", 2).c_str(),
       {"Host: img.quorvel.example", std::string("User-Agent: ") + kAgent, "Content-Length: 2"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    shop().Reset();
    shop().AddRoutes(R"([{"path":"/x","body":"ok"}])");
    Target t;
    t.verb = c.verb;
    t.headers = c.headers;
    t.body = std::string(c.verb) == "PUT" ? std::string("\x00\x01", 2) : std::string(c.body);
    const Outcome o = Request(t);
    EXPECT_EQ(o.body, "ok");
    const auto log = Log();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].method, c.verb);
    EXPECT_EQ(log[0].body, t.body);
    EXPECT_EQ(log[0].HeaderLines(), c.sent);
  }
}

TEST_F(CurlInetApiTest, RefusesUnverifiedCertificatesUnlessTold) {
  shop().AddRoutes(R"([{"path":"/x","body":"secret"}])");
  Target t;
  t.secure = true;
  t.ignoreCertificates = false;
  const Outcome o = Request(t);
  EXPECT_FALSE(o.sent);
  EXPECT_EQ(o.body, "");
  EXPECT_FALSE(o.headersOk);
}

TEST_F(CurlInetApiTest, FollowsRedirectsUnlessForbidden) {
  shop().AddRoutes(R"([{"path":"/from","redirect":"/to","body":"moved"},
                      {"path":"/to","body":"final"},
                      {"path":"/loop1","redirect":"/loop2"},{"path":"/loop2","redirect":"/loop1"}])");
  struct Case {
    const char* path;
    std::uint32_t flags;
    bool sent;
    const char* body;
    const char* firstLine;
  } cases[] = {
      {"/from", 0, true, "final", "HTTP/1.1 200 OK\r\n"},
      {"/from", kInetFlagNoAutoRedirect, true, "moved", "HTTP/1.1 302 Found\r\n"},
      {"/loop1", 0, false, "", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.path) + " flags " + std::to_string(c.flags));
    Target t;
    t.path = c.path;
    t.flags |= c.flags;
    const Outcome o = Request(t);
    EXPECT_EQ(o.sent, c.sent);
    EXPECT_EQ(o.body, c.body);
    EXPECT_TRUE(o.rawHeaders.starts_with(c.firstLine)) << o.rawHeaders;
    if (c.flags & kInetFlagNoAutoRedirect) {
      EXPECT_NE(o.rawHeaders.find("\r\nLocation: /to\r\n"), std::string::npos);
    }
  }
}

TEST_F(CurlInetApiTest, FaultsEndTheBodyWithWhatArrived) {
  SetInetTimeoutsForTesting(1000, 1000);
  shop().AddRoutes(R"([{"path":"/short","body_size":2000,"content_length":5000},
                      {"path":"/reset","body_size":50000,"reset_after":20000},
                      {"path":"/stall","body_size":5000,"stall_after":1000,"stall_ms":4000},
                      {"path":"/late","delay_ms":4000,"body":"late"},
                      {"path":"/missing","status":404,"body":"not here"},
                      {"path":"/broken","status":500,"body":"broke"}])");
  struct Case {
    const char* path;
    bool sent;
    std::size_t minBody, maxBody;
    double maxSeconds;
  } cases[] = {
      {"/short", true, 2000, 2000, 1.0},
      // Bytes in flight when the reset arrives may be lost.
      {"/reset", true, 0, 20000, 1.0},
      {"/stall", true, 1000, 1000, 1.5},
      {"/late", false, 0, 0, 1.5},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    Target t;
    t.path = c.path;
    const Outcome o = Request(t);
    std::printf("[ timing   ] %s: %zu bytes after %.3f s\n", c.path, o.body.size(), o.seconds);
    EXPECT_EQ(o.sent, c.sent);
    EXPECT_GE(o.body.size(), c.minBody);
    EXPECT_LE(o.body.size(), c.maxBody);
    EXPECT_EQ(o.body, ShopPattern(o.body.size()));
    EXPECT_LE(o.seconds, c.maxSeconds);
  }
  for (const char* path : {"/missing", "/broken"}) {
    SCOPED_TRACE(path);
    Target t;
    t.path = path;
    const Outcome o = Request(t);
    EXPECT_TRUE(o.sent);
    EXPECT_EQ(o.body, std::string(path) == "/missing" ? "not here" : "broke");
  }
}

TEST_F(CurlInetApiTest, RawHeadersMustFitTheBuffer) {
  InetApi& api = SystemInetApi();
  struct Case {
    int pad;
    bool fitsIn5000;
  } cases[] = {{4000, true}, {5000, false}, {9000, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE("header_pad " + std::to_string(c.pad));
    shop().Reset();
    shop().AddRoutes(R"([{"path":"/pad","body":"b","header_pad":)" + std::to_string(c.pad) + "}]");
    const InetHandle internet =
        api.InternetOpen(kAgent, kInetOpenTypeDirect, std::nullopt, std::nullopt, 0);
    const InetHandle connection =
        api.InternetConnect(internet, "img.quorvel.example", 80, kInetServiceHttp, 0);
    const InetHandle request = api.HttpOpenRequest(connection, "GET", "/pad", "HTTP/1.1", 0);
    ASSERT_TRUE(api.HttpSendRequest(request, "", {}));
    std::string buffer(20000, ' ');
    std::uint32_t length = 5000;
    EXPECT_EQ(api.HttpQueryInfo(request, kHttpQueryRawHeadersCrlf, buffer.data(), &length),
              c.fitsIn5000);
    // The block as sent (status line to blank line) plus the zero byte.
    std::uint32_t needed = 0;
    EXPECT_FALSE(api.HttpQueryInfo(request, kHttpQueryRawHeadersCrlf, nullptr, &needed));
    EXPECT_GT(needed, static_cast<std::uint32_t>(c.pad));
    EXPECT_EQ(needed <= 5000, c.fitsIn5000);
    std::uint32_t tooSmall = needed - 1;
    EXPECT_FALSE(api.HttpQueryInfo(request, kHttpQueryRawHeadersCrlf, buffer.data(), &tooSmall));
    EXPECT_EQ(tooSmall, needed);
    std::uint32_t exact = needed;
    ASSERT_TRUE(api.HttpQueryInfo(request, kHttpQueryRawHeadersCrlf, buffer.data(), &exact));
    EXPECT_EQ(exact, needed - 1);
    EXPECT_EQ(buffer[needed - 1], '\0');
    EXPECT_EQ(buffer.substr(needed - 5, 4), "\r\n\r\n");
    EXPECT_TRUE(buffer.starts_with("HTTP/1.1 200 OK\r\n"));
    api.InternetCloseHandle(internet);  // closes the other two as well
    std::uint32_t after = 5000;
    EXPECT_FALSE(api.HttpQueryInfo(request, kHttpQueryRawHeadersCrlf, buffer.data(), &after));
  }
}

TEST_F(CurlInetApiTest, ProcessCookieStoreServesOnlyRequestsWithoutNoCookies) {
  shop().AddRoutes(R"([{"path":"/set","body":"s","headers":[["Set-Cookie","sid=abc; path=/"],
                                                             ["Set-Cookie","b=2"]]},
                      {"path":"/use","body":"u"}])");
  auto cookieLines = [](const LoggedRequest& r) {
    std::vector<std::string> out;
    for (const auto& [n, v] : r.headers) {
      if (n == "Cookie") out.push_back(v);
    }
    return out;
  };
  // The store lives as long as the process: fresh host names each run.
  static int run = 0;
  ++run;
  const std::string c1 = "c1-" + std::to_string(run) + ".quorvel.example";
  const std::string c2 = "c2-" + std::to_string(run) + ".quorvel.example";
  RouteToShop({c1, c2});
  // c1: stored from a request that uses the store.
  Target set1;
  set1.host = c1;
  set1.path = "/set";
  const Outcome o = Request(set1);
  EXPECT_NE(o.rawHeaders.find("\r\nSet-Cookie: sid=abc; path=/\r\nSet-Cookie: b=2\r\n"),
            std::string::npos)
      << o.rawHeaders;
  Target use1 = set1;
  use1.path = "/use";
  Request(use1);
  Target use1NoCookies = use1;
  use1NoCookies.flags |= kInetFlagNoCookies;
  Request(use1NoCookies);
  // c2: a response to a request with kInetFlagNoCookies is not stored.
  Target set2 = set1;
  set2.host = c2;
  set2.flags |= kInetFlagNoCookies;
  Request(set2);
  Target use2 = use1;
  use2.host = c2;
  Request(use2);
  // The request object never uses the store.
  CurlHttpRequest object;
  object.Open("GET", "http://" + c1 + "/use", false);
  object.Send("");
  EXPECT_EQ(object.Status(), 200);

  const auto log = Log();
  ASSERT_EQ(log.size(), 6u);
  EXPECT_EQ(cookieLines(log[0]), std::vector<std::string>{});
  EXPECT_EQ(cookieLines(log[1]), std::vector<std::string>{"sid=abc; b=2"});
  EXPECT_EQ(cookieLines(log[2]), std::vector<std::string>{});
  EXPECT_EQ(cookieLines(log[4]), std::vector<std::string>{});
  EXPECT_EQ(cookieLines(log[5]), std::vector<std::string>{});
}

TEST_F(CurlInetApiTest, ChoosesTheProxyByAccessType) {
  shop().AddRoutes(R"([{"path":"/x","body":"p"}])");
  const std::string proxy = "127.0.0.1:" + std::to_string(shop().HttpPort());
  // Direct must ignore this.
  setenv("http_proxy", ("http://" + proxy).c_str(), 1);
  struct Case {
    const char* name;
    int accessType;
    std::string proxy;
    std::string host;
    bool secure;
    const char* scheme;
    const char* target;
  } cases[] = {
      {"direct ignores the variables", kInetOpenTypeDirect, "", "img.quorvel.example", false,
       "http", "/x"},
      {"http= proxy, http address", kInetOpenTypeProxy, "http=" + proxy, "proxied.quorvel.example",
       false, "http", "http://proxied.quorvel.example/x"},
      {"http= proxy, https address goes direct", kInetOpenTypeProxy, "http=" + proxy,
       "img.quorvel.example", true, "https", "/x"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    shop().Reset();
    shop().AddRoutes(R"([{"path":"/x","body":"p"}])");
    Target t;
    t.accessType = c.accessType;
    t.proxy = c.proxy;
    t.host = c.host;
    t.secure = c.secure;
    EXPECT_EQ(Request(t).body, "p");
    const auto log = Log();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].scheme, c.scheme);
    EXPECT_EQ(log[0].target, c.target);
  }
  unsetenv("http_proxy");
}

TEST_F(CurlInetApiTest, HandlesAreCheckedAndClosedWithTheirChildren) {
  InetApi& api = SystemInetApi();
  const InetHandle internet =
      api.InternetOpen(kAgent, kInetOpenTypeDirect, std::nullopt, std::nullopt, 0);
  const InetHandle connection =
      api.InternetConnect(internet, "img.quorvel.example", 80, kInetServiceHttp, 0);
  const InetHandle request = api.HttpOpenRequest(connection, "GET", "/x", "HTTP/1.1", 0);
  ASSERT_NE(request, 0u);
  // Wrong kinds of handle.
  EXPECT_EQ(api.InternetConnect(request, "h", 80, kInetServiceHttp, 0), 0u);
  EXPECT_EQ(api.HttpOpenRequest(internet, "GET", "/", "HTTP/1.1", 0), 0u);
  EXPECT_FALSE(api.HttpSendRequest(connection, "", {}));
  EXPECT_FALSE(api.InternetSetOption(request, 99, 0));
  // Reads and queries before a send, and with bad arguments.
  std::uint8_t b[8];
  std::uint32_t n = 7;
  EXPECT_FALSE(api.InternetReadFile(request, b, sizeof b, &n));
  EXPECT_EQ(n, 0u);
  EXPECT_FALSE(api.InternetReadFile(request, b, sizeof b, nullptr));
  char h[8];
  std::uint32_t len = sizeof h;
  EXPECT_FALSE(api.HttpQueryInfo(request, kHttpQueryRawHeadersCrlf, h, &len));
  EXPECT_FALSE(api.HttpQueryInfo(request, kHttpQueryRawHeadersCrlf, h, nullptr));
  // Closing.
  EXPECT_FALSE(api.InternetCloseHandle(0));
  EXPECT_TRUE(api.InternetCloseHandle(internet));
  EXPECT_FALSE(api.InternetCloseHandle(request));
  EXPECT_FALSE(api.InternetCloseHandle(connection));
  EXPECT_FALSE(api.HttpSendRequest(request, "", {}));
  EXPECT_TRUE(Log().empty());
}

TEST_F(CurlInetApiTest, AddressesThatCannotWorkFailTheSend) {
  struct Case {
    const char* host;
    const char* path;
  } cases[] = {{"", "/x"}, {"bad host", "/x"}, {"img.quorvel.example", "/a\r\nX: 1"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.host);
    Target t;
    t.host = c.host;
    t.path = c.path;
    const Outcome o = Request(t);
    EXPECT_FALSE(o.sent);
    EXPECT_EQ(o.body, "");
  }
  EXPECT_TRUE(Log().empty());
}

TEST_F(CurlInetApiTest, RunsOnTwoThreadsAtOnce) {
  shop().AddRoutes(R"([{"path":"/a","body_size":400000,"delay_ms":20},
                      {"path":"/b","body_size":300000,"delay_ms":20}])");
  std::atomic<int> good{0};
  auto work = [&good](const char* path, bool secure, std::size_t size) {
    for (int i = 0; i < 8; ++i) {
      Target t;
      t.path = path;
      t.secure = secure;
      if (Request(t).body == ShopPattern(size)) ++good;
    }
  };
  std::thread a(work, "/a", false, 400000);
  std::thread b(work, "/b", true, 300000);
  a.join();
  b.join();
  EXPECT_EQ(good.load(), 16);
}

TEST_F(CurlInetApiTest, AbortFlagEndsSendAndReadsWithinASecond) {
  shop().AddRoutes(R"([{"path":"/wait","delay_ms":8000,"body":"late"},
                      {"path":"/drip","body_size":5000,"stall_after":2000,"stall_ms":8000}])");
  for (const char* path : {"/wait", "/drip"}) {
    SCOPED_TRACE(path);
    std::atomic<bool> stop{false};
    SetThreadAbortFlag(&stop);
    std::thread closer([&stop] {
      std::this_thread::sleep_for(std::chrono::milliseconds(300));
      stop = true;
    });
    Target t;
    t.path = path;
    const Outcome o = Request(t);
    closer.join();
    SetThreadAbortFlag(nullptr);
    std::printf("[ timing   ] abort of %s returned after %.3f s with %zu bytes\n", path, o.seconds,
                o.body.size());
    EXPECT_LT(o.seconds, 0.3 + 1.0);
    EXPECT_EQ(o.sent, std::string(path) == "/drip");
    EXPECT_EQ(o.body, ShopPattern(std::string(path) == "/drip" ? 2000 : 0));
  }
}

}  // namespace
}  // namespace qv
