#include "text/codepage.h"

#include <algorithm>

#include "text/iconv_converter.h"

namespace qv {
namespace {

// The encoding of a code page. The ANSI code page is GBK; the program uses
// no other code page, so any other number reads as GBK too.
Encoding EncodingOf(int codePage) {
  return codePage == kCodePageUtf8 ? Encoding::kUtf8 : Encoding::kGbk;
}

}  // namespace

Text BytesToText(ByteView bytes) { return ToText(bytes); }

Bytes Utf8ToWide(std::string_view text, int codePage) {
  if (text.empty()) return {};
  const size_t room = GbkUtf16Units(text) + 1;  // units, terminator included
  const std::string units = ConvertEncoding(text, EncodingOf(codePage), Encoding::kUtf16Le);
  Bytes out(std::max(room * 2, units.size() + 2), 0);
  std::copy(units.begin(), units.end(), out.begin());
  return out;
}

Text WideToAnsi(ByteView wide, int codePage) {
  size_t units = 0;
  while (units * 2 + 1 < wide.size() && (wide[units * 2] | wide[units * 2 + 1]) != 0) ++units;
  const std::string_view in(reinterpret_cast<const char*>(wide.data()), units * 2);
  return ConvertEncoding(in, Encoding::kUtf16Le, EncodingOf(codePage));
}

Text Utf8ToAnsi(std::string_view text) { return WideToAnsi(Utf8ToWide(text), kCodePageGbk); }

std::string GbkToUtf8(std::string_view gbk) {
  return ConvertEncoding(gbk, Encoding::kGbk, Encoding::kUtf8);
}

Text Utf8ToGbk(std::string_view utf8) {
  return ConvertEncoding(utf8, Encoding::kUtf8, Encoding::kGbk);
}

}  // namespace qv
