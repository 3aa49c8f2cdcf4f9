#include "web/cookies.h"

#include "core/text_ops.h"

namespace qv {
namespace {

constexpr std::string_view kSeparator = "; ";
constexpr std::string_view kDeletedSuffix = "=deleted";

int Length(std::string_view t) { return static_cast<int>(t.size()); }

// t trimmed, with a final ";" turned into a separator "; " so that
// SplitText drops the empty piece after it.
Text TrimCookieText(std::string_view t) {
  Text s = TrimBothEnds(t);
  if (TextRight(s, 1) == ";") s += ' ';
  return s;
}

// A server deletes a cookie by setting its value to "deleted".
bool IsDeletedItem(std::string_view item) {
  return TextRight(item, Length(kDeletedSuffix)) == kDeletedSuffix;
}

}  // namespace

Text MergeCookies(Text* oldCookies, std::string_view newCookies) {
  // Trim the new text before touching *oldCookies, in case it views it.
  const Text fresh = TrimCookieText(newCookies);
  const Text old = TrimCookieText(oldCookies ? std::string_view(*oldCookies) : "");
  if (oldCookies) *oldCookies = old;

  TextArray items = SplitText(fresh, kSeparator);
  for (const Text& item : SplitText(old, kSeparator)) {
    // Checked against the grown list, so only the first old item of a name
    // the response did not set gets through.
    if (!HasCookieNamed(items, CookieName(item))) items.Append(item);
  }

  Text merged;
  for (const Text& item : items) {
    if (IsDeletedItem(item)) continue;
    merged += item;
    merged += kSeparator;
  }
  merged = TextLeft(merged, Length(merged) - Length(kSeparator));
  merged = RemoveDuplicateItems(merged, kSeparator);

  if (oldCookies) *oldCookies = merged;
  return merged;
}

Text CookieName(std::string_view item) {
  const int p = FindText(item, "=");
  if (p == -1) return TrimBothEnds(item);
  return TrimBothEnds(TextLeft(item, p - 1));
}

bool HasCookieNamed(const TextArray& items, std::string_view name) {
  for (const Text& item : items) {
    if (CompareText(CookieName(item), name) == 0) return true;
  }
  return false;
}

Text RemoveDuplicateItems(std::string_view text, std::string_view separator) {
  TextArray seen;
  Text out;
  for (const Text& item : SplitText(text, separator)) {
    if (IndexOfText(seen, item) != -1) continue;
    seen.Append(item);
    out += item;
    out += separator;
  }
  return TextLeft(out, Length(out) - Length(separator));
}

int IndexOfText(const TextArray& items, std::string_view value) {
  for (int i = 1; i <= items.Count(); ++i) {
    if (CompareText(items[i], value) == 0) return i;
  }
  return -1;
}

}  // namespace qv
