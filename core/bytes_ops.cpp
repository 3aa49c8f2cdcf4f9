#include "core/bytes_ops.h"

#include <algorithm>
#include <cstring>

namespace qv {

bool CompareBytes(ByteView a, ByteView b) { return std::ranges::equal(a, b); }

Bytes ConcatBytes(std::initializer_list<ByteView> parts) {
  size_t total = 0;
  for (ByteView p : parts) total += p.size();
  Bytes out;
  out.reserve(total);
  for (ByteView p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

Bytes BytesLeft(ByteView b, int n) {
  if (n <= 0) return {};
  const size_t k = std::min(b.size(), static_cast<size_t>(n));
  return Bytes(b.begin(), b.begin() + static_cast<std::ptrdiff_t>(k));
}

Bytes BytesMid(ByteView b, int start, int n) {
  const size_t from = start < 1 ? 0 : static_cast<size_t>(start - 1);
  if (from >= b.size() || n <= 0) return {};
  const size_t k = std::min(b.size() - from, static_cast<size_t>(n));
  return Bytes(b.begin() + static_cast<std::ptrdiff_t>(from),
               b.begin() + static_cast<std::ptrdiff_t>(from + k));
}

Bytes BlankBytes(int n) { return n <= 0 ? Bytes() : Bytes(static_cast<size_t>(n), 0); }

Bytes ToBytes(std::string_view t) { return Bytes(t.begin(), t.end()); }

Text ToText(ByteView b) {
  const auto zero = std::ranges::find(b, std::uint8_t{0});
  return Text(reinterpret_cast<const char*>(b.data()), static_cast<size_t>(zero - b.begin()));
}

}  // namespace qv
