#include "fileio/path.h"

#include <errno.h>

#include <algorithm>
#include <climits>
#include <vector>

#include "text/codepage.h"

namespace qv {
namespace {

bool IsRefused(unsigned char c) {
  return (c >= 1 && c <= 31) || c == '"' || c == '<' || c == '>' || c == '|';
}

bool IsWildcard(char c) { return c == '*' || c == '?'; }

// The characters of a UTF-8 text, one code point each; an invalid byte is a
// character of its own (kept as 0x110000 + byte, outside Unicode).
std::vector<char32_t> CodePoints(std::string_view s) {
  std::vector<char32_t> out;
  out.reserve(s.size());
  size_t i = 0;
  while (i < s.size()) {
    const auto at = [&](size_t k) { return static_cast<unsigned char>(s[k]); };
    const unsigned char c = at(i);
    size_t n = 0;
    char32_t cp = 0;
    if (c < 0x80)
      n = 1, cp = c;
    else if (c >= 0xC2 && c <= 0xDF)
      n = 2, cp = c & 0x1F;
    else if (c >= 0xE0 && c <= 0xEF)
      n = 3, cp = c & 0x0F;
    else if (c >= 0xF0 && c <= 0xF4)
      n = 4, cp = c & 0x07;
    bool ok = n > 0 && i + n <= s.size();
    for (size_t k = 1; ok && k < n; ++k) {
      ok = (at(i + k) & 0xC0) == 0x80;
      cp = (cp << 6) | (at(i + k) & 0x3F);
    }
    if (ok) {
      out.push_back(cp);
      i += n;
    } else {
      out.push_back(0x110000 + c);
      ++i;
    }
  }
  return out;
}

}  // namespace

std::string PathToUtf8(std::string_view path) {
  std::string out = GbkToUtf8(path);
  // Safe on UTF-8: no byte of a multi-byte character is below 0x80.
  std::replace(out.begin(), out.end(), '\\', '/');
  return out;
}

Text PathFromUtf8(std::string_view native) {
  std::string utf8(native);
  std::replace(utf8.begin(), utf8.end(), '/', '\\');
  return Utf8ToGbk(utf8);
}

FsStatus CheckNativePath(std::string_view native, Wildcards wildcards) {
  if (native.empty()) return -ENOENT;
  if (native.size() >= PATH_MAX) return -ENAMETOOLONG;
  const size_t lastSlash = native.rfind('/');
  const size_t lastName = lastSlash == std::string_view::npos ? 0 : lastSlash + 1;
  size_t nameStart = 0;
  for (size_t i = 0; i <= native.size(); ++i) {
    if (i == native.size() || native[i] == '/') {
      if (i - nameStart > NAME_MAX) return -ENAMETOOLONG;
      nameStart = i + 1;
      continue;
    }
    const char c = native[i];
    if (c == '\0' || IsRefused(static_cast<unsigned char>(c))) return -EINVAL;
    if (IsWildcard(c) && (wildcards == Wildcards::kRefused || i < lastName)) return -EINVAL;
  }
  return kFsOk;
}

FsStatus ToNativePath(std::string_view path, std::string* native, Wildcards wildcards) {
  std::string converted = PathToUtf8(path);
  const FsStatus status = CheckNativePath(converted, wildcards);
  if (status != kFsOk) return status;
  *native = std::move(converted);
  return kFsOk;
}

bool MatchesWildcard(std::string_view pattern, std::string_view name) {
  const std::vector<char32_t> p = CodePoints(pattern);
  const std::vector<char32_t> n = CodePoints(name);
  // Greedy walk that goes back only to the last '*': O(|p| * |n|) at worst.
  size_t pi = 0, ni = 0;
  size_t star = std::string_view::npos, resume = 0;
  while (ni < n.size()) {
    if (pi < p.size() && p[pi] == U'*') {
      star = pi++;
      resume = ni;
    } else if (pi < p.size() && (p[pi] == U'?' || p[pi] == n[ni])) {
      ++pi;
      ++ni;
    } else if (star != std::string_view::npos) {
      pi = star + 1;
      ni = ++resume;
    } else {
      return false;
    }
  }
  while (pi < p.size() && p[pi] == U'*') ++pi;
  return pi == p.size();
}

}  // namespace qv
