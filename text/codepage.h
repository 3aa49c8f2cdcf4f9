// Code-page conversions between UTF-8, UTF-16 and GBK text.
//
// Code pages are Windows numbers: 0 is the system's ANSI code page, which is
// GBK (936) here, always; 65001 is UTF-8. UTF-16 travels in Bytes as
// little-endian units ended by a zero unit. Invalid input becomes U+FFFD and
// a character that the target cannot hold becomes the target's replacement
// ("?" in GBK). Nothing here fails: an empty input gives an empty result.
#ifndef QV_TEXT_CODEPAGE_H_
#define QV_TEXT_CODEPAGE_H_

#include <string>
#include <string_view>

#include "core/bytes_ops.h"
#include "core/types.h"

namespace qv {

inline constexpr int kCodePageAnsi = 0;
inline constexpr int kCodePageGbk = 936;
inline constexpr int kCodePageUtf8 = 65001;

// The bytes of `bytes` up to its first zero byte, or all of them.
Text BytesToText(ByteView bytes);

// `text` read in codePage (UTF-8 when left out) as UTF-16. The result is
// 2n bytes, where n is the number of units, terminator included, that `text`
// has when read as GBK; units that the conversion does not fill stay zero.
// When the conversion needs more room than that (invalid UTF-8), the result
// is all of its units and one zero unit. Empty text gives empty Bytes.
Bytes Utf8ToWide(std::string_view text, int codePage = kCodePageUtf8);

// The UTF-16 units of `wide` up to its first zero unit, written in codePage
// (GBK when left out).
Text WideToAnsi(ByteView wide, int codePage = kCodePageAnsi);

// UTF-8 text as GBK text.
Text Utf8ToAnsi(std::string_view text);

// Direct conversions for the layers that hand text to UTF-8 libraries and
// the file system.
std::string GbkToUtf8(std::string_view gbk);
Text Utf8ToGbk(std::string_view utf8);

}  // namespace qv

#endif  // QV_TEXT_CODEPAGE_H_
