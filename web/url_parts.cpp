#include "web/url_parts.h"

#include "core/number.h"
#include "core/text_ops.h"
#include "text/text_between.h"

namespace qv {
namespace {

int Length(std::string_view t) { return static_cast<int>(t.size()); }

}  // namespace

Text UrlHost(std::string_view url, bool keepPort) {
  Text s = ToLowerCase(url);
  // A final "/" guarantees that the host is always followed by one.
  if (TextRight(s, 1) != "/") s += '/';
  if (TextLeft(s, 8) == "https://") {
    s = TextBetween(s, "https://", "/");
  } else {
    if (FindText(s, "http://") == -1) s = "http://" + s;
    s = TextBetween(s, "http://", "/");
  }
  if (!keepPort) {
    const int p = FindText(s, ":");
    if (p != -1) s = TextLeft(s, p - 1);
  }
  return s;
}

int UrlPort(std::string_view url) {
  const Text host = UrlHost(url, true);
  const int p = FindTextReverse(host, ":");
  if (p != -1) return ToInt(TextRight(host, Length(host) - p));
  return TextLeft(ToLowerCase(url), 5) == "https" ? 443 : 80;
}

Text UrlPath(std::string_view url) {
  const Text host = UrlHost(url);
  const int a = FindText(url, host, 1, true);
  const int b = FindText(url, "/", a, true);
  if (b <= 0) return "/";
  return TextRight(url, Length(url) - b + 1);
}

}  // namespace qv
