// Header-line helpers for the two HTTP request routines.
//
// A header line is "name: value"; a header block is such lines joined by
// CRLF. Colons, dashes and separators are found with the GBK-aware search of
// core/text_ops.h, so a ":" or "-" that is the second byte of a two-byte
// character never splits anything. Trimming removes blanks only (not tabs,
// CR or LF). None of these fails: input without the expected separator gives
// an empty text, as each function says.
#ifndef QV_WEB_HEADERS_H_
#define QV_WEB_HEADERS_H_

#include <string_view>

#include "core/types.h"

namespace qv {

// The trimmed text before the first ":" of line; empty when there is none.
Text HeaderName(std::string_view line);

// The trimmed text after the first ":" of line (later colons stay in it);
// empty when there is none.
Text HeaderValue(std::string_view line);

// The text before the first separator in text, untrimmed; empty when the
// separator does not occur or occurs at the very start.
Text TextBefore(std::string_view text, std::string_view separator);

// word with its first byte upper-cased when it is an ASCII a..z.
Text CapitalizeFirst(std::string_view word);

// The lines of block (split at CRLF) that hold a ":", in order, each with the
// first byte of every dash-separated word of its name upper-cased, joined by
// CRLF without one at the end. Everything from the first ":" on is kept byte
// for byte; lines without a ":" are dropped.
Text NormalizeHeaders(std::string_view block);

}  // namespace qv

#endif  // QV_WEB_HEADERS_H_
