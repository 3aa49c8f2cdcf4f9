#include "core/gbk_walk.h"

namespace qv::gbk {
namespace {

inline unsigned char FoldAscii(unsigned char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c + ('a' - 'A')) : c;
}

// First offset >= from where needle matches with ASCII letters folded.
size_t FindFolded(std::string_view hay, size_t from, std::string_view needle) {
  const auto* h = reinterpret_cast<const unsigned char*>(hay.data());
  const auto* n = reinterpret_cast<const unsigned char*>(needle.data());
  const size_t m = needle.size();
  if (hay.size() < m) return std::string_view::npos;
  const unsigned char first = FoldAscii(n[0]);
  for (size_t i = from, last = hay.size() - m; i <= last; ++i) {
    if (FoldAscii(h[i]) != first) continue;
    size_t k = 1;
    while (k < m && FoldAscii(h[i + k]) == FoldAscii(n[k])) ++k;
    if (k == m) return i;
  }
  return std::string_view::npos;
}

}  // namespace

size_t FindAtBoundary(std::string_view hay, size_t from, std::string_view needle, bool ignoreCase) {
  size_t boundary = from;  // a known character boundary, never moves back
  while (boundary < hay.size()) {
    const size_t c = ignoreCase ? FindFolded(hay, boundary, needle) : hay.find(needle, boundary);
    if (c == std::string_view::npos) return c;
    size_t run = 0;  // high bytes right before c, back to the known boundary
    while (c - run > boundary && IsLeadByte(hay[c - run - 1])) ++run;
    if (run % 2 == 0) return c;
    boundary = c + 1;  // c is a second byte, so the next character starts after it
  }
  return std::string_view::npos;
}

}  // namespace qv::gbk
