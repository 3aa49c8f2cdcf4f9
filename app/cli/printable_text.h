// UTF-8 text as it may go to a terminal: validity, escaping, width.
//
// Texts that come from the command line or from the shop (addresses, file
// names) may hold control bytes or invalid UTF-8; what the program prints
// of them passes through PrintableText so it cannot move the cursor or
// switch the terminal's modes.
#ifndef QV_APP_CLI_PRINTABLE_TEXT_H_
#define QV_APP_CLI_PRINTABLE_TEXT_H_

#include <cstddef>
#include <string>
#include <string_view>

namespace qv {

// The length of the valid UTF-8 sequence starting at text[at], or 0 when
// none starts there (overlong forms, surrogates, values above U+10FFFF and
// cut-off sequences included). REQUIRES: at < text.size().
size_t Utf8SequenceLength(std::string_view text, size_t at);

// text with every byte that is not part of a printable character as a
// \xNN escape: C0 controls, DEL, the C1 controls U+0080..U+009F and bytes of
// invalid UTF-8. A backslash becomes "\\", so the result reads back
// unambiguously.
std::string PrintableText(std::string_view text);

// Terminal columns of a text PrintableText returned: one per character, two
// for the wide ones (CJK, Hangul, full-width forms).
int DisplayWidth(std::string_view printable);

// The longest start of a PrintableText result that fits in columns, cut at
// a character boundary.
std::string_view FitToColumns(std::string_view printable, int columns);

}  // namespace qv

#endif  // QV_APP_CLI_PRINTABLE_TEXT_H_
