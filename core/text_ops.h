// Slicing, searching, replacing and splitting GBK text.
//
// Positions are 1-based byte positions; a search that finds nothing gives -1.
// Lengths and counts are byte counts. Out-of-range arguments are clamped as
// each function says; nothing here fails or throws. Searching, replacing and
// splitting walk the text by GBK character (see gbk_walk.h), so no match
// starts on the second byte of a two-byte character. Case folding, where
// asked for, touches the ASCII letters only.
#ifndef QV_CORE_TEXT_OPS_H_
#define QV_CORE_TEXT_OPS_H_

#include <optional>
#include <string_view>

#include "core/types.h"

namespace qv {

// -1, 0 or 1 by unsigned byte-wise comparison.
int CompareText(std::string_view a, std::string_view b);

// The first n bytes; n <= 0 gives empty, n past the end the whole text.
Text TextLeft(std::string_view t, int n);
// The last n bytes, clamped like TextLeft.
Text TextRight(std::string_view t, int n);
// n bytes from position start. Empty when start < 1, start > length or
// n <= 0; a count past the end stops at the end.
Text TextMid(std::string_view t, int start, int n);

// Position of the first sub at or after position start. A start left out,
// or of 0 or less, searches the whole text; a start behind the text finds
// nothing. An empty sub gives 1 when the searched window is not empty.
int FindText(std::string_view t, std::string_view sub, std::optional<int> start = std::nullopt,
             bool ignoreCase = false);

// Position of the last sub that ends before position start (the whole text
// when start is left out; nothing when start <= 1).
int FindTextReverse(std::string_view t, std::string_view sub,
                    std::optional<int> start = std::nullopt, bool ignoreCase = false);

// t with occurrences of find replaced, looking from position start on, at
// most count times (left out or negative: no limit). Replacements never
// overlap and replaced text is not searched again.
Text ReplaceSubtext(std::string_view t, std::string_view find, std::string_view replacement = {},
                    std::optional<int> start = std::nullopt,
                    std::optional<int> count = std::nullopt, bool caseSensitive = true);

// The pieces of t between separators. Empty pieces are kept except one after
// the last separator. An empty t, or maxCount 0 (a negative one counts as 0),
// gives no pieces; an empty separator gives t whole. Splitting stops after
// maxCount pieces and drops the rest.
TextArray SplitText(std::string_view t, std::string_view separator = ",",
                    std::optional<int> maxCount = std::nullopt);

// t without leading and trailing blanks: 0x20 and the full-width A1 A1 only.
Text TrimBothEnds(std::string_view t);

// t with ASCII a-z upper-cased (or A-Z lower-cased); two-byte characters
// are left whole.
Text ToUpperCase(std::string_view t);
Text ToLowerCase(std::string_view t);

// The byte at pos as a signed value (-128..127); 0 when pos is outside t.
int CharCode(std::string_view t, int pos = 1);
// A one-byte text of code's low 8 bits; empty when those bits are 0.
Text CharFromCode(int code);
// n blanks; empty when n < 1.
Text BlankText(int n);
// A copy of the zero-terminated string at address; empty for null.
Text AddressToText(const char* address);

}  // namespace qv

#endif  // QV_CORE_TEXT_OPS_H_
