// Up to five find/replace pairs applied to one text in turn.
#ifndef QV_TEXT_REPLACE_BATCH_H_
#define QV_TEXT_REPLACE_BATCH_H_

#include <optional>
#include <string_view>

#include "core/types.h"

namespace qv {

// The arguments after the text, in their order. Fill them by name:
//   ReplaceBatch(list, {.find1 = "\"", .replace1 = ""})
struct ReplaceBatchArgs {
  // At most this many replacements per pair; left out: no limit, 0: none,
  // negative: no limit.
  std::optional<int> count = std::nullopt;
  // 1-based position from which each pair looks; 0 or less counts as 1.
  int startPosition = 0;
  // false: ASCII letters match regardless of case.
  bool caseSensitive = false;
  // A pair with an empty find text does nothing.
  std::string_view find1 = {}, replace1 = {};
  std::string_view find2 = {}, replace2 = {};
  std::string_view find3 = {}, replace3 = {};
  std::string_view find4 = {}, replace4 = {};
  std::string_view find5 = {}, replace5 = {};
};

// text with each pair applied to the result of the one before.
Text ReplaceBatch(std::string_view text, const ReplaceBatchArgs& args);

}  // namespace qv

#endif  // QV_TEXT_REPLACE_BATCH_H_
