#include "tools/testshop/test_shop.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "tools/testshop/raw_client.h"

namespace qv::testing {
namespace {

constexpr int kWaitMs = 5000;

std::string Get(std::string_view host, std::string_view path) {
  return "GET " + std::string(path) + " HTTP/1.1\r\nHost: " + std::string(host) + "\r\n\r\n";
}

// The numbers after each "\"conn\":" in a log, in order.
std::vector<int> ConnIds(const std::string& log) {
  std::vector<int> ids;
  for (size_t at = log.find("\"conn\":"); at != std::string::npos;
       at = log.find("\"conn\":", at + 1)) {
    ids.push_back(std::atoi(log.c_str() + at + 7));
  }
  return ids;
}

class TestShopTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    try {
      shop_ = new TestShop();
    } catch (const std::exception& e) {
      start_error_ = e.what();
    }
  }
  static void TearDownTestSuite() {
    delete shop_;
    shop_ = nullptr;
  }
  void SetUp() override {
    ASSERT_NE(shop_, nullptr) << start_error_;
    shop_->Reset();
  }

  static TestShop& shop() { return *shop_; }
  static int port() { return shop_->HttpPort(); }

  // One request on a new connection.
  static RawResponse Fetch(const std::string& request, bool head_request = false) {
    RawClient c(port());
    EXPECT_TRUE(c.connected()) << "connect: errno " << c.error();
    EXPECT_TRUE(c.Send(request));
    return c.ReadResponse(kWaitMs, head_request);
  }

  static TestShop* shop_;
  static std::string start_error_;
};

TestShop* TestShopTest::shop_ = nullptr;
std::string TestShopTest::start_error_;

TEST_F(TestShopTest, RoutesServeTheirBodyAndStatus) {
  shop().AddRoutes(R"([
    {"host": "item.quorvel.example", "path": "/57038905465.html",
     "body": "<html>name: 'x'</html>", "headers": [["Content-Type", "text/html; charset=gbk"]]},
    {"host": "img.quorvel.example", "path": "/n12/a.jpg", "body_size": 51200},
    {"host": "img.quorvel.example", "path": "/n12/b.png", "body_b64": "AAEC/w=="},
    {"host": "img.quorvel.example", "path": "/n12/gone.jpg", "status": 500, "body": "boom"},
    {"host": "img.quorvel.example", "path": "/n12/empty", "status": 204},
    {"host": "img.quorvel.example", "path": "/n12/blob", "body": "r"}
  ])");
  struct Row {
    const char* host;
    const char* path;
    int status;
    std::string body;
    const char* content_type;
  };
  const Row rows[] = {
      {"item.quorvel.example", "/57038905465.html", 200, "<html>name: 'x'</html>",
       "text/html; charset=gbk"},
      {"img.quorvel.example", "/n12/a.jpg", 200, ShopPattern(51200), "image/jpeg"},
      {"img.quorvel.example", "/n12/b.png", 200, std::string("\x00\x01\x02\xff", 4), "image/png"},
      {"img.quorvel.example", "/n12/gone.jpg", 500, "boom", "image/jpeg"},
      {"img.quorvel.example", "/n12/blob", 200, "r", "application/octet-stream"},
      {"img.quorvel.example", "/n12/empty", 204, "", ""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(row.host) + row.path);
    const RawResponse r = Fetch(Get(row.host, row.path));
    EXPECT_EQ(r.end, ReadEnd::kDone) << ReadEndName(r.end);
    EXPECT_EQ(r.status, row.status);
    EXPECT_TRUE(r.body == row.body) << "body of " << r.body.size() << " bytes";
    EXPECT_EQ(r.Header("Content-Type"), row.content_type);
    if (row.status == 204) {
      EXPECT_EQ(r.announced, -1);
    } else {
      EXPECT_EQ(r.announced, static_cast<long long>(row.body.size()));
    }
  }

  const RawResponse missing = Fetch(Get("img.quorvel.example", "/n12/none.jpg"));
  EXPECT_EQ(missing.status, 404);
  EXPECT_NE(missing.body.find("no route"), std::string::npos) << missing.body;

  const RawResponse head = Fetch("HEAD /n12/a.jpg HTTP/1.1\r\nHost: img.quorvel.example\r\n\r\n",
                                 /*head_request=*/true);
  EXPECT_EQ(head.status, 200);
  EXPECT_EQ(head.announced, 51200);
}

TEST_F(TestShopTest, HeadersKeepTheirOrder) {
  shop().AddRoutes(R"([{"path": "/login", "headers": [
    ["Set-Cookie", "a=1; path=/"], ["X-Mid", "m"],
    ["Set-Cookie", "b=2; domain=.quorvel.example"], ["Set-Cookie", "a=3"]]}])");
  const RawResponse r = Fetch(Get("quorvel.example", "/login"));
  ASSERT_EQ(r.status, 200);
  const std::vector<std::pair<std::string, std::string>> want = {
      {"Set-Cookie", "a=1; path=/"},
      {"X-Mid", "m"},
      {"Set-Cookie", "b=2; domain=.quorvel.example"},
      {"Set-Cookie", "a=3"}};
  ASSERT_GE(r.headers.size(), want.size()) << r.head;
  EXPECT_EQ(std::vector(r.headers.begin(), r.headers.begin() + 4), want) << r.head;
}

TEST_F(TestShopTest, RedirectSendsLocation) {
  shop().AddRoutes(R"([
    {"path": "/moved", "status": 301, "redirect": "https://img.quorvel.example/n12/a.jpg"},
    {"path": "/found", "redirect": "/n12/b.jpg"},
    {"path": "/temp", "status": 307, "redirect": "http://d.quorvel.example/d?id=1", "body": "x"}
  ])");
  struct Row {
    const char* path;
    int status;
    const char* location;
  };
  const Row rows[] = {{"/moved", 301, "https://img.quorvel.example/n12/a.jpg"},
                      {"/found", 302, "/n12/b.jpg"},
                      {"/temp", 307, "http://d.quorvel.example/d?id=1"}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.path);
    const RawResponse r = Fetch(Get("item.quorvel.example", row.path));
    EXPECT_EQ(r.end, ReadEnd::kDone);
    EXPECT_EQ(r.status, row.status);
    EXPECT_EQ(r.Headers("Location"), std::vector<std::string>{row.location});
  }
}

TEST_F(TestShopTest, HeaderPadGrowsTheHeaderBlock) {
  for (int pad : {0, 200, 5000, 70000}) {
    SCOPED_TRACE("header_pad " + std::to_string(pad));
    shop().Reset();
    shop().AddRoutes(R"([{"path": "/p", "body_size": 300, "header_pad": )" + std::to_string(pad) +
                     "}]");
    const RawResponse r = Fetch(Get("img.quorvel.example", "/p"));
    EXPECT_EQ(r.end, ReadEnd::kDone);
    EXPECT_EQ(r.status, 200);
    EXPECT_TRUE(r.body == ShopPattern(300));
    if (pad == 0) {
      EXPECT_LT(r.head.size(), 200u);
    } else {
      EXPECT_GT(r.head.size(), static_cast<size_t>(pad));
      EXPECT_LT(r.head.size(), static_cast<size_t>(pad) + 1100);
    }
    for (const auto& [name, value] : r.headers) EXPECT_LT(name.size() + value.size(), 1100u);
  }
}

TEST_F(TestShopTest, DelayHoldsBackTheStatusLine) {
  struct Row {
    const char* name;
    const char* routes;
    const char* settings;
  };
  const Row rows[] = {
      {"delay_ms", R"([{"path": "/slow", "body": "late", "delay_ms": 600}])", nullptr},
      {"delay_all_ms", R"([{"path": "/slow", "body": "late"}])", R"({"delay_all_ms": 600})"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    shop().Reset();
    shop().AddRoutes(row.routes);
    if (row.settings != nullptr) shop().Settings(row.settings);
    RawClient c(port());
    ASSERT_TRUE(c.Send(Get("img.quorvel.example", "/slow")));
    EXPECT_FALSE(c.ActivityWithin(250)) << "answered early: " << c.buffer();
    EXPECT_TRUE(c.buffer().empty());
    const RawResponse r = c.ReadResponse(kWaitMs);
    EXPECT_EQ(r.end, ReadEnd::kDone);
    EXPECT_EQ(r.status, 200);
    EXPECT_EQ(r.body, "late");
  }
}

TEST_F(TestShopTest, StallPausesInsideTheBody) {
  shop().AddRoutes(
      R"([{"path": "/n12/s.jpg", "body_size": 10000, "stall_after": 3000, "stall_ms": 600}])");
  RawClient c(port());
  ASSERT_TRUE(c.Send(Get("img.quorvel.example", "/n12/s.jpg")));
  ASSERT_EQ(c.ReadUntil("\r\n\r\n", kWaitMs), ReadEnd::kDone);
  const size_t head = c.buffer().find("\r\n\r\n") + 4;
  ASSERT_EQ(c.ReadAtLeast(head + 3000, kWaitMs), ReadEnd::kDone);
  EXPECT_FALSE(c.ActivityWithin(250));
  EXPECT_EQ(c.buffer().size(), head + 3000) << "bytes arrived during the stall";
  const RawResponse r = c.ReadResponse(kWaitMs);
  EXPECT_EQ(r.end, ReadEnd::kDone);
  EXPECT_TRUE(r.body == ShopPattern(10000)) << r.body.size() << " bytes";
}

TEST_F(TestShopTest, ResetCutsTheBodyWithRst) {
  shop().AddRoutes(R"([{"path": "/n12/r.jpg", "body_size": 50000, "reset_after": 1000}])");
  const RawResponse r = Fetch(Get("img.quorvel.example", "/n12/r.jpg"));
  EXPECT_EQ(r.end, ReadEnd::kReset) << ReadEndName(r.end);
  EXPECT_EQ(r.status, 200);
  EXPECT_EQ(r.announced, 50000);
  EXPECT_EQ(r.body.size(), 1000u);
  EXPECT_TRUE(r.body == ShopPattern(1000));
}

TEST_F(TestShopTest, ShortBodyEndsWithAnOrderlyClose) {
  shop().AddRoutes(R"([{"path": "/n12/t.jpg", "body_size": 1000, "content_length": 5000}])");
  const RawResponse r = Fetch(Get("img.quorvel.example", "/n12/t.jpg"));
  EXPECT_EQ(r.end, ReadEnd::kEof) << ReadEndName(r.end);
  EXPECT_EQ(r.announced, 5000);
  EXPECT_TRUE(r.body == ShopPattern(1000)) << r.body.size() << " bytes";
  EXPECT_EQ(r.Header("Connection"), "close");
}

TEST_F(TestShopTest, ChunkedBodyIsFramedInChunks) {
  shop().AddRoutes(
      R"([{"path": "/n12/c.jpg", "body_size": 10000, "chunked": true, "chunk_size": 4096}])");
  RawClient c(port());
  ASSERT_TRUE(c.Send(Get("img.quorvel.example", "/n12/c.jpg")));
  ASSERT_EQ(c.ReadUntil("\r\n\r\n", kWaitMs), ReadEnd::kDone);
  ASSERT_EQ(c.ReadUntil("\r\n0\r\n\r\n", kWaitMs), ReadEnd::kDone);
  const std::string raw = c.buffer();
  const RawResponse r = c.ReadResponse(kWaitMs);
  EXPECT_EQ(r.end, ReadEnd::kDone);
  EXPECT_EQ(r.announced, -1);
  EXPECT_EQ(r.Header("Transfer-Encoding"), "chunked");
  EXPECT_EQ(raw.substr(r.head.size(), 6), "1000\r\n");
  EXPECT_NE(raw.find("\r\n710\r\n"), std::string::npos);  // 10000 - 2 * 4096 = 0x710
  EXPECT_TRUE(r.body == ShopPattern(10000)) << r.body.size() << " bytes";
}

TEST_F(TestShopTest, HostChoosesTheRoute) {
  shop().AddRoutes(R"([
    {"host": "*", "path": "/p", "body": "any"},
    {"host": "img.quorvel.example", "path": "/p", "body": "img"},
    {"host": "item.quorvel.example", "path": "/p", "body": "item"}
  ])");
  struct Row {
    const char* request;
    const char* body;
  };
  const Row rows[] = {
      {"GET /p HTTP/1.1\r\nHost: img.quorvel.example\r\n\r\n", "img"},
      {"GET /p HTTP/1.1\r\nHost: IMG.Quorvel.Example:443\r\n\r\n", "img"},
      {"GET /p HTTP/1.1\r\nHost: item.quorvel.example:8080\r\n\r\n", "item"},
      {"GET /p HTTP/1.1\r\nHost: d.quorvel.example\r\n\r\n", "any"},
      {"GET /p HTTP/1.0\r\n\r\n", "any"},
      // Absolute form, as a forward proxy gets it: the URL names the host.
      {"GET http://img.quorvel.example/p HTTP/1.1\r\nHost: item.quorvel.example\r\n\r\n", "img"},
      {"GET http://item.quorvel.example:80/p?x=1 HTTP/1.1\r\nHost: img.quorvel.example\r\n\r\n",
       "item"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.request);
    const RawResponse r = Fetch(row.request);
    EXPECT_EQ(r.status, 200);
    EXPECT_EQ(r.body, row.body);
  }

  // A route added later wins over an earlier one; "times" retires it.
  shop().AddRoutes(R"([{"host": "img.quorvel.example", "path": "/p", "body": "once",
                        "times": 1}])");
  EXPECT_EQ(Fetch(Get("img.quorvel.example", "/p")).body, "once");
  EXPECT_EQ(Fetch(Get("img.quorvel.example", "/p")).body, "img");
}

TEST_F(TestShopTest, QueryMatchesOnlyWhenTheRouteHasOne) {
  shop().AddRoutes(R"([
    {"path": "/list", "body": "any query"},
    {"path": "/list?page=2", "body": "page 2"}
  ])");
  struct Row {
    const char* path;
    int status;
    const char* body;
  };
  const Row rows[] = {{"/list", 200, "any query"},     {"/list?page=1", 200, "any query"},
                      {"/list?page=2", 200, "page 2"}, {"/list?page=2&x=1", 200, "any query"},
                      {"/list/", 404, nullptr},        {"/List", 404, nullptr}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.path);
    const RawResponse r = Fetch(Get("img.quorvel.example", row.path));
    EXPECT_EQ(r.status, row.status);
    if (row.body != nullptr) {
      EXPECT_EQ(r.body, row.body);
    }
  }
}

TEST_F(TestShopTest, LogRecordsWhatTheClientSent) {
  shop().AddRoutes(R"([{"path": "/n12/up", "body": "ok"}])");
  const std::string body("hello\0world", 11);
  const RawResponse r = Fetch(
      "POST http://img.quorvel.example/n12/up?x=1 HTTP/1.1\r\n"
      "Host: img.quorvel.example\r\nCookie: a=1; b=2\r\nX-Empty:\r\n"
      "Content-Length: 11\r\n\r\n" +
      body);
  EXPECT_EQ(r.body, "ok");
  EXPECT_EQ(Fetch(Get("d.quorvel.example", "/desc")).status, 404);

  const std::string log = shop().Log();
  const std::string first =
      R"("scheme":"http","port":)" + std::to_string(port()) +
      R"(,"method":"POST","target":"http://img.quorvel.example/n12/up?x=1","version":"HTTP/1.1",)"
      R"("host":"img.quorvel.example","path":"/n12/up?x=1",)"
      R"("headers":[["Host","img.quorvel.example"],["Cookie","a=1; b=2"],["X-Empty",""],)"
      R"(["Content-Length","11"]],"body_b64":"aGVsbG8Ad29ybGQ="})";
  const std::string second =
      R"("method":"GET","target":"/desc","version":"HTTP/1.1","host":"d.quorvel.example",)"
      R"("path":"/desc","headers":[["Host","d.quorvel.example"]],"body_b64":""})";
  const size_t at_first = log.find(first);
  const size_t at_second = log.find(second);
  EXPECT_NE(at_first, std::string::npos) << log;
  EXPECT_NE(at_second, std::string::npos) << log;
  EXPECT_LT(at_first, at_second) << log;
  EXPECT_EQ(ConnIds(log).size(), 2u) << log;
  EXPECT_EQ(log.find("__shop"), std::string::npos) << "control calls were logged: " << log;
}

TEST_F(TestShopTest, KeepAliveServesRequestsOnOneConnection) {
  shop().AddRoutes(R"([{"path": "/a", "body": "first"}, {"path": "/b", "body_size": 20000}])");
  RawClient c(port());
  ASSERT_TRUE(c.Send(Get("img.quorvel.example", "/a")));
  const RawResponse a = c.ReadResponse(kWaitMs);
  EXPECT_EQ(a.body, "first");
  EXPECT_EQ(a.Header("Connection"), "");
  // The next two are sent together (pipelined).
  ASSERT_TRUE(c.Send(Get("img.quorvel.example", "/b") + Get("img.quorvel.example", "/a")));
  const RawResponse b = c.ReadResponse(kWaitMs);
  const RawResponse a2 = c.ReadResponse(kWaitMs);
  EXPECT_EQ(b.end, ReadEnd::kDone);
  EXPECT_TRUE(b.body == ShopPattern(20000));
  EXPECT_EQ(a2.body, "first");
  const std::vector<int> ids = ConnIds(shop().Log());
  ASSERT_EQ(ids.size(), 3u);
  EXPECT_EQ(ids[0], ids[1]);
  EXPECT_EQ(ids[1], ids[2]);

  // A client that asks to close gets "Connection: close" and then the end.
  struct Row {
    const char* request;
  };
  const Row rows[] = {
      {"GET /a HTTP/1.0\r\nHost: img.quorvel.example\r\n\r\n"},
      {"GET /a HTTP/1.1\r\nHost: img.quorvel.example\r\nConnection: close\r\n\r\n"}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.request);
    RawClient once(port());
    ASSERT_TRUE(once.Send(row.request));
    const RawResponse r = once.ReadResponse(kWaitMs);
    EXPECT_EQ(r.body, "first");
    EXPECT_EQ(r.Header("Connection"), "close");
    EXPECT_EQ(once.ReadToEnd(kWaitMs), ReadEnd::kEof);
  }
}

TEST_F(TestShopTest, BadControlCallsAreRefusedWithAReason) {
  struct Row {
    const char* body;
    const char* reason;
  };
  const Row rows[] = {
      {"not json", "bad control request"},
      {R"([{"path": "/a", "bodyy": "x"}])", "unknown route keys: bodyy"},
      {R"([{"path": "a"}])", "path must be a string starting with /"},
      {R"([{"path": "/a", "body": "x", "body_size": 3}])", "only one of body"},
      {R"([{"path": "/a", "status": "200"}])", "status must be a non-negative integer"},
      {R"([{"path": "/a", "headers": [["A"]]}])", "headers must be a list"},
      {R"([{"path": "/a", "body_b64": "@@@"}])", "not base64"},
      {R"({"routes": 1})", "unknown route keys: routes"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.body);
    try {
      shop().AddRoutes(row.body);
      ADD_FAILURE() << "accepted";
    } catch (const std::runtime_error& e) {
      EXPECT_NE(std::string(e.what()).find(row.reason), std::string::npos) << e.what();
      EXPECT_NE(std::string(e.what()).find("400"), std::string::npos) << e.what();
    }
  }
  EXPECT_THROW(shop().Settings(R"({"delay": 5})"), std::runtime_error);
  EXPECT_THROW(shop().Control("GET", "/__shop/nothing", ""), std::runtime_error);
  // A refused list adds none of its routes.
  EXPECT_THROW(shop().AddRoutes(R"([{"path": "/ok"}, {"path": "bad"}])"), std::runtime_error);
  EXPECT_EQ(Fetch(Get("img.quorvel.example", "/ok")).status, 404);
}

TEST_F(TestShopTest, ResetForgetsRoutesLogAndSettings) {
  shop().AddRoutes(R"([{"path": "/a", "body": "a"}])");
  EXPECT_EQ(Fetch(Get("img.quorvel.example", "/a")).status, 200);
  shop().Settings(R"({"delay_all_ms": 10000})");
  shop().Reset();
  EXPECT_EQ(shop().Log(), "[]");
  RawClient c(port());
  ASSERT_TRUE(c.Send(Get("img.quorvel.example", "/a")));
  const RawResponse r = c.ReadResponse(3000);  // well inside the forgotten delay
  EXPECT_EQ(r.end, ReadEnd::kDone) << ReadEndName(r.end);
  EXPECT_EQ(r.status, 404);
}

TEST(TestShopLifetime, ShopEndsWithItsOwner) {
  int http_port = 0;
  std::string cert;
  {
    TestShop shop;
    http_port = shop.HttpPort();
    cert = shop.CertPath();
    EXPECT_NE(shop.HttpsPort(), http_port);
    ASSERT_FALSE(cert.empty());
    EXPECT_EQ(access(cert.c_str(), R_OK), 0) << cert;
    EXPECT_TRUE(RawClient(http_port).connected());
  }
  RawClient after(http_port);
  EXPECT_FALSE(after.connected());
  EXPECT_EQ(after.error(), ECONNREFUSED);
  EXPECT_NE(access(cert.c_str(), F_OK), 0) << "certificate left behind: " << cert;
}

TEST(TestShopLifetime, StartFailuresSayWhy) {
  struct Row {
    const char* python;
    const char* message;
  };
  const Row rows[] = {
      {"/nonexistent/python3", "cannot run /nonexistent/python3"},
      {"/bin/false", "exited with status 1 before it listened"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.python);
    setenv("QV_PYTHON", row.python, 1);
    try {
      TestShop shop;
      ADD_FAILURE() << "started";
    } catch (const std::runtime_error& e) {
      EXPECT_NE(std::string(e.what()).find(row.message), std::string::npos) << e.what();
    }
    unsetenv("QV_PYTHON");
  }
}

}  // namespace
}  // namespace qv::testing
