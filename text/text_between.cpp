#include "text/text_between.h"

#include "core/text_ops.h"

namespace qv {

Text TextBetween(std::string_view text, std::string_view startMarker, std::string_view endMarker,
                 int startPosition, bool ignoreCase) {
  const Text s =
      ReplaceSubtext(startMarker, kQuotePlaceholder, "\"", std::nullopt, std::nullopt, true);
  const Text e =
      ReplaceSubtext(endMarker, kQuotePlaceholder, "\"", std::nullopt, std::nullopt, true);
  const int p = FindText(text, s, startPosition, ignoreCase);
  if (p == -1) return {};
  const int a = p + static_cast<int>(s.size());
  const int q = FindText(text, e, a, ignoreCase);
  if (q == -1) return {};
  return TextMid(text, a, q - a);
}

}  // namespace qv
