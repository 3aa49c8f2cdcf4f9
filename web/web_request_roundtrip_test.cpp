// The two request routines end to end: WebRequestCom over the libcurl
// request object and WebRequestInet / FetchPageText over the libcurl handle
// layer, against the local test shop over HTTP and HTTPS.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <vector>

#include "tools/testshop/raw_client.h"
#include "tools/testshop/test_shop.h"
#include "web/connect_override.h"
#include "web/curl_inet_api.h"
#include "web/shop_log.h"
#include "web/shop_suite.h"
#include "web/web_request_com.h"
#include "web/web_request_inet.h"

namespace qv {
namespace {

using qv::testing::LoggedRequest;
using qv::testing::ShopPattern;
using Clock = std::chrono::steady_clock;

constexpr char kHost[] = "www.quorvel.example";
constexpr char kAgentLine[] = "User-Agent: Mozilla/4.0 (compatible; MSIE 9.0; Windows NT 6.1)";

double SecondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

std::string AsString(const Bytes& b) { return std::string(b.begin(), b.end()); }

// Standard Base64 of bytes, for the shop's body_b64 field.
std::string ToBase64(std::string_view in) {
  static constexpr char kAlphabet[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  std::size_t i = 0;
  for (; i + 3 <= in.size(); i += 3) {
    const unsigned v = static_cast<unsigned char>(in[i]) << 16 |
                       static_cast<unsigned char>(in[i + 1]) << 8 |
                       static_cast<unsigned char>(in[i + 2]);
    for (int s = 18; s >= 0; s -= 6) out += kAlphabet[(v >> s) & 63];
  }
  if (i < in.size()) {
    unsigned v = static_cast<unsigned char>(in[i]) << 16;
    if (i + 1 < in.size()) v |= static_cast<unsigned char>(in[i + 1]) << 8;
    out += kAlphabet[(v >> 18) & 63];
    out += kAlphabet[(v >> 12) & 63];
    out += i + 1 < in.size() ? kAlphabet[(v >> 6) & 63] : '=';
    out += '=';
  }
  return out;
}

// A loopback port that nothing listens on (bound once, then closed).
int ClosedPort() {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  a.sin_port = 0;
  socklen_t len = sizeof a;
  int port = 0;
  if (bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
      getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) == 0) {
    port = ntohs(a.sin_port);
  }
  close(fd);
  return port;
}

// What one WebRequestCom call gave back through its result and outputs.
struct ComResult {
  std::string body;
  Text headers = "unset";
  int status = -1;
  Text responseCookies = "unset";
  double seconds = 0;
};

ComResult Com(std::string_view url, WebRequestComOptions o = {}) {
  ComResult r;
  o.responseHeaders = &r.headers;
  o.statusCode = &r.status;
  o.responseCookies = &r.responseCookies;
  const auto start = Clock::now();
  r.body = AsString(WebRequestCom(url, o));
  r.seconds = SecondsSince(start);
  return r;
}

// What one WebRequestInet call gave back.
struct InetResult {
  std::string body;
  Text headers = "unset";
  Text responseCookies = "unset";
  double seconds = 0;
};

InetResult Inet(std::string_view url, WebRequestInetOptions o = {}) {
  InetResult r;
  o.responseHeaders = &r.headers;
  o.responseCookies = &r.responseCookies;
  const auto start = Clock::now();
  r.body = AsString(WebRequestInet(url, o));
  r.seconds = SecondsSince(start);
  return r;
}

std::string Url(bool secure, std::string_view path) {
  return std::string(secure ? "https://" : "http://") + kHost + std::string(path);
}

class WebRequestRoundTripTest : public testing::ShopSuite {
 protected:
  static void SetUpTestSuite() { StartShop({kHost}); }
};

TEST_F(WebRequestRoundTripTest, BodiesArriveByteForByte) {
  // Every byte value, zeros included, plus GBK text and a body of many
  // 1,024-byte pieces.
  std::string binary;
  for (int round = 0; round < 3; ++round) {
    for (int b = 255; b >= 0; --b) binary += static_cast<char>(b);
  }
  const std::string gbk = "<p>\xD6\xF7\xCD\xBC</p>" /* <p>主图</p> */;
  const std::string big = ShopPattern(300000);
  const std::string chunked = ShopPattern(70000);
  shop().AddRoutes(R"([{"path":"/bin","body_b64":")" + ToBase64(binary) + R"("},
                      {"path":"/gbk.html","body_b64":")" +
                   ToBase64(gbk) + R"("},
                      {"path":"/big.jpg","body_size":300000},
                      {"path":"/chunked","body_size":70000,"chunked":true,"chunk_size":3000},
                      {"path":"/empty","body":""}])");
  struct Case {
    const char* path;
    const std::string& body;
  } cases[] = {{"/bin", binary},
               {"/gbk.html", gbk},
               {"/big.jpg", big},
               {"/chunked", chunked},
               {"/empty", ""}};
  for (bool secure : {false, true}) {
    for (const Case& c : cases) {
      const std::string url = Url(secure, c.path);
      SCOPED_TRACE(url);
      const std::size_t zero = c.body.find('\0');
      const std::string text = zero == std::string::npos ? c.body : c.body.substr(0, zero);
      const ComResult com = Com(url);
      EXPECT_EQ(com.status, 200);
      EXPECT_TRUE(com.body == c.body) << "WebRequestCom: " << com.body.size() << " bytes";
      const InetResult inet = Inet(url);
      EXPECT_TRUE(inet.body == c.body) << "WebRequestInet: " << inet.body.size() << " bytes";
      const Text page = FetchPageText(url);
      EXPECT_TRUE(page == text) << "FetchPageText: " << page.size() << " bytes";
    }
  }
  EXPECT_EQ(binary.find('\0'), 255u);  // the page text of /bin stops there
}

TEST_F(WebRequestRoundTripTest, ErrorStatusesKeepTheirBodiesAndRawHeaders) {
  shop().AddRoutes(R"([{"path":"/ok","body":"fine","headers":[["X-Shop","yes"]]},
                      {"path":"/missing","status":404,"body":"not here"},
                      {"path":"/broken","status":500,"body":"broke","headers":[["X-Err","1"]]}])");
  struct Case {
    const char* path;
    int status;
    const char* body;
    const char* statusLine;
    // The header lines after the status line, CRLF-separated.
    const char* lines;
  } cases[] = {
      {"/ok", 200, "fine", "HTTP/1.1 200 OK",
       "X-Shop: yes\r\nContent-Type: application/octet-stream\r\nContent-Length: 4"},
      {"/missing", 404, "not here", "HTTP/1.1 404 Not Found",
       "Content-Type: application/octet-stream\r\nContent-Length: 8"},
      {"/broken", 500, "broke", "HTTP/1.1 500 Internal Server Error",
       "X-Err: 1\r\nContent-Type: application/octet-stream\r\nContent-Length: 5"},
  };
  for (bool secure : {false, true}) {
    for (const Case& c : cases) {
      const std::string url = Url(secure, c.path);
      SCOPED_TRACE(url);
      const ComResult com = Com(url);
      EXPECT_EQ(com.status, c.status);
      EXPECT_EQ(com.body, c.body);
      EXPECT_EQ(com.headers, c.lines);
      EXPECT_EQ(com.responseCookies, "");
      const InetResult inet = Inet(url);
      EXPECT_EQ(inet.body, c.body);
      EXPECT_EQ(inet.headers, std::string(c.statusLine) + "\r\n" + c.lines + "\r\n\r\n");
      EXPECT_EQ(inet.responseCookies, "");
      EXPECT_EQ(FetchPageText(url), c.body);
    }
  }
}

TEST_F(WebRequestRoundTripTest, SendsExactlyTheRoutinesHeaderLines) {
  shop().AddRoutes(R"([{"path":"/h","body":"ok"}])");
  enum class Routine { kCom, kInet };
  struct Case {
    const char* name;
    Routine routine;
    bool secure;
    int method;
    const char* extraHeaders;
    const char* postText;
    std::vector<std::string> sent;  // after the Host line
  } cases[] = {
      {"com get",
       Routine::kCom,
       false,
       0,
       "",
       "",
       {"Accept: */*", "Referer: http://www.quorvel.example/h", "Accept-Language: zh-cn",
        kAgentLine}},
      {"com get https",
       Routine::kCom,
       true,
       0,
       "",
       "",
       {"Accept: */*", "Referer: https://www.quorvel.example/h", "Accept-Language: zh-cn",
        kAgentLine}},
      {"com method 9 is a get",
       Routine::kCom,
       false,
       9,
       "",
       "",
       {"Accept: */*", "Referer: http://www.quorvel.example/h", "Accept-Language: zh-cn",
        kAgentLine}},
      {"com post",
       Routine::kCom,
       false,
       1,
       "x-token: 7\r\nconnection: keep-alive",
       "a=1&b=2",
       {"X-Token: 7", "Accept: */*", "Referer: http://www.quorvel.example/h",
        "Accept-Language: zh-cn", kAgentLine, "Content-Type: application/x-www-form-urlencoded",
        "Content-Length: 7"}},
      {"inet get",
       Routine::kInet,
       false,
       0,
       "",
       "",
       {kAgentLine, "Accept: */*", "Referer: http://www.quorvel.example/h",
        "Accept-Language: zh-cn"}},
      {"inet get https",
       Routine::kInet,
       true,
       0,
       "",
       "",
       {kAgentLine, "Accept: */*", "Referer: https://www.quorvel.example/h",
        "Accept-Language: zh-cn"}},
      {"inet post with agent",
       Routine::kInet,
       false,
       1,
       "user-agent: Shopper/2",
       "a=1",
       {"User-Agent: Shopper/2", "Accept: */*", "Referer: http://www.quorvel.example/h",
        "Accept-Language: zh-cn", "Content-Type: application/x-www-form-urlencoded",
        "Content-Length: 3"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    shop().Reset();
    shop().AddRoutes(R"([{"path":"/h","body":"ok"}])");
    const std::string url = Url(c.secure, "/h");
    std::string body;
    if (c.routine == Routine::kCom) {
      body = Com(url, {.method = c.method, .postText = c.postText, .extraHeaders = c.extraHeaders})
                 .body;
    } else {
      body = Inet(url, {.method = c.method, .postText = c.postText, .extraHeaders = c.extraHeaders})
                 .body;
    }
    EXPECT_EQ(body, "ok");
    const auto log = Log();
    ASSERT_EQ(log.size(), 1u);
    std::vector<std::string> want = {std::string("Host: ") + kHost};
    want.insert(want.end(), c.sent.begin(), c.sent.end());
    EXPECT_EQ(log[0].HeaderLines(), want);
    EXPECT_EQ(log[0].method, c.method == 1 ? "POST" : "GET");
    EXPECT_EQ(log[0].body, c.method == 1 ? c.postText : "");
  }
  // The page fetch is a plain WebRequestInet GET.
  shop().Reset();
  shop().AddRoutes(R"([{"path":"/h","body":"ok"}])");
  EXPECT_EQ(FetchPageText(Url(false, "/h")), "ok");
  const auto log = Log();
  ASSERT_EQ(log.size(), 1u);
  EXPECT_EQ(log[0].HeaderLines(),
            (std::vector<std::string>{std::string("Host: ") + kHost, kAgentLine, "Accept: */*",
                                      "Referer: http://www.quorvel.example/h",
                                      "Accept-Language: zh-cn"}));
}

TEST_F(WebRequestRoundTripTest, CookiesOfTheShopMergeIntoTheCallersText) {
  const std::string afterLogin = "sid=abc; lang=zh; a=0";
  const std::string afterCart = "sid=def; cart=3; lang=zh; a=0";
  for (bool com : {true, false}) {
    for (bool secure : {false, true}) {
      SCOPED_TRACE(std::string(com ? "WebRequestCom " : "WebRequestInet ") +
                   (secure ? "https" : "http"));
      shop().Reset();
      shop().AddRoutes(R"([{"path":"/login","body":"in","headers":[
                             ["Set-Cookie","sid=abc; path=/"],["set-cookie","lower=1"],
                             ["Set-Cookie","lang=zh"]]},
                          {"path":"/cart","body":"cart","headers":[
                             ["Set-Cookie","sid=def; HttpOnly"],["Set-Cookie","cart=3; path=/"]]}])");
      Text cookies = "a=0";
      Text got;
      for (const char* path : {"/login", "/cart"}) {
        if (com) {
          got = Com(Url(secure, path), {.cookies = &cookies}).responseCookies;
        } else {
          got = Inet(Url(secure, path), {.cookies = &cookies}).responseCookies;
        }
        EXPECT_EQ(got, cookies) << path;
      }
      EXPECT_EQ(cookies, afterCart);
      const auto log = Log();
      ASSERT_EQ(log.size(), 2u);
      std::vector<std::string> sentCookies;
      for (const LoggedRequest& r : log) {
        for (const auto& [n, v] : r.headers) {
          if (n == "Cookie") sentCookies.push_back(v);
        }
      }
      EXPECT_EQ(sentCookies, (std::vector<std::string>{"a=0", afterLogin}));

      // Without merging the caller's text stays and only the response's
      // cookies come back.
      Text kept = "a=0";
      got = com ? Com(Url(secure, "/login"), {.cookies = &kept, .autoMergeCookies = false})
                      .responseCookies
                : Inet(Url(secure, "/login"), {.cookies = &kept, .autoMergeCookies = false})
                      .responseCookies;
      EXPECT_EQ(got, "sid=abc; lang=zh");
      EXPECT_EQ(kept, "a=0");
    }
  }
}

TEST_F(WebRequestRoundTripTest, RedirectsAreFollowedUnlessSwitchedOff) {
  shop().AddRoutes(R"([{"path":"/old","redirect":"/new","body":"moved"},
                      {"path":"/new","body":"arrived","headers":[["X-Final","1"]]}])");
  for (bool secure : {false, true}) {
    SCOPED_TRACE(secure ? "https" : "http");
    const ComResult followed = Com(Url(secure, "/old"));
    EXPECT_EQ(followed.status, 200);
    EXPECT_EQ(followed.body, "arrived");
    EXPECT_EQ(followed.headers,
              "X-Final: 1\r\nContent-Type: application/octet-stream\r\nContent-Length: 7");
    const ComResult stopped = Com(Url(secure, "/old"), {.noRedirect = true});
    EXPECT_EQ(stopped.status, 302);
    EXPECT_EQ(stopped.body, "moved");
    EXPECT_EQ(stopped.headers,
              "Location: /new\r\nContent-Type: application/octet-stream\r\nContent-Length: 5");

    const InetResult inetFollowed = Inet(Url(secure, "/old"));
    EXPECT_EQ(inetFollowed.body, "arrived");
    EXPECT_TRUE(inetFollowed.headers.starts_with("HTTP/1.1 200 OK\r\nX-Final: 1\r\n"))
        << inetFollowed.headers;
    const InetResult inetStopped = Inet(Url(secure, "/old"), {.noRedirect = true});
    EXPECT_EQ(inetStopped.body, "moved");
    EXPECT_TRUE(inetStopped.headers.starts_with("HTTP/1.1 302 Found\r\nLocation: /new\r\n"))
        << inetStopped.headers;
    EXPECT_EQ(FetchPageText(Url(secure, "/old")), "arrived");
  }
}

// A redirect loop ends after the first request and ten hops, with nothing
// returned.
TEST_F(WebRequestRoundTripTest, RedirectLoopEndsEmpty) {
  for (bool secure : {false, true}) {
    SCOPED_TRACE(secure ? "https" : "http");
    shop().Reset();
    shop().AddRoutes(R"([{"path":"/loop","redirect":"/loop","body":"again"}])");
    const ComResult com = Com(Url(secure, "/loop"));
    EXPECT_EQ(com.body, "");
    EXPECT_EQ(com.status, 0);
    EXPECT_EQ(com.headers, "");
    EXPECT_EQ(Log().size(), 11u);
    const InetResult inet = Inet(Url(secure, "/loop"));
    EXPECT_EQ(inet.body, "");
    EXPECT_EQ(inet.headers, std::string(5000, ' '));
    EXPECT_EQ(inet.responseCookies, "");
    EXPECT_EQ(Log().size(), 22u);
    EXPECT_EQ(FetchPageText(Url(secure, "/loop")), "");
  }
}

TEST_F(WebRequestRoundTripTest, TimeoutEndsTheRequestWithinItsBound) {
  shop().AddRoutes(R"([{"path":"/late","delay_ms":3000,"body":"late"}])");
  const ComResult r = Com(Url(false, "/late"), {.timeoutSeconds = 1});
  std::printf("[ timing   ] 1 s time-out against a 3 s delay: %.3f s\n", r.seconds);
  EXPECT_LE(r.seconds, 1.0 + 0.8);
  EXPECT_GE(r.seconds, 0.9);
  EXPECT_EQ(r.body, "");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.headers, "");
}

// Each fault of the shop, and what each routine makes of it. WebRequestCom
// runs with a 1 s time-out, the handle layer with 1 s limits.
TEST_F(WebRequestRoundTripTest, FaultsHaveTheirDefinedOutcome) {
  SetInetTimeoutsForTesting(1000, 1000);
  const std::string closed = "http://127.0.0.1:" + std::to_string(ClosedPort()) + "/x";
  shop().AddRoutes(R"([
      {"path":"/stall","body_size":5000,"stall_after":1000,"stall_ms":3000},
      {"path":"/reset","body_size":50000,"reset_after":20000},
      {"path":"/short","body_size":2000,"content_length":5000},
      {"path":"/pad","body":"b","header_pad":6000,"headers":[["Set-Cookie","big=1; path=/"]]}])");
  const std::string blanks(5000, ' ');
  struct Case {
    const char* name;
    std::string url;
    // WebRequestCom.
    int comStatus;
    std::size_t comBody;
    // WebRequestInet: the body is a prefix of the pattern of this size range.
    std::size_t inetMin, inetMax;
    bool inetHeadersBlank;
    double maxSeconds;
  } cases[] = {
      {"stall past the time-out", Url(false, "/stall"), 0, 0, 1000, 1000, false, 1.8},
      {"stall over https", Url(true, "/stall"), 0, 0, 1000, 1000, false, 1.8},
      // Bytes in flight when the reset arrives may be lost.
      {"reset mid-body", Url(false, "/reset"), 0, 0, 0, 20000, false, 1.0},
      {"reset over https", Url(true, "/reset"), 0, 0, 0, 20000, false, 1.0},
      {"shorter than announced", Url(false, "/short"), 0, 0, 2000, 2000, false, 1.0},
      {"header block over 5,000 bytes", Url(false, "/pad"), 200, 1, 1, 1, true, 1.0},
      {"unknown host", "http://nowhere.quorvel.invalid/x", 0, 0, 0, 0, true, 1.0},
      {"nothing listening", closed, 0, 0, 0, 0, true, 1.0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const ComResult com = Com(c.url, {.timeoutSeconds = 1});
    std::printf("[ timing   ] %s: WebRequestCom %zu bytes, status %d, %.3f s\n", c.name,
                com.body.size(), com.status, com.seconds);
    EXPECT_EQ(com.status, c.comStatus);
    EXPECT_EQ(com.body.size(), c.comBody);
    EXPECT_LE(com.seconds, c.maxSeconds);
    const InetResult inet = Inet(c.url);
    std::printf("[ timing   ] %s: WebRequestInet %zu bytes, %.3f s\n", c.name, inet.body.size(),
                inet.seconds);
    EXPECT_GE(inet.body.size(), c.inetMin);
    EXPECT_LE(inet.body.size(), c.inetMax);
    EXPECT_LE(inet.seconds, c.maxSeconds);
    if (c.inetHeadersBlank) {
      EXPECT_EQ(inet.headers, blanks);
    } else {
      EXPECT_TRUE(inet.headers.starts_with("HTTP/1.1 200 OK\r\n")) << inet.headers.substr(0, 80);
      EXPECT_TRUE(inet.body == ShopPattern(inet.body.size()));
    }
    EXPECT_EQ(inet.responseCookies, "");
    if (c.comStatus == 0) {
      EXPECT_EQ(com.headers, "");
      EXPECT_EQ(com.responseCookies, "");
    }
  }

  // The oversized header block comes back whole through WebRequestCom, with
  // its cookie; through the handle layer neither the block nor the cookie
  // is seen.
  const ComResult com = Com(Url(true, "/pad"), {.timeoutSeconds = 1});
  EXPECT_EQ(com.body, "b");
  EXPECT_EQ(com.status, 200);
  EXPECT_GT(com.headers.size(), 5900u);
  EXPECT_TRUE(com.headers.starts_with(
      "Set-Cookie: big=1; path=/\r\nContent-Type: application/octet-stream\r\n"
      "Content-Length: 1\r\nX-Pad-0: pp"))
      << com.headers.substr(0, 200);
  EXPECT_EQ(com.responseCookies, "big=1");
  Text cookies = "a=0";
  const InetResult inet = Inet(Url(true, "/pad"), {.cookies = &cookies});
  EXPECT_EQ(inet.body, "b");
  EXPECT_EQ(inet.headers, blanks);
  EXPECT_EQ(inet.responseCookies, "a=0");
  EXPECT_EQ(cookies, "a=0");

  // The page fetch turns every failure into an empty text.
  for (const std::string& url : {std::string("http://nowhere.quorvel.invalid/x"), closed}) {
    SCOPED_TRACE(url);
    EXPECT_EQ(FetchPageText(url), "");
  }
}

}  // namespace
}  // namespace qv
