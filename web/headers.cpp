#include "web/headers.h"

#include "core/text_ops.h"

namespace qv {
namespace {

int Length(std::string_view t) { return static_cast<int>(t.size()); }

// name with every word between dashes passed through CapitalizeFirst. Empty
// words (leading, doubled or trailing dashes) stay empty, so the length and
// the dashes never change.
Text CapitalizeWords(std::string_view name) {
  Text out;
  int pos = 1;
  for (;;) {
    const int dash = FindText(name, "-", pos);
    const int wordLength = dash == -1 ? Length(name) - pos + 1 : dash - pos;
    out += CapitalizeFirst(TextMid(name, pos, wordLength));
    if (dash == -1) break;
    out += '-';
    pos = dash + 1;
  }
  return out;
}

}  // namespace

Text HeaderName(std::string_view line) {
  const int p = FindText(line, ":");
  if (p == -1) return {};
  return TrimBothEnds(TextLeft(line, p - 1));
}

Text HeaderValue(std::string_view line) {
  const int p = FindText(line, ":");
  if (p == -1) return {};
  return TrimBothEnds(TextRight(line, Length(line) - p));
}

Text TextBefore(std::string_view text, std::string_view separator) {
  const int p = FindText(text, separator);
  if (p == -1) return {};
  return TextLeft(text, p - 1);
}

Text CapitalizeFirst(std::string_view word) {
  return ToUpperCase(TextLeft(word, 1)) + TextMid(word, 2, Length(word));
}

Text NormalizeHeaders(std::string_view block) {
  Text out;
  for (const Text& line : SplitText(block, "\r\n")) {
    const int p = FindText(line, ":");
    if (p == -1) continue;
    out += CapitalizeWords(TextLeft(line, p - 1));
    out += TextMid(line, p, Length(line));
    out += "\r\n";
  }
  return TextLeft(out, Length(out) - 2);
}

}  // namespace qv
