#include "web/web_request_com.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "core/bytes_ops.h"

namespace qv {
namespace {

using Calls = std::vector<std::string>;

std::string Hex(int v) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "0x%X", static_cast<unsigned>(v));
  return buf;
}

// Records every member call, with its arguments, into a log that outlives
// the object ("~" marks its release), and plays back a scripted response.
class FakeHttpRequest : public HttpRequest {
 public:
  struct Response {
    Bytes body;
    Text headers;
    int status = 0;
  };

  FakeHttpRequest(Calls* log, Response response) : log_(log), response_(std::move(response)) {}
  ~FakeHttpRequest() override { log_->push_back("~"); }

  void SetTimeouts(int a, int b, int c, int d) override {
    Log("SetTimeouts|" + std::to_string(a) + "|" + std::to_string(b) + "|" + std::to_string(c) +
        "|" + std::to_string(d));
  }
  void SetProxy(int setting, std::string_view proxy) override {
    Log("SetProxy|" + std::to_string(setting) + "|" + std::string(proxy));
  }
  void Open(std::string_view method, std::string_view url, bool async) override {
    Log("Open|" + std::string(method) + "|" + std::string(url) + (async ? "|true" : "|false"));
  }
  void SetOption(int option, int value) override {
    Log("SetOption|" + std::to_string(option) + "|" + Hex(value));
  }
  void SetCredentials(std::string_view user, std::string_view password, int target) override {
    Log("SetCredentials|" + std::string(user) + "|" + std::string(password) + "|" +
        std::to_string(target));
  }
  void SetRequestHeader(std::string_view name, std::string_view value) override {
    Log("SetRequestHeader|" + std::string(name) + "|" + std::string(value));
  }
  void Send(std::string_view body) override { Log("Send|" + std::string(body)); }
  void SendBytes(ByteView body) override {
    Log("SendBytes|" + std::string(body.begin(), body.end()));
  }
  Bytes ResponseBody() override {
    Log("ResponseBody");
    return response_.body;
  }
  Text GetAllResponseHeaders() override {
    Log("GetAllResponseHeaders");
    return response_.headers;
  }
  int Status() override {
    Log("Status");
    return response_.status;
  }

 private:
  void Log(std::string call) { log_->push_back(std::move(call)); }

  Calls* log_;
  Response response_;
};

Calls Only(const Calls& calls, std::string_view prefix) {
  Calls out;
  for (const std::string& c : calls) {
    if (c.starts_with(prefix)) out.push_back(c);
  }
  return out;
}

Calls HeaderCalls(const Calls& calls) { return Only(calls, "SetRequestHeader|"); }

constexpr std::string_view kUrl = "https://item.quorvel.example/100.html";
const std::string kAgentHeader =
    "SetRequestHeader|User-Agent|Mozilla/4.0 (compatible; MSIE 9.0; Windows NT 6.1)";
const std::string kAcceptHeader = "SetRequestHeader|Accept|*/*";
const std::string kRefererHeader = "SetRequestHeader|Referer|" + std::string(kUrl);
const std::string kLanguageHeader = "SetRequestHeader|Accept-Language|zh-cn";

// Installs a factory that makes FakeHttpRequests logging into calls_ and
// counts how many it made; restores the real factory afterwards.
class WebRequestComTest : public testing::Test {
 protected:
  void SetUp() override {
    SetHttpRequestFactory([this]() -> std::unique_ptr<HttpRequest> {
      ++created_;
      if (refuse_) return nullptr;
      return std::make_unique<FakeHttpRequest>(&calls_, response_);
    });
  }
  void TearDown() override { SetHttpRequestFactory(nullptr); }

  // Runs one request on a fresh log and returns the calls it made.
  Calls Run(const WebRequestComOptions& options, std::string_view url = kUrl) {
    calls_.clear();
    result_ = WebRequestCom(url, options);
    return calls_;
  }

  Calls calls_;
  FakeHttpRequest::Response response_;
  Bytes result_;
  int created_ = 0;
  bool refuse_ = false;
};

TEST_F(WebRequestComTest, WorkflowGetMakesExactlyTheseCalls) {
  response_ = {ToBytes("<html>page</html>"), "Content-Type: text/html\r\n\r\n", 200};
  const std::string url = "http://item.quorvel.example/100.html";
  const Calls calls = Run({.method = 0}, url);
  const Calls expected = {
      "SetTimeouts|15000|15000|15000|15000",
      "Open|GET|" + url + "|false",
      "SetOption|4|0x3300",
      "SetRequestHeader|Accept|*/*",
      "SetRequestHeader|Referer|" + url,
      "SetRequestHeader|Accept-Language|zh-cn",
      kAgentHeader,
      "Send|",
      "ResponseBody",
      "GetAllResponseHeaders",
      "Status",
      "~",
  };
  EXPECT_EQ(calls, expected);
  EXPECT_EQ(result_, ToBytes("<html>page</html>"));
  EXPECT_EQ(created_, 1);
}

TEST_F(WebRequestComTest, DefaultOptionsMatchAnExplicitGet) {
  const Calls withMethod = Run({.method = 0});
  const Calls leftOut = Run({});
  EXPECT_EQ(leftOut, withMethod);
}

TEST_F(WebRequestComTest, MethodOutsideTheTableSendsGet) {
  const std::pair<int, std::string> cases[] = {
      {-1, "GET"}, {8, "GET"}, {100, "GET"},   {INT_MIN, "GET"}, {0, "GET"},   {1, "POST"},
      {2, "HEAD"}, {3, "PUT"}, {4, "OPTIONS"}, {5, "DELETE"},    {6, "TRACE"}, {7, "CONNECT"},
  };
  for (const auto& [method, verb] : cases) {
    SCOPED_TRACE("method " + std::to_string(method));
    EXPECT_EQ(Only(Run({.method = method}), "Open|"),
              Calls{"Open|" + verb + "|" + std::string(kUrl) + "|false"});
  }
}

TEST_F(WebRequestComTest, ContentTypeLineOnlyForPost) {
  const std::string contentType = "SetRequestHeader|Content-Type|application/x-www-form-urlencoded";
  for (int method = -1; method <= 8; ++method) {
    SCOPED_TRACE("method " + std::to_string(method));
    const Calls expected = {kAcceptHeader, kRefererHeader, kLanguageHeader, kAgentHeader};
    Calls withPost = expected;
    withPost.push_back(contentType);
    EXPECT_EQ(HeaderCalls(Run({.method = method})), method == 1 ? withPost : expected);
  }
  // A Content-Type in any letter case already there keeps the default out.
  EXPECT_EQ(Only(Run({.method = 1, .extraHeaders = "content-type: text/plain"}),
                 "SetRequestHeader|Content-Type"),
            Calls{"SetRequestHeader|Content-Type|text/plain"});
}

struct HeaderCase {
  const char* name;
  WebRequestComOptions options;
  Calls headers;
};

TEST_F(WebRequestComTest, HeaderLinesSent) {
  const HeaderCase cases[] = {
      {"X-Accept holds the Accept label",
       {.extraHeaders = "X-Accept: 1"},
       {"SetRequestHeader|X-Accept|1", kRefererHeader, kLanguageHeader, kAgentHeader}},
      {"label found in any letter case",
       {.extraHeaders = "accept: text/html"},
       {"SetRequestHeader|Accept|text/html", kRefererHeader, kLanguageHeader, kAgentHeader}},
      {"caller's agent and referer kept",
       {.extraHeaders = "referer: r\r\nuser-agent: me"},
       {"SetRequestHeader|Referer|r", "SetRequestHeader|User-Agent|me", kAcceptHeader,
        kLanguageHeader}},
      {"no defaults, one line",
       {.extraHeaders = "a: 1", .addDefaultHeaders = false, .fixHeaderCase = true},
       {"SetRequestHeader|A|1"}},
      {"no defaults, header case left",
       {.extraHeaders = "x-my-head: v:w", .addDefaultHeaders = false, .fixHeaderCase = false},
       {"SetRequestHeader|x-my-head|v:w"}},
      {"case fix capitalises every dashed word",
       {.extraHeaders = "x-my-head: v", .addDefaultHeaders = false},
       {"SetRequestHeader|X-My-Head|v"}},
      {"empty text still gives one call",
       {.addDefaultHeaders = false, .fixHeaderCase = false},
       {"SetRequestHeader||"}},
      {"defaults without case fix: leading CRLF gives an empty line, skipped",
       {.fixHeaderCase = false},
       {kAcceptHeader, kRefererHeader, kLanguageHeader, kAgentHeader}},
      {"lines without a colon are dropped by the case fix",
       {.extraHeaders = "junk\r\nb: 2\r\n\r\n", .addDefaultHeaders = false},
       {"SetRequestHeader|B|2"}},
      {"lines without a colon are sent empty without the case fix",
       {.extraHeaders = "junk\r\nb: 2", .addDefaultHeaders = false, .fixHeaderCase = false},
       {"SetRequestHeader||", "SetRequestHeader|b|2"}},
      {"keep-alive dropped on the multi-line path after the case fix",
       {.extraHeaders = "connection: keep-alive\r\nx: 1", .addDefaultHeaders = false},
       {"SetRequestHeader|X|1"}},
      {"keep-alive with defaults is multi-line too",
       {.extraHeaders = "Connection: keep-alive"},
       {kAcceptHeader, kRefererHeader, kLanguageHeader, kAgentHeader}},
      {"Keep-Alive in another case is sent",
       {.extraHeaders = "Connection: Keep-Alive\r\nx: 1", .addDefaultHeaders = false},
       {"SetRequestHeader|Connection|Keep-Alive", "SetRequestHeader|X|1"}},
      {"lower-case name without the case fix is sent",
       {.extraHeaders = "connection: keep-alive\r\nx: 1",
        .addDefaultHeaders = false,
        .fixHeaderCase = false},
       {"SetRequestHeader|connection|keep-alive", "SetRequestHeader|x|1"}},
      {"single keep-alive line is sent: no test on that path",
       {.extraHeaders = "Connection: keep-alive", .addDefaultHeaders = false},
       {"SetRequestHeader|Connection|keep-alive"}},
  };
  for (const HeaderCase& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(HeaderCalls(Run(c.options)), c.headers);
  }
}

TEST_F(WebRequestComTest, TimeoutValues) {
  const std::pair<std::optional<int>, Calls> cases[] = {
      {std::nullopt, {"SetTimeouts|15000|15000|15000|15000"}},
      {0, {"SetTimeouts|15000|15000|15000|15000"}},
      {-5, {"SetTimeouts|15000|15000|15000|15000"}},
      {1, {"SetTimeouts|1000|1000|1000|1000"}},
      {30, {"SetTimeouts|30000|30000|30000|30000"}},
      {-1, {}},
      // Too large for int milliseconds: saturates rather than overflowing.
      {INT_MAX, {"SetTimeouts|2147483647|2147483647|2147483647|2147483647"}},
  };
  for (const auto& [seconds, expected] : cases) {
    SCOPED_TRACE(seconds ? std::to_string(*seconds) : "left out");
    WebRequestComOptions options;
    if (seconds) options.timeoutSeconds = *seconds;
    EXPECT_EQ(Only(Run(options), "SetTimeouts"), expected);
  }
}

TEST_F(WebRequestComTest, NoRedirectSetsOptionSixBeforeOptionFour) {
  EXPECT_EQ(Only(Run({.noRedirect = true}), "SetOption"),
            (Calls{"SetOption|6|0x0", "SetOption|4|0x3300"}));
  EXPECT_EQ(Only(Run({.noRedirect = false}), "SetOption"), Calls{"SetOption|4|0x3300"});
  EXPECT_EQ(Only(Run({}), "SetOption"), Calls{"SetOption|4|0x3300"});
}

TEST_F(WebRequestComTest, ProxyAndCredentialsInCallOrder) {
  const Calls calls = Run({.extraHeaders = "x: 1",
                           .proxy = "p:8080",
                           .proxyUser = "u",
                           .proxyPassword = "pw",
                           .addDefaultHeaders = false});
  const Calls expected = {
      "SetTimeouts|15000|15000|15000|15000",
      "SetProxy|2|p:8080",
      "Open|GET|" + std::string(kUrl) + "|false",
      "SetOption|4|0x3300",
      "SetCredentials|u|pw|1",
      "SetRequestHeader|Proxy-Authorization|Basic dTpwdw==",  // "u:pw"
      "SetRequestHeader|X|1",
      "Send|",
      "ResponseBody",
      "GetAllResponseHeaders",
      "Status",
      "~",
  };
  EXPECT_EQ(calls, expected);
}

TEST_F(WebRequestComTest, CredentialRules) {
  struct Case {
    const char* name;
    WebRequestComOptions options;
    Calls calls;
  };
  const Case cases[] = {
      {"target 0: server credentials, no header",
       {.proxy = "p:1", .proxyUser = "u", .proxyPassword = "pw", .credentialTarget = 0},
       {"SetCredentials|u|pw|0"}},
      {"target 1 given",
       {.proxy = "p:1", .proxyUser = "u", .proxyPassword = "pw", .credentialTarget = 1},
       {"SetCredentials|u|pw|1", "SetRequestHeader|Proxy-Authorization|Basic dTpwdw=="}},
      {"empty password still encodes the colon",
       {.proxy = "p:1", .proxyUser = "u"},
       {"SetCredentials|u||1", "SetRequestHeader|Proxy-Authorization|Basic dTo="}},
      {"no user: no credentials", {.proxy = "p:1", .proxyPassword = "pw"}, {}},
      {"no proxy: no credentials", {.proxyUser = "u", .proxyPassword = "pw"}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Calls calls = Run(c.options);
    Calls got = Only(calls, "SetCredentials");
    for (const std::string& h : Only(calls, "SetRequestHeader|Proxy-Authorization")) {
      got.push_back(h);
    }
    EXPECT_EQ(got, c.calls);
    EXPECT_EQ(Only(calls, "SetProxy").size(), c.options.proxy.empty() ? 0u : 1u);
  }
}

TEST_F(WebRequestComTest, CookieHeaderAndCallerVariable) {
  struct Case {
    const char* given;
    bool merge;
    const char* sent;
    const char* after;
  };
  const Case cases[] = {
      {"", true, "", ""},
      {"a=1", false, "a=1", "a=1"},
      {"Cookie: a=1", false, " a=1", " a=1"},  // the blank after the label stays
      {"Cookie: a=1", true, " a=1", "a=1"},    // the merge trims it
      {"COOKIE:a=1", false, "a=1", "a=1"},
      {"x=1; cookie: y=2", false, "x=1;  y=2", "x=1;  y=2"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.given) + (c.merge ? " merged" : " not merged"));
    Text cookies = c.given;
    const Calls calls = Run({.cookies = &cookies, .autoMergeCookies = c.merge});
    EXPECT_EQ(Only(calls, "SetRequestHeader|Cookie"),
              Calls{"SetRequestHeader|Cookie|" + std::string(c.sent)});
    EXPECT_EQ(cookies, c.after);
  }
  // Left out: no Cookie header at all.
  EXPECT_EQ(Only(Run({}), "SetRequestHeader|Cookie"), Calls{});
}

TEST_F(WebRequestComTest, CookieHeaderComesAfterProxyAuthorizationAndBeforeLines) {
  Text cookies = "a=1";
  const Calls headers = HeaderCalls(Run({.cookies = &cookies,
                                         .extraHeaders = "x: 1",
                                         .proxy = "p:1",
                                         .proxyUser = "u",
                                         .addDefaultHeaders = false}));
  const Calls expected = {"SetRequestHeader|Proxy-Authorization|Basic dTo=",
                          "SetRequestHeader|Cookie|a=1", "SetRequestHeader|X|1"};
  EXPECT_EQ(headers, expected);
}

TEST(CollectResponseCookiesTest, TakesOnlyExactSetCookieLines) {
  const std::pair<std::string, std::string> cases[] = {
      {"Set-Cookie: a=1; path=/\r\nSet-Cookie: b=2", "a=1; b=2"},
      {"set-cookie: c=3\r\nSet-Cookie:c=3\r\nSET-COOKIE: d=4", ""},
      {"Content-Type: text/html\r\n\r\n", ""},
      {"", ""},
      {"Set-Cookie:  e=5 ; Expires=x; path=/\r\n", "e=5"},
      {"Set-Cookie: f=6\r\nX: Set-Cookie: g=7\r\nSet-Cookie: h=8;", "f=6; h=8"},
      {"Set-Cookie: ", ""},  // empty item, its separator removed again
      {"Set-Cookie: \r\nSet-Cookie: i=9", "; i=9"},
  };
  for (const auto& [block, cookies] : cases) {
    SCOPED_TRACE(testing::PrintToString(block));
    EXPECT_EQ(CollectResponseCookies(block), cookies);
  }
}

TEST_F(WebRequestComTest, ResponseCookiesCollectedAndMerged) {
  response_.headers =
      "Set-Cookie: a=1; path=/\r\nSet-Cookie: b=2\r\nset-cookie: c=3\r\nSet-Cookie:c=3\r\n"
      "Content-Length: 0\r\n\r\n";
  struct Case {
    const char* name;
    bool giveCookies;
    std::optional<bool> merge;
    const char* responseCookies;
    const char* cookiesAfter;
  };
  const Case cases[] = {
      {"cookies left out", false, std::nullopt, "a=1; b=2", nullptr},
      {"merge on by default", true, std::nullopt, "a=1; b=2; z=9", "a=1; b=2; z=9"},
      {"merge on", true, true, "a=1; b=2; z=9", "a=1; b=2; z=9"},
      {"merge off", true, false, "a=1; b=2", "a=0; z=9"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Text cookies = "a=0; z=9";
    Text responseCookies = "stale";
    Run({.cookies = c.giveCookies ? &cookies : nullptr,
         .responseCookies = &responseCookies,
         .autoMergeCookies = c.merge});
    EXPECT_EQ(responseCookies, c.responseCookies);
    EXPECT_EQ(cookies, c.cookiesAfter ? c.cookiesAfter : "a=0; z=9");
  }
}

TEST_F(WebRequestComTest, PostBytesWinOverPostText) {
  const Bytes bytes = {'b', 0, 'y'};
  const Bytes empty;
  EXPECT_EQ(Only(Run({.method = 1, .postText = "t=1", .postBytes = &bytes}), "Send"),
            Calls{std::string("SendBytes|b\0y", 13)});
  EXPECT_EQ(Only(Run({.method = 1, .postText = "t=1", .postBytes = &empty}), "Send"),
            Calls{"Send|t=1"});
  EXPECT_EQ(Only(Run({.method = 1, .postText = "t=1"}), "Send"), Calls{"Send|t=1"});
  // The body goes out whatever the method.
  EXPECT_EQ(Only(Run({.postText = "t=1"}), "Send"), Calls{"Send|t=1"});
}

TEST_F(WebRequestComTest, ErrorStatusReturnsBodyAndOutputs) {
  response_ = {ToBytes("not here"), "Server: x\r\n\r\n", 404};
  Text headers = "stale";
  int status = -7;
  Run({.responseHeaders = &headers, .statusCode = &status});
  EXPECT_EQ(result_, ToBytes("not here"));
  EXPECT_EQ(headers, "Server: x\r\n\r\n");
  EXPECT_EQ(status, 404);
}

TEST_F(WebRequestComTest, FailedReadsGiveEmptyValues) {
  // What a request object reports after a failed Send.
  response_ = {};
  Text headers = "stale";
  int status = -7;
  Text cookies = "Cookie: a=1";
  Text responseCookies = "stale";
  Run({.cookies = &cookies,
       .responseCookies = &responseCookies,
       .responseHeaders = &headers,
       .statusCode = &status});
  EXPECT_TRUE(result_.empty());
  EXPECT_EQ(headers, "");
  EXPECT_EQ(status, 0);
  EXPECT_EQ(responseCookies, "a=1");  // the merge of the sent cookies with nothing
  EXPECT_EQ(cookies, "a=1");
}

TEST_F(WebRequestComTest, CallerKeptObjectIsUsedAndNotReleased) {
  Calls callerLog;
  auto kept = std::make_unique<FakeHttpRequest>(
      &callerLog, FakeHttpRequest::Response{ToBytes("kept"), "", 200});
  int status = 0;
  EXPECT_EQ(WebRequestCom(kUrl, {.statusCode = &status, .requestObject = kept.get()}),
            ToBytes("kept"));
  EXPECT_EQ(WebRequestCom(kUrl, {.requestObject = kept.get()}), ToBytes("kept"));
  EXPECT_EQ(created_, 0);
  EXPECT_TRUE(calls_.empty());
  EXPECT_EQ(status, 200);
  EXPECT_EQ(Only(callerLog, "Open").size(), 2u);
  EXPECT_EQ(Only(callerLog, "~"), Calls{});
}

TEST_F(WebRequestComTest, ObjectThatCannotBeCreatedWritesNothing) {
  refuse_ = true;
  Text cookies = "Cookie: a=1";
  Text responseCookies = "rc";
  Text headers = "rh";
  int status = 123;
  const Bytes result = WebRequestCom(kUrl, {.cookies = &cookies,
                                            .responseCookies = &responseCookies,
                                            .responseHeaders = &headers,
                                            .statusCode = &status});
  EXPECT_TRUE(result.empty());
  EXPECT_EQ(created_, 1);
  EXPECT_EQ(cookies, "Cookie: a=1");
  EXPECT_EQ(responseCookies, "rc");
  EXPECT_EQ(headers, "rh");
  EXPECT_EQ(status, 123);
}

}  // namespace
}  // namespace qv
