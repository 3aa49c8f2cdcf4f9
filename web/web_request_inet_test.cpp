#include "web/web_request_inet.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "core/bytes_ops.h"
#include "core/text_ops.h"

namespace qv {
namespace {

using Calls = std::vector<std::string>;

std::string Hex(std::uint32_t v) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "0x%X", v);
  return buf;
}

std::string Opt(std::optional<std::string_view> v) {
  return v ? "'" + std::string(*v) + "'" : "none";
}

// Records every handle call with its arguments and plays back a script:
// the handles to hand out (0 = failure), the body served in reads, and the
// header block (none = the query fails without writing).
class FakeInet : public InetApi {
 public:
  InetHandle internetHandle = 11;
  InetHandle connectionHandle = 22;
  InetHandle requestHandle = 33;
  Bytes body;
  // When not empty, the counts the reads report, in order (capped by what
  // is left of the body); a read past the list reports 0.
  std::vector<std::uint32_t> readCounts;
  bool useReadCounts = false;
  std::optional<Text> headerBlock = Text("HTTP/1.1 200 OK\r\n\r\n");
  Calls calls;

  InetHandle InternetOpen(std::string_view agent, int accessType,
                          std::optional<std::string_view> proxy,
                          std::optional<std::string_view> bypass, int flags) override {
    Log("InternetOpen|" + std::string(agent) + "|" + std::to_string(accessType) + "|" + Opt(proxy) +
        "|" + Opt(bypass) + "|" + std::to_string(flags));
    return internetHandle;
  }
  InetHandle InternetConnect(InetHandle internet, std::string_view host, int port, int service,
                             int flags) override {
    Log("InternetConnect|" + std::to_string(internet) + "|" + std::string(host) + "|" +
        std::to_string(port) + "|" + std::to_string(service) + "|" + std::to_string(flags));
    return connectionHandle;
  }
  InetHandle HttpOpenRequest(InetHandle connection, std::string_view verb,
                             std::string_view objectPath, std::string_view version,
                             std::uint32_t flags) override {
    Log("HttpOpenRequest|" + std::to_string(connection) + "|" + std::string(verb) + "|" +
        std::string(objectPath) + "|" + std::string(version) + "|" + Hex(flags));
    return requestHandle;
  }
  bool InternetSetOption(InetHandle request, int option, std::uint32_t value) override {
    Log("InternetSetOption|" + std::to_string(request) + "|" + std::to_string(option) + "|" +
        Hex(value));
    return true;
  }
  bool HttpSendRequest(InetHandle request, std::string_view headers, ByteView body) override {
    Log("HttpSendRequest|" + std::to_string(request) + "|" + std::string(headers) + "|" +
        std::string(body.begin(), body.end()));
    return true;
  }
  bool InternetReadFile(InetHandle request, std::uint8_t* buffer, std::uint32_t toRead,
                        std::uint32_t* read) override {
    Log("InternetReadFile|" + std::to_string(request) + "|" + std::to_string(toRead));
    std::uint32_t n = std::min<std::size_t>(toRead, body.size() - served_);
    if (useReadCounts) {
      n = reads_ < readCounts.size() ? readCounts[reads_] : 0;
      ++reads_;
      const std::uint32_t copy = std::min<std::size_t>({n, toRead, body.size() - served_});
      if (copy > 0) std::memcpy(buffer, body.data() + served_, copy);
      served_ += copy;
    } else {
      if (n > 0) std::memcpy(buffer, body.data() + served_, n);
      served_ += n;
    }
    *read = n;
    return true;
  }
  bool HttpQueryInfo(InetHandle request, int infoLevel, char* buffer,
                     std::uint32_t* length) override {
    Log("HttpQueryInfo|" + std::to_string(request) + "|" + std::to_string(infoLevel) + "|" +
        std::to_string(*length));
    if (!headerBlock) return false;
    if (headerBlock->size() + 1 > *length) {
      *length = static_cast<std::uint32_t>(headerBlock->size() + 1);
      return false;
    }
    std::memcpy(buffer, headerBlock->data(), headerBlock->size() + 1);
    *length = static_cast<std::uint32_t>(headerBlock->size());
    return true;
  }
  bool InternetCloseHandle(InetHandle handle) override {
    Log("InternetCloseHandle|" + std::to_string(handle));
    return true;
  }

 private:
  void Log(std::string call) { calls.push_back(std::move(call)); }

  std::size_t served_ = 0;
  std::size_t reads_ = 0;
};

Calls Only(const Calls& calls, std::string_view prefix) {
  Calls out;
  for (const std::string& c : calls) {
    if (c.starts_with(prefix)) out.push_back(c);
  }
  return out;
}

// The header text of the one send, or "(no send)".
std::string SentHeaders(const FakeInet& fake) {
  const Calls sends = Only(fake.calls, "HttpSendRequest|");
  if (sends.size() != 1) return "(no send)";
  const std::string& s = sends[0];
  const std::size_t start = s.find('|', s.find('|') + 1) + 1;
  return s.substr(start, s.rfind('|') - start);
}

// The body of the one send, or "(no send)".
std::string SentBody(const FakeInet& fake) {
  const Calls sends = Only(fake.calls, "HttpSendRequest|");
  if (sends.size() != 1) return "(no send)";
  return sends[0].substr(sends[0].rfind('|') + 1);
}

constexpr std::string_view kAgent = "Mozilla/4.0 (compatible; MSIE 9.0; Windows NT 6.1)";
constexpr std::string_view kUrl = "http://desc.quorvel.example/d/1.html";
const std::string kDefaultLines =
    "Accept: */*\r\nReferer: " + std::string(kUrl) + "\r\nAccept-Language: zh-cn";

TEST(FetchPageTextTest, WorkflowGetMakesExactlyTheseCalls) {
  FakeInet fake;
  fake.body = ToBytes("<p>desc</p>");
  const std::string url = "http://desc.quorvel.example:8080/item/Desc.html?x=1";
  EXPECT_EQ(FetchPageText(url, &fake), "<p>desc</p>");
  const Calls expected = {
      "InternetOpen|" + std::string(kAgent) + "|1|none|none|0",
      "InternetConnect|11|desc.quorvel.example|8080|3|0",
      "HttpOpenRequest|22|GET|/item/Desc.html?x=1|HTTP/1.1|0x80004010",
      "InternetSetOption|33|31|0x1F380",
      "HttpSendRequest|33|Accept: */*\r\nReferer: " + url + "\r\nAccept-Language: zh-cn|",
      "InternetReadFile|33|1024",
      "InternetReadFile|33|1024",
      "HttpQueryInfo|33|22|5000",
      "InternetCloseHandle|33",
      "InternetCloseHandle|22",
      "InternetCloseHandle|11",
  };
  EXPECT_EQ(fake.calls, expected);
}

TEST(FetchPageTextTest, StopsAtTheFirstZeroByte) {
  FakeInet fake;
  fake.body = ToBytes("0123456789");
  fake.body.push_back(0);
  fake.body.push_back('x');
  EXPECT_EQ(FetchPageText(kUrl, &fake), "0123456789");

  FakeInet again;
  again.body = fake.body;
  EXPECT_EQ(WebRequestInet(kUrl, {.inet = &again}), fake.body);
}

TEST(FetchPageTextTest, EmptyBodyGivesEmptyText) {
  FakeInet fake;  // the send failed: the first read reports 0 bytes
  EXPECT_EQ(FetchPageText(kUrl, &fake), "");
  EXPECT_EQ(Only(fake.calls, "InternetReadFile").size(), 1u);
}

TEST(WebRequestInetTest, BodyReadInPiecesUntilAReadReturnsZero) {
  FakeInet fake;
  for (int i = 0; i < 2500; ++i) fake.body.push_back(static_cast<std::uint8_t>(i * 7));
  EXPECT_EQ(WebRequestInet(kUrl, {.inet = &fake}), fake.body);
  // 1024 + 1024 + 452, then the read that reports 0.
  EXPECT_EQ(Only(fake.calls, "InternetReadFile"), Calls(4, "InternetReadFile|33|1024"));
}

TEST(WebRequestInetTest, ShortReadsAppendInOrderAndZeroEndsTheBody) {
  FakeInet fake;
  fake.body = ToBytes("abcdefghij");
  fake.useReadCounts = true;
  fake.readCounts = {3, 1, 4, 0, 2};  // the bytes after the 0 are never asked for
  EXPECT_EQ(WebRequestInet(kUrl, {.inet = &fake}), ToBytes("abcdefgh"));
  EXPECT_EQ(Only(fake.calls, "InternetReadFile").size(), 4u);
}

TEST(WebRequestInetTest, CountLargerThanTheBufferIsCappedAtTheBuffer) {
  FakeInet fake;
  fake.body = Bytes(1024, 'z');
  fake.useReadCounts = true;
  fake.readCounts = {4096};
  const Bytes body = WebRequestInet(kUrl, {.inet = &fake});
  EXPECT_EQ(body, Bytes(1024, 'z'));
}

TEST(WebRequestInetTest, DefaultLinesTextExactly) {
  FakeInet fake;
  Text headers;
  WebRequestInet(kUrl, {.responseHeaders = &headers, .inet = &fake});
  EXPECT_EQ(SentHeaders(fake), kDefaultLines);
  EXPECT_EQ(SentBody(fake), "");
  EXPECT_EQ(headers, "HTTP/1.1 200 OK\r\n\r\n");
}

TEST(WebRequestInetTest, HeaderTextSent) {
  struct Case {
    const char* name;
    WebRequestInetOptions options;
    const char* cookies;  // null: left out
    std::string headers;
  };
  const std::string referer = "Referer: " + std::string(kUrl);
  const Case cases[] = {
      {"X-Accept holds the Accept label",
       {.extraHeaders = "X-Accept: 1"},
       nullptr,
       "X-Accept: 1\r\n" + referer + "\r\nAccept-Language: zh-cn"},
      {"label found in any letter case",
       {.extraHeaders = "accept-language: en"},
       nullptr,
       "Accept-Language: en\r\nAccept: */*\r\n" + referer},
      {"case fix off keeps the caller's text",
       {.extraHeaders = "accept: a", .fixHeaderCase = false},
       nullptr,
       "accept: a\r\n" + referer + "\r\nAccept-Language: zh-cn"},
      {"case fix drops lines without a colon",
       {.extraHeaders = "junk\r\nx-y: 1\r\n", .addDefaultHeaders = false},
       nullptr,
       "X-Y: 1"},
      {"post gets Content-Type",
       {.method = 1},
       nullptr,
       kDefaultLines + "\r\nContent-Type: application/x-www-form-urlencoded"},
      {"put gets none", {.method = 3}, nullptr, kDefaultLines},
      {"no defaults, no text", {.addDefaultHeaders = false}, nullptr, ""},
      {"no defaults, cookie only: begins with CRLF",
       {.addDefaultHeaders = false},
       "a=1",
       "\r\nCookie: a=1"},
      {"labelled cookie text gets no second label",
       {},
       "Cookie: a=1",
       kDefaultLines + "\r\nCookie: a=1"},
      {"label in another case gets one",
       {},
       "cookie: a=1",
       kDefaultLines + "\r\nCookie: cookie: a=1"},
      {"empty cookie text sends no line", {}, "", kDefaultLines},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakeInet fake;
    Text cookies = c.cookies ? c.cookies : "";
    WebRequestInetOptions options = c.options;
    options.cookies = c.cookies ? &cookies : nullptr;
    options.inet = &fake;
    WebRequestInet(kUrl, options);
    EXPECT_EQ(SentHeaders(fake), c.headers);
  }
}

TEST(WebRequestInetTest, AgentRules) {
  struct Case {
    const char* extraHeaders;
    bool fixHeaderCase;
    const char* agent;
  };
  const Case cases[] = {
      {"", true, "Mozilla/4.0 (compatible; MSIE 9.0; Windows NT 6.1)"},
      {"user-agent: X", true, "X"},
      {"Accept: a\r\nUser-Agent:  Y  \r\nX: 1", true, "Y"},
      {"USER-AGENT: Z", false, "Z"},  // label in another case: value of the whole text
      {"user-agent: X", false, "X"},
      // The fallback reads after the first ":" of the whole text, later lines included.
      {"Accept: a\r\nuser-agent: Q", false, "a\r\nuser-agent: Q"},
      {"User-Agent:\r\nX: 1", true, "\r\nX: 1"},  // empty value: same fallback
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(std::string(c.extraHeaders)));
    FakeInet fake;
    WebRequestInet(
        kUrl, {.extraHeaders = c.extraHeaders, .fixHeaderCase = c.fixHeaderCase, .inet = &fake});
    ASSERT_FALSE(fake.calls.empty());
    EXPECT_EQ(fake.calls[0], "InternetOpen|" + std::string(c.agent) + "|1|none|none|0");
  }
  // The line stays among the headers sent.
  FakeInet fake;
  WebRequestInet(kUrl, {.extraHeaders = "user-agent: X", .inet = &fake});
  EXPECT_EQ(SentHeaders(fake), "User-Agent: X\r\nAccept: */*\r\nReferer: " + std::string(kUrl) +
                                   "\r\nAccept-Language: zh-cn");
}

TEST(WebRequestInetTest, SchemeProxyAndFlags) {
  struct Case {
    std::string url;
    const char* proxy;
    bool giveCookies;
    bool noRedirect;
    Calls calls;  // open, connect and open-request
  };
  const Case cases[] = {
      {"http://a.b/",
       "p:8080",
       false,
       false,
       {"InternetOpen|" + std::string(kAgent) + "|3|'http=p:8080'|''|0",
        "InternetConnect|11|a.b|80|3|0", "HttpOpenRequest|22|GET|/|HTTP/1.1|0x80004010"}},
      {"https://a.b/",
       "p:8080",
       false,
       false,
       {"InternetOpen|" + std::string(kAgent) + "|3|'p:8080'|''|0",
        "InternetConnect|11|a.b|443|3|0", "HttpOpenRequest|22|GET|/|HTTP/1.1|0x80800010"}},
      {"HTTPS://a.b/c",
       "p:1",
       false,
       false,
       {"InternetOpen|" + std::string(kAgent) + "|3|'p:1'|''|0", "InternetConnect|11|a.b|443|3|0",
        "HttpOpenRequest|22|GET|/c|HTTP/1.1|0x80800010"}},
      {"a.b/c",
       "",
       false,
       false,
       {"InternetOpen|" + std::string(kAgent) + "|1|none|none|0", "InternetConnect|11|a.b|80|3|0",
        "HttpOpenRequest|22|GET|/c|HTTP/1.1|0x80004010"}},
      {"http://a.b/",
       "",
       true,
       false,
       {"InternetOpen|" + std::string(kAgent) + "|1|none|none|0", "InternetConnect|11|a.b|80|3|0",
        "HttpOpenRequest|22|GET|/|HTTP/1.1|0x80084010"}},
      {"https://a.b/",
       "",
       true,
       true,
       {"InternetOpen|" + std::string(kAgent) + "|1|none|none|0", "InternetConnect|11|a.b|443|3|0",
        "HttpOpenRequest|22|GET|/|HTTP/1.1|0x80A80010"}},
      {"http://a.b/",
       "",
       false,
       true,
       {"InternetOpen|" + std::string(kAgent) + "|1|none|none|0", "InternetConnect|11|a.b|80|3|0",
        "HttpOpenRequest|22|GET|/|HTTP/1.1|0x80204010"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.url + " proxy '" + c.proxy + "'" + (c.giveCookies ? " cookies" : "") +
                 (c.noRedirect ? " noRedirect" : ""));
    FakeInet fake;
    Text cookies;
    WebRequestInet(c.url, {.cookies = c.giveCookies ? &cookies : nullptr,
                           .noRedirect = c.noRedirect,
                           .proxy = c.proxy,
                           .inet = &fake});
    ASSERT_GE(fake.calls.size(), 4u);
    EXPECT_EQ(Calls(fake.calls.begin(), fake.calls.begin() + 3), c.calls);
    EXPECT_EQ(fake.calls[3], "InternetSetOption|33|31|0x1F380");
  }
}

TEST(WebRequestInetTest, MethodOutsideTheTableSendsGet) {
  const std::pair<int, const char*> cases[] = {
      {-1, "GET"}, {8, "GET"},     {1000, "GET"}, {0, "GET"},   {1, "POST"},    {2, "HEAD"},
      {3, "PUT"},  {4, "OPTIONS"}, {5, "DELETE"}, {6, "TRACE"}, {7, "CONNECT"},
  };
  for (const auto& [method, verb] : cases) {
    SCOPED_TRACE("method " + std::to_string(method));
    FakeInet fake;
    WebRequestInet(kUrl, {.method = method, .postText = "b", .inet = &fake});
    EXPECT_EQ(Only(fake.calls, "HttpOpenRequest"),
              Calls{"HttpOpenRequest|22|" + std::string(verb) + "|/d/1.html|HTTP/1.1|0x80004010"});
    EXPECT_EQ(SentBody(fake), std::string(verb) == "GET" ? "" : "b");
  }
}

TEST(WebRequestInetTest, BodyRules) {
  struct Case {
    const char* name;
    int method;
    const char* postText;
    std::optional<Bytes> postBytes;  // none: left out
    const char* sent;
    std::optional<Bytes> postBytesAfter;
  };
  const Case cases[] = {
      {"post fills the caller's empty bytes", 1, "a=1", Bytes{}, "a=1", ToBytes("a=1")},
      {"put too", 3, "a=1", Bytes{}, "a=1", ToBytes("a=1")},
      {"bytes win over text", 1, "a=1", ToBytes("xyz"), "xyz", ToBytes("xyz")},
      {"bytes left out: text sent", 1, "a=1", std::nullopt, "a=1", std::nullopt},
      {"nothing to send", 1, "", Bytes{}, "", Bytes{}},
      {"get sends no body and keeps the bytes", 0, "a=1", ToBytes("xyz"), "", ToBytes("xyz")},
      {"get leaves empty bytes empty", 0, "a=1", Bytes{}, "", Bytes{}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakeInet fake;
    Bytes postBytes = c.postBytes.value_or(Bytes{});
    WebRequestInet(kUrl, {.method = c.method,
                          .postText = c.postText,
                          .postBytes = c.postBytes ? &postBytes : nullptr,
                          .inet = &fake});
    EXPECT_EQ(SentBody(fake), c.sent);
    if (c.postBytesAfter) {
      EXPECT_EQ(postBytes, *c.postBytesAfter);
    }
  }
}

TEST(WebRequestInetTest, ResponseCookiesCollectedAndMerged) {
  const Text block =
      "HTTP/1.1 200 OK\r\nSet-Cookie: a=1; path=/\r\nSet-Cookie: b=2\r\nset-cookie: c=3\r\n"
      "Set-Cookie:c=3\r\n\r\n";
  struct Case {
    const char* name;
    std::optional<Text> headerBlock;
    const char* cookies;  // null: left out
    std::optional<bool> merge;
    const char* responseCookies;
    const char* cookiesAfter;
  };
  const Case cases[] = {
      {"cookies left out", block, nullptr, std::nullopt, "a=1; b=2", nullptr},
      {"merged", block, "a=0; z=9", std::nullopt, "a=1; b=2; z=9", "a=1; b=2; z=9"},
      {"merge off leaves cookies exactly", block, " Cookie: a=0 ", false, "a=1; b=2",
       " Cookie: a=0 "},
      {"empty cookies merged with the response", block, "", true, "a=1; b=2", "a=1; b=2"},
      {"no Set-Cookie lines", Text("HTTP/1.1 200 OK\r\n\r\n"), nullptr, std::nullopt, "", nullptr},
      {"no response: merge with nothing", std::nullopt, "a=1;", true, "a=1", "a=1"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakeInet fake;
    fake.headerBlock = c.headerBlock;
    Text cookies = c.cookies ? c.cookies : "";
    Text responseCookies = "stale";
    WebRequestInet(kUrl, {.cookies = c.cookies ? &cookies : nullptr,
                          .responseCookies = &responseCookies,
                          .autoMergeCookies = c.merge,
                          .inet = &fake});
    EXPECT_EQ(responseCookies, c.responseCookies);
    if (c.cookiesAfter) {
      EXPECT_EQ(cookies, c.cookiesAfter);
    }
  }
}

TEST(WebRequestInetTest, FailedHeaderQueryLeavesTheBlankBuffer) {
  struct Case {
    const char* name;
    std::optional<Text> headerBlock;
  };
  const Case cases[] = {
      {"no response", std::nullopt},
      {"block of 5,000 bytes",
       "HTTP/1.1 200 OK\r\nSet-Cookie: a=1\r\nX: " + Text(4970, 'x') + "\r\n\r\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakeInet fake;
    fake.headerBlock = c.headerBlock;
    Text headers = "stale";
    Text responseCookies = "stale";
    WebRequestInet(
        kUrl, {.responseCookies = &responseCookies, .responseHeaders = &headers, .inet = &fake});
    EXPECT_EQ(headers, BlankText(5000));
    EXPECT_EQ(responseCookies, "");
    EXPECT_EQ(Only(fake.calls, "HttpQueryInfo"), Calls{"HttpQueryInfo|33|22|5000"});
  }
  // 4,999 characters still fit with their zero byte.
  FakeInet fake;
  fake.headerBlock = Text(4999, 'h');
  Text headers;
  WebRequestInet(kUrl, {.responseHeaders = &headers, .inet = &fake});
  EXPECT_EQ(headers, Text(4999, 'h'));
}

TEST(WebRequestInetTest, HandlesClosedInReverseOrderOnEveryFailure) {
  struct Case {
    const char* name;
    int failing;  // 1 Internet, 2 connection, 3 request handle
    Calls tail;   // the calls after the failing open
  };
  const Case cases[] = {
      {"Internet handle", 1, {}},
      {"connection handle", 2, {"InternetCloseHandle|11"}},
      {"request handle", 3, {"InternetCloseHandle|22", "InternetCloseHandle|11"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakeInet fake;
    fake.body = ToBytes("never read");
    if (c.failing == 1) fake.internetHandle = 0;
    if (c.failing == 2) fake.connectionHandle = 0;
    if (c.failing == 3) fake.requestHandle = 0;
    Text cookies = "a=1";
    Text responseCookies = "rc";
    Text headers = "rh";
    Bytes postBytes;
    const Bytes result = WebRequestInet(kUrl, {.method = 1,
                                               .postText = "p=1",
                                               .cookies = &cookies,
                                               .responseCookies = &responseCookies,
                                               .responseHeaders = &headers,
                                               .postBytes = &postBytes,
                                               .inet = &fake});
    EXPECT_TRUE(result.empty());
    ASSERT_GE(fake.calls.size(), static_cast<std::size_t>(c.failing));
    EXPECT_EQ(Calls(fake.calls.begin() + c.failing, fake.calls.end()), c.tail);
    EXPECT_EQ(cookies, "a=1");
    EXPECT_EQ(responseCookies, "rc");
    EXPECT_EQ(headers, "rh");
    EXPECT_TRUE(postBytes.empty());
  }
}

}  // namespace
}  // namespace qv
