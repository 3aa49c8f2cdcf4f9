#include "core/number.h"

#include <algorithm>
#include <cstdint>
#include <limits>

namespace qv {
namespace {

// Reads one character at i as its ASCII form, folding the full-width forms;
// stores its byte length in *len.
char AsciiAt(std::string_view t, size_t i, size_t* len) {
  const auto b0 = static_cast<unsigned char>(t[i]);
  if (b0 >= 0x80 && i + 1 < t.size()) {
    *len = 2;
    const auto b1 = static_cast<unsigned char>(t[i + 1]);
    if (b0 == 0xA3 && b1 >= 0xA1 && b1 <= 0xFE) return static_cast<char>(b1 - 0x80);
    if (b0 == 0xA1 && b1 == 0xA1) return ' ';
    return '\x80';  // any other character: neither blank, sign nor digit
  }
  *len = 1;
  return static_cast<char>(b0);
}

bool IsWhite(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

}  // namespace

int ToInt(std::string_view t) {
  size_t i = 0;
  size_t len = 0;
  char c = '\0';
  while (i < t.size() && IsWhite(c = AsciiAt(t, i, &len))) i += len;
  if (i >= t.size()) return 0;
  bool negative = false;
  if (c == '+' || c == '-') {
    negative = c == '-';
    i += len;
  }
  int64_t value = 0;
  constexpr int64_t kLimit = int64_t{std::numeric_limits<int>::max()} + 1;
  while (i < t.size() && (c = AsciiAt(t, i, &len)) >= '0' && c <= '9') {
    value = std::min(kLimit, value * 10 + (c - '0'));
    i += len;
  }
  if (negative) return static_cast<int>(-value);
  return static_cast<int>(std::min(value, kLimit - 1));
}

}  // namespace qv
