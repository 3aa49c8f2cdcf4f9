#include "app/cli/printable_text.h"

#include <cstdio>

namespace qv {
namespace {

unsigned char Byte(std::string_view text, size_t i) { return static_cast<unsigned char>(text[i]); }

// The code point of the valid sequence of length n at text[at].
unsigned CodePoint(std::string_view text, size_t at, size_t n) {
  if (n == 1) return Byte(text, at);
  unsigned value = Byte(text, at) & (0x7F >> n);
  for (size_t i = 1; i < n; ++i) value = (value << 6) | (Byte(text, at + i) & 0x3F);
  return value;
}

bool IsWide(unsigned cp) {
  return (cp >= 0x1100 && cp <= 0x115F) || (cp >= 0x2E80 && cp <= 0x303E) ||
         (cp >= 0x3041 && cp <= 0x33FF) || (cp >= 0x3400 && cp <= 0x4DBF) ||
         (cp >= 0x4E00 && cp <= 0x9FFF) || (cp >= 0xA000 && cp <= 0xA4CF) ||
         (cp >= 0xAC00 && cp <= 0xD7A3) || (cp >= 0xF900 && cp <= 0xFAFF) ||
         (cp >= 0xFE30 && cp <= 0xFE4F) || (cp >= 0xFF00 && cp <= 0xFF60) ||
         (cp >= 0xFFE0 && cp <= 0xFFE6) || (cp >= 0x1F300 && cp <= 0x1F64F) ||
         (cp >= 0x20000 && cp <= 0x3FFFD);
}

// The width of the character at text[at] of length n.
int CharWidth(std::string_view text, size_t at, size_t n) {
  return IsWide(CodePoint(text, at, n)) ? 2 : 1;
}

}  // namespace

size_t Utf8SequenceLength(std::string_view text, size_t at) {
  const unsigned char lead = Byte(text, at);
  if (lead < 0x80) return 1;
  size_t n;
  if (lead >= 0xC2 && lead <= 0xDF) {
    n = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    n = 3;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    n = 4;
  } else {
    return 0;
  }
  if (at + n > text.size()) return 0;
  for (size_t i = 1; i < n; ++i) {
    if ((Byte(text, at + i) & 0xC0) != 0x80) return 0;
  }
  const unsigned value = CodePoint(text, at, n);
  if ((n == 3 && value < 0x800) || (n == 4 && value < 0x10000) || value > 0x10FFFF ||
      (value >= 0xD800 && value <= 0xDFFF)) {
    return 0;
  }
  return n;
}

std::string PrintableText(std::string_view text) {
  std::string out;
  for (size_t i = 0; i < text.size();) {
    const unsigned char c = Byte(text, i);
    const size_t n = Utf8SequenceLength(text, i);
    const bool c1Control = n == 2 && CodePoint(text, i, n) < 0xA0;
    if (c == '\\') {
      out += "\\\\";
      ++i;
    } else if (n == 0 || c < 0x20 || c == 0x7F || c1Control) {
      const size_t count = n == 0 ? 1 : n;
      for (size_t k = 0; k < count; ++k) {
        char buf[8];
        std::snprintf(buf, sizeof buf, "\\x%02X", Byte(text, i + k));
        out += buf;
      }
      i += count;
    } else {
      out.append(text.substr(i, n));
      i += n;
    }
  }
  return out;
}

int DisplayWidth(std::string_view printable) {
  int width = 0;
  for (size_t i = 0; i < printable.size();) {
    const size_t n = Utf8SequenceLength(printable, i);
    if (n == 0) {  // not a PrintableText result; count the byte
      ++width;
      ++i;
      continue;
    }
    width += CharWidth(printable, i, n);
    i += n;
  }
  return width;
}

std::string_view FitToColumns(std::string_view printable, int columns) {
  int width = 0;
  size_t i = 0;
  while (i < printable.size()) {
    const size_t n = Utf8SequenceLength(printable, i);
    const size_t step = n == 0 ? 1 : n;
    const int w = n == 0 ? 1 : CharWidth(printable, i, n);
    if (width + w > columns) break;
    width += w;
    i += step;
  }
  return printable.substr(0, i);
}

}  // namespace qv
