#include "web/curl_http_request.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "tools/testshop/raw_client.h"
#include "tools/testshop/test_shop.h"
#include "web/connect_override.h"
#include "web/shop_log.h"
#include "web/shop_suite.h"
#include "web/transfer_abort.h"

namespace qv {
namespace {

using qv::testing::LoggedRequest;
using qv::testing::ShopPattern;
using Clock = std::chrono::steady_clock;

void ClearProxyVariables() {
  for (const char* v : {"http_proxy", "https_proxy", "HTTP_PROXY", "HTTPS_PROXY", "all_proxy",
                        "ALL_PROXY", "no_proxy", "NO_PROXY"}) {
    unsetenv(v);
  }
}

std::string AsString(const Bytes& b) { return std::string(b.begin(), b.end()); }

double SecondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

struct Response {
  int status = 0;
  std::string body;
  std::string headers;
  double seconds = 0;
};

// One request on req: Open, setup(req), Send(body), then the three reads.
Response Fetch(HttpRequest& req, std::string_view method, std::string_view url,
               const std::function<void(HttpRequest&)>& setup = {}, std::string_view body = {}) {
  const auto start = Clock::now();
  req.Open(method, url, false);
  if (setup) setup(req);
  req.Send(body);
  Response r;
  r.seconds = SecondsSince(start);
  r.body = AsString(req.ResponseBody());
  r.headers = req.GetAllResponseHeaders();
  r.status = req.Status();
  return r;
}

void IgnoreCertificates(HttpRequest& req) {
  req.SetOption(kOptionSslErrorIgnoreFlags, kIgnoreCertificateErrors);
}

class CurlHttpRequestTest : public testing::ShopSuite {
 protected:
  // The shop's hosts go to the shop; proxied.quorvel.example is reached
  // only through a proxy (an override would make libcurl tunnel to it).
  static void SetUpTestSuite() { StartShop({"img.quorvel.example", "pic.quorvel.example"}); }
};

TEST_F(CurlHttpRequestTest, RoundTripsOverHttpAndHttps) {
  shop().AddRoutes(R"([{"path":"/big.jpg","body_size":300000,"headers":[["X-Shop","yes"]]},
                      {"path":"/empty","status":204}])");
  struct Case {
    const char* url;
    int status;
    std::size_t size;
  } cases[] = {
      {"http://img.quorvel.example/big.jpg", 200, 300000},
      {"https://img.quorvel.example/big.jpg", 200, 300000},
      {"https://img.quorvel.example/empty", 204, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.url);
    CurlHttpRequest req;
    const Response r = Fetch(req, "GET", c.url, IgnoreCertificates);
    EXPECT_EQ(r.status, c.status);
    EXPECT_EQ(r.body, ShopPattern(c.size));
    if (c.size > 0) {
      EXPECT_EQ(r.headers, "X-Shop: yes\r\nContent-Type: image/jpeg\r\nContent-Length: 300000");
    }
    EXPECT_EQ(req.ResponseBody().size(), 0u) << "the body is handed over once";
  }
}

TEST_F(CurlHttpRequestTest, VerifiesCertificatesUnlessTold) {
  shop().AddRoutes(R"([{"path":"/a","body":"secret"}])");
  CurlHttpRequest req;
  const Response refused = Fetch(req, "GET", "https://img.quorvel.example/a");
  EXPECT_EQ(refused.status, 0);
  EXPECT_EQ(refused.body, "");
  EXPECT_EQ(refused.headers, "");
  // The switch lasts on the object across requests.
  IgnoreCertificates(req);
  EXPECT_EQ(Fetch(req, "GET", "https://img.quorvel.example/a").body, "secret");
  EXPECT_EQ(Fetch(req, "GET", "https://img.quorvel.example/a").status, 200);
}

TEST_F(CurlHttpRequestTest, SendsExactlyTheCallersHeaders) {
  shop().AddRoutes(R"([{"path":"/h","body":"ok"}])");
  using Headers = std::vector<std::pair<std::string, std::string>>;
  struct Case {
    const char* name;
    const char* method;
    Headers set;
    const char* body;
    std::vector<std::string> sent;
  } cases[] = {
      {"none", "GET", {}, "", {"Host: img.quorvel.example"}},
      {"defaults",
       "GET",
       {{"Accept", "*/*"},
        {"Referer", "http://img.quorvel.example/h"},
        {"Accept-Language", "zh-cn"},
        {"User-Agent", "Mozilla/4.0 (compatible; MSIE 9.0; Windows NT 6.1)"}},
       "",
       {"Host: img.quorvel.example", "Accept: */*", "Referer: http://img.quorvel.example/h",
        "Accept-Language: zh-cn",
        "User-Agent: Mozilla/4.0 (compatible; MSIE 9.0; Windows NT 6.1)"}},
      {"set twice, empty name, empty value",
       "GET",
       {{"X-A", "1"}, {"", "dropped"}, {"X-B", ""}, {"x-a", "2"}, {"X-Bad", "a\r\nX-Evil: 1"}},
       "",
       {"Host: img.quorvel.example", "X-A: 2", "X-B: "}},
      {"post without content type",
       "POST",
       {{"Cookie", "a=1"}},
       "a=1&b=2",
       {"Host: img.quorvel.example", "Cookie: a=1", "Content-Length: 7"}},
      {"post with content type",
       "POST",
       {{"Content-Type", "application/x-www-form-urlencoded"}},
       "",
       {"Host: img.quorvel.example", "Content-Type: application/x-www-form-urlencoded",
        "Content-Length: 0"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    shop().Reset();
    shop().AddRoutes(R"([{"path":"/h","body":"ok"}])");
    CurlHttpRequest req;
    const Response r = Fetch(
        req, c.method, "http://img.quorvel.example/h",
        [&](HttpRequest& q) {
          for (const auto& [n, v] : c.set) q.SetRequestHeader(n, v);
        },
        c.body);
    EXPECT_EQ(r.body, "ok");
    const auto log = Log();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].HeaderLines(), c.sent);
    EXPECT_EQ(log[0].body, c.body);
  }
}

TEST_F(CurlHttpRequestTest, SendsEveryMethodWithItsBody) {
  shop().AddRoutes(R"([{"path":"/m","body":"answer"}])");
  struct Case {
    const char* method;
    const char* body;
    const char* expectBody;
  } cases[] = {
      {"GET", "", "answer"},     {"POST", "p=1", "answer"},
      {"HEAD", "", ""},          {"PUT", "\x01\x00\x02", "answer"},
      {"OPTIONS", "", "answer"}, {"DELETE", "", "answer"},
      {"TRACE", "", "answer"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.method);
    shop().Reset();
    shop().AddRoutes(R"([{"path":"/m","body":"answer"}])");
    CurlHttpRequest req;
    const std::string body =
        std::string(c.method) == "PUT" ? std::string("\x01\x00\x02", 3) : std::string(c.body);
    req.Open(c.method, "http://img.quorvel.example/m", false);
    req.SendBytes(AsBytes(body));
    EXPECT_EQ(req.Status(), 200);
    EXPECT_EQ(AsString(req.ResponseBody()), c.expectBody);
    const auto log = Log();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].method, c.method);
    EXPECT_EQ(log[0].body, body);
  }
}

TEST_F(CurlHttpRequestTest, FollowsRedirectsUnlessSwitchedOff) {
  shop().AddRoutes(R"([{"path":"/from","redirect":"https://pic.quorvel.example/to","body":"moved"},
                      {"host":"pic.quorvel.example","path":"/to","body":"final",
                       "headers":[["X-Last","1"]]},
                      {"path":"/loop1","redirect":"/loop2"},{"path":"/loop2","redirect":"/loop1"}])");
  CurlHttpRequest req;
  IgnoreCertificates(req);
  const Response followed = Fetch(req, "GET", "http://img.quorvel.example/from");
  EXPECT_EQ(followed.status, 200);
  EXPECT_EQ(followed.body, "final");
  EXPECT_EQ(followed.headers,
            "X-Last: 1\r\nContent-Type: application/octet-stream\r\n"
            "Content-Length: 5");

  // A loop ends as a failed request once the 10-hop limit is passed.
  const auto start = Clock::now();
  const Response loop = Fetch(req, "GET", "http://img.quorvel.example/loop1");
  EXPECT_EQ(loop.status, 0);
  EXPECT_EQ(loop.body, "");
  EXPECT_EQ(loop.headers, "");
  EXPECT_LT(SecondsSince(start), 5.0);
  EXPECT_EQ(Log().size(), 2u + 11u);

  req.SetOption(kOptionEnableRedirects, 0);
  const Response kept = Fetch(req, "GET", "http://img.quorvel.example/from");
  EXPECT_EQ(kept.status, 302);
  EXPECT_EQ(kept.body, "moved");
  EXPECT_NE(kept.headers.find("Location: https://pic.quorvel.example/to"), std::string::npos);
}

TEST_F(CurlHttpRequestTest, NoProgressLimitsEndStalledRequests) {
  shop().AddRoutes(R"([{"path":"/late","delay_ms":4000,"body":"late"},
                      {"path":"/stall","body_size":5000,"stall_after":1000,"stall_ms":4000},
                      {"path":"/slow","body_size":5000,"delay_ms":600,
                       "stall_after":1000,"stall_ms":600}])");
  struct Case {
    const char* path;
    int status;
    double atLeast, atMost;
  } cases[] = {
      // Headers later than the 1 s receive limit.
      {"/late", 0, 0.95, 1.5},
      // The body stops for longer than the limit.
      {"/stall", 0, 0.95, 1.5},
      // Two pauses below the limit: 1.2 s in all, and still a success.
      {"/slow", 200, 1.1, 3.0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    CurlHttpRequest req;
    req.SetTimeouts(1000, 1000, 1000, 1000);
    const Response r = Fetch(req, "GET", std::string("http://img.quorvel.example") + c.path);
    std::printf("[ timing   ] %s ended after %.3f s (status %d)\n", c.path, r.seconds, r.status);
    EXPECT_EQ(r.status, c.status);
    EXPECT_EQ(r.body, c.status == 200 ? ShopPattern(5000) : "");
    EXPECT_GE(r.seconds, c.atLeast);
    EXPECT_LE(r.seconds, c.atMost);
  }
}

TEST_F(CurlHttpRequestTest, CutBodiesFailAndErrorStatusesKeepTheirBodies) {
  shop().AddRoutes(R"([{"path":"/reset","body_size":20000,"reset_after":5000},
                      {"path":"/short","body_size":1000,"content_length":4000},
                      {"path":"/missing","status":404,"body":"no such picture"},
                      {"path":"/broken","status":500,"body":"server broke"}])");
  struct Case {
    const char* path;
    int status;
    const char* body;
  } cases[] = {
      {"/reset", 0, ""},
      {"/short", 0, ""},
      {"/missing", 404, "no such picture"},
      {"/broken", 500, "server broke"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    CurlHttpRequest req;
    const Response r = Fetch(req, "GET", std::string("http://img.quorvel.example") + c.path);
    EXPECT_EQ(r.status, c.status);
    EXPECT_EQ(r.body, c.body);
    EXPECT_EQ(r.headers.empty(), c.status == 0);
  }
}

TEST_F(CurlHttpRequestTest, EncodesGbkAddresses) {
  shop().AddRoutes(R"([{"path":"/%E4%B8%BB%E5%9B%BE/a%20b.jpg","body":"found"}])");
  CurlHttpRequest req;
  const Response r =
      Fetch(req, "GET", "http://img.quorvel.example/\xD6\xF7\xCD\xBC/a b.jpg" /* 主图 */);
  EXPECT_EQ(r.status, 200);
  EXPECT_EQ(r.body, "found");
  const auto log = Log();
  ASSERT_EQ(log.size(), 1u);
  EXPECT_EQ(log[0].target, "/%E4%B8%BB%E5%9B%BE/a%20b.jpg");
}

TEST_F(CurlHttpRequestTest, BadRequestsFailQuietly) {
  struct Case {
    const char* name;
    const char* method;
    const char* url;
    bool async;
  } cases[] = {
      {"empty address", "GET", "", false},
      {"no scheme", "GET", "img.quorvel.example/a", false},
      {"other scheme", "GET", "ftp://img.quorvel.example/a", false},
      {"no host", "GET", "http://", false},
      {"blank in host", "GET", "http://img quorvel.example/a", false},
      {"port out of range", "GET", "http://img.quorvel.example:99999/a", false},
      {"method with blank", "GE T", "http://img.quorvel.example/a", false},
      {"empty method", "", "http://img.quorvel.example/a", false},
      {"asynchronous", "GET", "http://img.quorvel.example/a", true},
  };
  shop().AddRoutes(R"([{"path":"/a","body":"x"}])");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    CurlHttpRequest req;
    req.Open(c.method, c.url, c.async);
    req.SetRequestHeader("Accept", "*/*");
    req.Send("");
    EXPECT_EQ(req.Status(), 0);
    EXPECT_TRUE(req.ResponseBody().empty());
    EXPECT_EQ(req.GetAllResponseHeaders(), "");
  }
  CurlHttpRequest unopened;
  unopened.Send("body");
  EXPECT_EQ(unopened.Status(), 0);
  EXPECT_TRUE(Log().empty());
}

TEST_F(CurlHttpRequestTest, NewObjectsReuseTheOpenConnection) {
  shop().AddRoutes(R"([{"path":"/r","body":"again"}])");
  for (const char* url : {"http://img.quorvel.example/r", "https://img.quorvel.example/r"}) {
    SCOPED_TRACE(url);
    shop().Reset();
    shop().AddRoutes(R"([{"path":"/r","body":"again"}])");
    for (int i = 0; i < 3; ++i) {
      CurlHttpRequest req;
      EXPECT_EQ(Fetch(req, "GET", url, IgnoreCertificates).body, "again");
    }
    const auto log = Log();
    ASSERT_EQ(log.size(), 3u);
    EXPECT_EQ(log[0].conn, log[1].conn);
    EXPECT_EQ(log[1].conn, log[2].conn);
  }
}

TEST_F(CurlHttpRequestTest, RunsOnTwoThreadsAtOnce) {
  shop().AddRoutes(R"([{"path":"/t1","body_size":70000,"delay_ms":30},
                      {"path":"/t2","body_size":90000,"delay_ms":30}])");
  std::atomic<int> good{0};
  auto work = [&good](const char* url, std::size_t size) {
    for (int i = 0; i < 10; ++i) {
      auto req = CreateHttpRequest();
      const Response r = Fetch(*req, "GET", url, IgnoreCertificates);
      if (r.status == 200 && r.body == ShopPattern(size)) ++good;
    }
  };
  std::thread a(work, "http://img.quorvel.example/t1", 70000);
  std::thread b(work, "https://img.quorvel.example/t2", 90000);
  a.join();
  b.join();
  EXPECT_EQ(good.load(), 20);
}

TEST_F(CurlHttpRequestTest, AbortFlagEndsTheRequestWithinASecond) {
  shop().AddRoutes(R"([{"path":"/wait","delay_ms":8000,"body":"late"},
                      {"path":"/drip","body_size":5000,"stall_after":100,"stall_ms":8000},
                      {"path":"/now","body":"now"}])");
  for (const char* path : {"/wait", "/drip"}) {
    SCOPED_TRACE(path);
    std::atomic<bool> stop{false};
    SetThreadAbortFlag(&stop);
    std::thread closer([&stop] {
      std::this_thread::sleep_for(std::chrono::milliseconds(300));
      stop = true;
    });
    CurlHttpRequest req;
    const Response r = Fetch(req, "GET", std::string("http://img.quorvel.example") + path);
    closer.join();
    std::printf("[ timing   ] abort of %s returned after %.3f s\n", path, r.seconds);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.body, "");
    EXPECT_LT(r.seconds, 0.3 + 1.0);
    // Once the flag is cleared, requests work again.
    stop = false;
    EXPECT_EQ(Fetch(req, "GET", "http://img.quorvel.example/now").body, "now");
    SetThreadAbortFlag(nullptr);
  }
}

// Each logged request as "scheme METHOD target | header lines".
std::vector<std::string> Summary(const std::vector<LoggedRequest>& log) {
  std::vector<std::string> out;
  for (const LoggedRequest& r : log) {
    std::string line = r.scheme + " " + r.method + " " + r.target + " |";
    for (const std::string& h : r.HeaderLines()) line += " " + h + ";";
    out.push_back(line);
  }
  return out;
}

TEST_F(CurlHttpRequestTest, UsesCredentialsAndNamedProxies) {
  const std::string proxy = "127.0.0.1:" + std::to_string(shop().HttpPort());
  struct Case {
    const char* name;
    std::string proxy;
    const char* url;
    bool proxyAuthHeader;
    int credentialTarget;
    std::vector<std::string> log;
  } cases[] = {
      {"server credentials",
       "",
       "http://img.quorvel.example/p",
       false,
       kCredentialsForServer,
       {"http GET /p | Host: img.quorvel.example; Authorization: Basic dTpwdw==;"}},
      {"plain proxy with its header and credentials",
       proxy,
       "http://proxied.quorvel.example/p",
       true,
       kCredentialsForProxy,
       {"http GET http://proxied.quorvel.example/p | Host: proxied.quorvel.example; "
        "Proxy-Authorization: Basic dTpwdw==;"}},
      {"plain proxy, credentials only",
       proxy,
       "http://proxied.quorvel.example/p",
       false,
       kCredentialsForProxy,
       {"http GET http://proxied.quorvel.example/p | Host: proxied.quorvel.example; "
        "Proxy-Authorization: Basic dTpwdw==;"}},
      {"tunnel: the header goes to the proxy only",
       proxy,
       "https://proxied.quorvel.example/p",
       true,
       kCredentialsForProxy,
       {"http CONNECT proxied.quorvel.example:443 | Host: proxied.quorvel.example:443; "
        "Proxy-Authorization: Basic dTpwdw==;",
        "https GET /p | Host: proxied.quorvel.example;"}},
      {"http-only proxy list, https address",
       "http=" + proxy,
       "https://img.quorvel.example/p",
       false,
       kCredentialsForProxy,
       {"https GET /p | Host: img.quorvel.example;"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    shop().Reset();
    shop().AddRoutes(R"([{"path":"/p","body":"via"}])");
    CurlHttpRequest req;
    if (!c.proxy.empty()) req.SetProxy(kProxySettingNamed, c.proxy);
    const Response r = Fetch(req, "GET", c.url, [&](HttpRequest& q) {
      IgnoreCertificates(q);
      q.SetCredentials("u", "pw", c.credentialTarget);
      if (c.proxyAuthHeader) q.SetRequestHeader("Proxy-Authorization", "Basic dTpwdw==");
    });
    EXPECT_EQ(r.body, "via");
    EXPECT_EQ(Summary(Log()), c.log);
  }
}

TEST_F(CurlHttpRequestTest, ProxyVariablesApplyWithoutSetProxy) {
  shop().AddRoutes(R"([{"path":"/env","body":"env"}])");
  setenv("http_proxy", ("http://127.0.0.1:" + std::to_string(shop().HttpPort())).c_str(), 1);
  CurlHttpRequest viaEnvironment;
  EXPECT_EQ(Fetch(viaEnvironment, "GET", "http://proxied.quorvel.example/env").body, "env");
  CurlHttpRequest direct;
  direct.SetProxy(1, "");
  EXPECT_EQ(Fetch(direct, "GET", "http://img.quorvel.example/env").body, "env");
  ClearProxyVariables();
  const auto log = Log();
  ASSERT_EQ(log.size(), 2u) << shop().Log();
  EXPECT_EQ(log[0].target, "http://proxied.quorvel.example/env");
  EXPECT_EQ(log[1].target, "/env");
}

class FakeRequest : public HttpRequest {
 public:
  void SetTimeouts(int, int, int, int) override {}
  void SetProxy(int, std::string_view) override {}
  void Open(std::string_view, std::string_view, bool) override {}
  void SetOption(int, int) override {}
  void SetCredentials(std::string_view, std::string_view, int) override {}
  void SetRequestHeader(std::string_view, std::string_view) override {}
  void Send(std::string_view) override {}
  void SendBytes(ByteView) override {}
  Bytes ResponseBody() override { return {}; }
  Text GetAllResponseHeaders() override { return {}; }
  int Status() override { return 299; }
};

TEST(HttpRequestFactoryTest, TestsMayReplaceTheFactory) {
  SetHttpRequestFactory([] { return std::make_unique<FakeRequest>(); });
  auto fake = CreateHttpRequest();
  ASSERT_NE(fake, nullptr);
  EXPECT_EQ(fake->Status(), 299);
  SetHttpRequestFactory(nullptr);
  auto real = CreateHttpRequest();
  EXPECT_NE(dynamic_cast<CurlHttpRequest*>(real.get()), nullptr);
}

}  // namespace
}  // namespace qv
