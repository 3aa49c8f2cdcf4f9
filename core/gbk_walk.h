// Character-boundary search over GBK text.
//
// A byte of 0x80 or above starts a two-byte character that takes the byte
// after it, whatever that byte is; every other byte is a character of its own.
// A match may start only on a character boundary, so a search never lands on
// the second byte of a two-byte character.
//
// Because a byte below 0x80 always ends a character, whether position c is a
// boundary follows from the run of high bytes just before it: an even run
// means a boundary. The searches below check each candidate that way, going
// back no further than the last boundary they know, so they stay linear.
#ifndef QV_CORE_GBK_WALK_H_
#define QV_CORE_GBK_WALK_H_

#include <cstddef>
#include <string_view>

namespace qv::gbk {

inline bool IsLeadByte(char c) { return static_cast<unsigned char>(c) >= 0x80; }

// Length of the character that starts at i (1 or 2; 1 for a lead byte that
// ends the text).
inline size_t CharLength(std::string_view s, size_t i) {
  return IsLeadByte(s[i]) && i + 1 < s.size() ? 2 : 1;
}

// Offset of the first match of needle in hay at or after `from` that starts on
// a character boundary, counting boundaries from `from` (which must be one).
// npos when there is none. `needle` must not be empty.
size_t FindAtBoundary(std::string_view hay, size_t from, std::string_view needle, bool ignoreCase);

}  // namespace qv::gbk

#endif  // QV_CORE_GBK_WALK_H_
