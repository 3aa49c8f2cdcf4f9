// Counted byte buffers and their conversions to and from Text.
//
// Positions are 1-based; arguments out of range are clamped, never fatal.
#ifndef QV_CORE_BYTES_OPS_H_
#define QV_CORE_BYTES_OPS_H_

#include <cstdint>
#include <initializer_list>
#include <span>
#include <string_view>

#include "core/types.h"

namespace qv {

using ByteView = std::span<const std::uint8_t>;

// True when both have the same length and bytes; two empty buffers are equal.
bool CompareBytes(ByteView a, ByteView b);
// The buffers joined in order.
Bytes ConcatBytes(std::initializer_list<ByteView> parts);
// The first n bytes; n <= 0 gives empty, n past the end the whole buffer.
Bytes BytesLeft(ByteView b, int n);
// n bytes from position start (start < 1 counts as 1). Empty when start is
// past the end or n <= 0; a count past the end stops at the end.
Bytes BytesMid(ByteView b, int start, int n);
// n zero bytes; empty when n <= 0.
Bytes BlankBytes(int n);

// The bytes of t.
Bytes ToBytes(std::string_view t);
// The bytes of b up to its first zero byte, or all of them.
Text ToText(ByteView b);

// A view of a Text's bytes, for the functions above.
inline ByteView AsBytes(std::string_view t) {
  return {reinterpret_cast<const std::uint8_t*>(t.data()), t.size()};
}

}  // namespace qv

#endif  // QV_CORE_BYTES_OPS_H_
