#include "web/url_parts.h"

#include <gtest/gtest.h>

#include <string>

namespace qv {
namespace {

struct UrlCase {
  std::string url;
  std::string host;
  std::string hostWithPort;
  int port;
  std::string path;
};

TEST(UrlPartsTest, SplitsHostPortAndPath) {
  const UrlCase cases[] = {
      {"http://a.b/c/d?x=1", "a.b", "a.b", 80, "/c/d?x=1"},
      {"https://a.b", "a.b", "a.b", 443, "/"},
      {"HTTP://A.B/X", "a.b", "a.b", 80, "/X"},
      {"HTTPS://A.B/P", "a.b", "a.b", 443, "/P"},
      {"https://a.b:8443/x", "a.b", "a.b:8443", 8443, "/x"},
      {"https://a.b:8443", "a.b", "a.b:8443", 8443, "/"},
      {"a.b:81/c", "a.b", "a.b:81", 81, "/c"},
      {"a.b", "a.b", "a.b", 80, "/"},
      {"http://a.b?x=1", "a.b?x=1", "a.b?x=1", 80, "/"},
      {"http://a.b:/c", "a.b", "a.b:", 0, "/c"},
      {"http://a.b:x/", "a.b", "a.b:x", 0, "/"},
      {"http://a.b:99999/", "a.b", "a.b:99999", 99999, "/"},
      {"", "", "", 80, "/"},
      {"/", "", "", 80, "/"},
      {"http://Host.COM/Path/File.JPG", "host.com", "host.com", 80, "/Path/File.JPG"},
      // Credentials are not recognised: the host stops at the first ':' and
      // the port follows the last one.
      {"http://user:pw@h.com:8080/p", "user", "user:pw@h.com:8080", 8080, "/p"},
      // "http://" is found wherever it stands.
      {"see http://a.b/c", "a.b", "a.b", 80, "/c"},
      // Another scheme is read as a host after an implied "http://".
      {"ftp://x.y/z", "ftp", "ftp:", 0, "//x.y/z"},
      // The host is looked for from the start of the address, scheme included.
      {"http://http/x", "http", "http", 80, "//http/x"},
      // A bare "https" counts as the host, and its first letters as the scheme.
      {"https", "https", "https", 443, "/"},
      // GBK: a '/' or ':' that is a second byte ends nothing, and the second
      // byte 'A' of 0xC4 0x41 is not lower-cased.
      {"http://\x81/x/y", "\x81/x", "\x81/x", 80, "/y"},
      {"http://\x81:8/p", "\x81:8", "\x81:8", 80, "/p"},
      {"http://\xC4\x41.cn/", "\xC4\x41.cn", "\xC4\x41.cn", 80, "/"},
  };
  for (const UrlCase& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.url));
    EXPECT_EQ(UrlHost(c.url), c.host);
    EXPECT_EQ(UrlHost(c.url, false), c.host);
    EXPECT_EQ(UrlHost(c.url, true), c.hostWithPort);
    EXPECT_EQ(UrlPort(c.url), c.port);
    EXPECT_EQ(UrlPath(c.url), c.path);
  }
}

}  // namespace
}  // namespace qv
