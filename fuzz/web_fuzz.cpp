// libFuzzer target for the header, cookie, Base64 and address helpers.
//
// The input is cut at its zero bytes: the first piece is a header block, a
// header line, an address and the old cookie text; the second piece (after
// the first zero byte) is the new cookie text. Base64 gets the raw input,
// zero bytes included. Every routine must return, and the properties below
// must hold for any input.
#include <openssl/evp.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <string_view>

#include "core/bytes_ops.h"
#include "core/text_ops.h"
#include "web/base64.h"
#include "web/cookies.h"
#include "web/headers.h"
#include "web/url_parts.h"

namespace {

#define FUZZ_CHECK(cond)                                                            \
  do {                                                                              \
    if (!(cond)) {                                                                  \
      std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #cond); \
      std::abort();                                                                 \
    }                                                                               \
  } while (0)

bool StartsWith(std::string_view t, std::string_view prefix) {
  return t.substr(0, prefix.size()) == prefix;
}
bool EndsWith(std::string_view t, std::string_view suffix) {
  return t.size() >= suffix.size() && t.substr(t.size() - suffix.size()) == suffix;
}
int Length(std::string_view t) { return static_cast<int>(t.size()); }

void CheckHeaders(const qv::Text& t) {
  const qv::Text out = qv::NormalizeHeaders(t);
  FUZZ_CHECK(out.size() <= t.size());
  // No CRLF separator at the end (one inside a two-byte character may be).
  FUZZ_CHECK(out.empty() || qv::FindTextReverse(out, "\r\n") != Length(out) - 1);
  FUZZ_CHECK(qv::NormalizeHeaders(out) == out);
  for (const qv::Text& line : qv::SplitText(out, "\r\n")) {
    FUZZ_CHECK(qv::FindText(line, ":") != -1);
  }

  const qv::Text name = qv::HeaderName(t);
  const qv::Text value = qv::HeaderValue(t);
  if (qv::FindText(t, ":") == -1) {
    FUZZ_CHECK(name.empty() && value.empty());
  } else {
    FUZZ_CHECK(name.size() + value.size() + 1 <= t.size());
    FUZZ_CHECK(qv::FindText(name, ":") == -1);
    FUZZ_CHECK(qv::TrimBothEnds(name) == name);
    FUZZ_CHECK(qv::TrimBothEnds(value) == value);
  }

  const qv::Text before = qv::TextBefore(t, ": ");
  FUZZ_CHECK(StartsWith(t, before));
  FUZZ_CHECK(qv::FindText(before, ": ") == -1);

  const qv::Text cap = qv::CapitalizeFirst(t);
  FUZZ_CHECK(cap.size() == t.size());
  FUZZ_CHECK(t.empty() || cap.substr(1) == t.substr(1));
}

void CheckCookies(const qv::Text& oldText, const qv::Text& newText) {
  qv::Text jar = oldText;
  const qv::Text merged = qv::MergeCookies(&jar, newText);
  FUZZ_CHECK(jar == merged);
  // Items are distinct and none is deleted. (Running RemoveDuplicateItems
  // again need not give the same text: an empty last item is dropped when
  // the result ends in "; ".)
  std::set<qv::Text> seen;
  for (const qv::Text& item : qv::SplitText(merged, "; ")) {
    FUZZ_CHECK(seen.insert(item).second);
    FUZZ_CHECK(!EndsWith(item, "=deleted"));
  }
}

void CheckUrl(const qv::Text& url) {
  const qv::Text host = qv::UrlHost(url);
  const qv::Text hostWithPort = qv::UrlHost(url, true);
  const int port = qv::UrlPort(url);
  const qv::Text path = qv::UrlPath(url);
  FUZZ_CHECK(StartsWith(path, "/"));
  FUZZ_CHECK(path == "/" || EndsWith(url, path));
  FUZZ_CHECK(StartsWith(hostWithPort, host));
  FUZZ_CHECK(qv::FindText(host, ":") == -1);
  FUZZ_CHECK(qv::FindText(hostWithPort, "/") == -1);
  FUZZ_CHECK(qv::ToLowerCase(hostWithPort) == hostWithPort);
  if (qv::FindText(hostWithPort, ":") == -1) FUZZ_CHECK(port == 80 || port == 443);
}

void CheckBase64(qv::ByteView bytes) {
  const qv::Text text = qv::Base64Encode(bytes);
  FUZZ_CHECK(text.size() == (bytes.size() + 2) / 3 * 4);
  FUZZ_CHECK(text.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"
                                    "0123456789+/=") == qv::Text::npos);
  qv::Bytes decoded(text.size() / 4 * 3 + 1);
  const int n = EVP_DecodeBlock(decoded.data(), reinterpret_cast<const unsigned char*>(text.data()),
                                Length(text));
  FUZZ_CHECK(n >= 0 && static_cast<size_t>(n) >= bytes.size());
  FUZZ_CHECK(qv::CompareBytes(qv::BytesLeft(decoded, static_cast<int>(bytes.size())), bytes));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view raw(reinterpret_cast<const char*>(data), size);
  const size_t zero = raw.find('\0');
  const qv::Text first(raw.substr(0, zero));
  const qv::Text second =
      zero == std::string_view::npos ? qv::Text() : qv::ToText(qv::AsBytes(raw.substr(zero + 1)));

  CheckHeaders(first);
  CheckCookies(first, second);
  CheckUrl(first);
  CheckBase64(qv::AsBytes(raw));
  return 0;
}
