#include "core/text_ops.h"

#include <algorithm>
#include <cstdint>

#include "core/gbk_walk.h"

namespace qv {
namespace {

constexpr size_t npos = std::string_view::npos;

bool IsBlankAt(std::string_view t, size_t i, size_t* len) {
  if (t[i] == ' ') {
    *len = 1;
    return true;
  }
  if (t[i] == '\xA1' && i + 1 < t.size() && t[i + 1] == '\xA1') {
    *len = 2;
    return true;
  }
  *len = gbk::CharLength(t, i);
  return false;
}

// Offset of the first byte that position `start` names, or npos when the
// window it opens is empty. Left out or <= 0 means the start of t.
size_t WindowStart(std::string_view t, std::optional<int> start) {
  const int64_t offset = start ? std::max<int64_t>(0, int64_t{*start} - 1) : 0;
  return offset >= static_cast<int64_t>(t.size()) ? npos : static_cast<size_t>(offset);
}

template <typename Fold>
Text MapAsciiLetters(std::string_view t, Fold fold) {
  Text out(t);
  for (size_t i = 0; i < out.size(); i += gbk::CharLength(out, i)) {
    out[i] = fold(out[i]);
  }
  return out;
}

}  // namespace

int CompareText(std::string_view a, std::string_view b) {
  const int r = a.compare(b);  // char_traits<char> compares as unsigned char
  return r < 0 ? -1 : (r > 0 ? 1 : 0);
}

Text TextLeft(std::string_view t, int n) {
  if (n <= 0) return {};
  return Text(t.substr(0, static_cast<size_t>(n)));
}

Text TextRight(std::string_view t, int n) {
  if (n <= 0) return {};
  const size_t k = std::min(t.size(), static_cast<size_t>(n));
  return Text(t.substr(t.size() - k));
}

Text TextMid(std::string_view t, int start, int n) {
  if (start < 1 || static_cast<size_t>(start) > t.size() || n <= 0) return {};
  return Text(t.substr(static_cast<size_t>(start - 1), static_cast<size_t>(n)));
}

int FindText(std::string_view t, std::string_view sub, std::optional<int> start, bool ignoreCase) {
  const size_t from = WindowStart(t, start);
  if (from == npos) return -1;
  if (sub.empty()) return 1;
  const std::string_view window = t.substr(from);
  const size_t hit = gbk::FindAtBoundary(window, 0, sub, ignoreCase);
  return hit == npos ? -1 : static_cast<int>(from + hit + 1);
}

int FindTextReverse(std::string_view t, std::string_view sub, std::optional<int> start,
                    bool ignoreCase) {
  std::string_view window = t;
  if (start) {
    if (*start <= 1) return -1;
    window = t.substr(0, static_cast<size_t>(*start - 1));
  }
  if (window.empty()) return -1;
  if (sub.empty()) return 1;
  size_t last = npos;
  for (size_t from = 0;;) {
    const size_t hit = gbk::FindAtBoundary(window, from, sub, ignoreCase);
    if (hit == npos) break;
    last = hit;
    from = hit + gbk::CharLength(window, hit);
  }
  return last == npos ? -1 : static_cast<int>(last + 1);
}

Text ReplaceSubtext(std::string_view t, std::string_view find, std::string_view replacement,
                    std::optional<int> start, std::optional<int> count, bool caseSensitive) {
  const size_t offset = WindowStart(t, start);
  const bool unlimited = !count || *count < 0;
  if (t.empty() || find.empty() || offset == npos || (!unlimited && *count == 0)) {
    return Text(t);
  }
  const std::string_view window = t.substr(offset);
  Text out(t.substr(0, offset));
  out.reserve(t.size());
  size_t pos = 0;
  for (int done = 0; unlimited || done < *count; ++done) {
    const size_t hit = gbk::FindAtBoundary(window, pos, find, !caseSensitive);
    if (hit == npos) break;
    out.append(window.substr(pos, hit - pos)).append(replacement);
    pos = hit + find.size();
  }
  out.append(window.substr(pos));
  return out;
}

TextArray SplitText(std::string_view t, std::string_view separator, std::optional<int> maxCount) {
  TextArray out;
  const int limit = maxCount ? std::max(0, *maxCount) : -1;  // -1: no limit
  if (t.empty() || limit == 0) return out;
  if (separator.empty()) {
    out.Append(Text(t));
    return out;
  }
  // Room for every piece at once: each one ends at a byte equal to the
  // separator's first, so their count bounds the pieces.
  const auto bound = std::count(t.begin(), t.end(), separator.front()) + 1;
  out.Reserve(static_cast<int>(limit < 0 ? bound : std::min<int64_t>(bound, limit)));
  size_t pos = 0;
  for (;;) {
    const size_t hit = gbk::FindAtBoundary(t, pos, separator, false);
    if (hit == npos) break;
    out.Append(Text(t.substr(pos, hit - pos)));
    pos = hit + separator.size();
    if (out.Count() == limit) return out;
  }
  if (pos < t.size()) out.Append(Text(t.substr(pos)));
  return out;
}

Text TrimBothEnds(std::string_view t) {
  size_t begin = 0;
  size_t len = 0;
  while (begin < t.size() && IsBlankAt(t, begin, &len)) begin += len;
  size_t end = t.size();
  bool inRun = false;
  for (size_t i = begin; i < t.size(); i += len) {
    if (IsBlankAt(t, i, &len)) {
      if (!inRun) end = i;
      inRun = true;
    } else {
      inRun = false;
    }
  }
  if (!inRun) end = t.size();
  return Text(t.substr(begin, end - begin));
}

Text ToUpperCase(std::string_view t) {
  return MapAsciiLetters(t, [](char c) { return (c >= 'a' && c <= 'z') ? char(c - 32) : c; });
}

Text ToLowerCase(std::string_view t) {
  return MapAsciiLetters(t, [](char c) { return (c >= 'A' && c <= 'Z') ? char(c + 32) : c; });
}

int CharCode(std::string_view t, int pos) {
  if (pos < 1 || static_cast<size_t>(pos) > t.size()) return 0;
  return static_cast<signed char>(t[static_cast<size_t>(pos - 1)]);
}

Text CharFromCode(int code) {
  const char c = static_cast<char>(code & 0xFF);
  return c == '\0' ? Text() : Text(1, c);
}

Text BlankText(int n) { return n < 1 ? Text() : Text(static_cast<size_t>(n), ' '); }

Text AddressToText(const char* address) { return address ? Text(address) : Text(); }

}  // namespace qv
