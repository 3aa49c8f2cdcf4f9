#include "web/request_common.h"

#include "core/text_ops.h"
#include "text/text_between.h"
#include "web/headers.h"

namespace qv {

int ClampMethod(int method) { return method < 0 || method > 7 ? kMethodGet : method; }

void AppendDefaultHeaders(Text* headers, std::initializer_list<DefaultHeaderLine> defaults,
                          int method) {
  const auto appendMissing = [headers](const DefaultHeaderLine& d) {
    if (FindText(*headers, d.label, std::nullopt, true) == -1) *headers += Text(kCrlf) + d.line;
  };
  for (const DefaultHeaderLine& d : defaults) appendMissing(d);
  if (method == kMethodPost) {
    appendMissing({"Content-Type:", "Content-Type: application/x-www-form-urlencoded"});
  }
}

Text CollectResponseCookies(std::string_view headerBlock) {
  Text cookies;
  for (const Text& line : SplitText(headerBlock, kCrlf)) {
    if (CompareText(TextBefore(line, ": "), "Set-Cookie") != 0) continue;
    // Attributes after the first ";" (path, expiry) are dropped.
    const Text item = FindText(line, ";") != -1
                          ? TrimBothEnds(TextBetween(line, "Set-Cookie:", ";"))
                          : TrimBothEnds(ReplaceSubtext(line, "Set-Cookie:", "", std::nullopt,
                                                        std::nullopt, false));
    cookies += item;
    cookies += "; ";
  }
  if (TextRight(cookies, 2) == "; ")
    cookies = TextLeft(cookies, static_cast<int>(cookies.size()) - 2);
  return cookies;
}

}  // namespace qv
