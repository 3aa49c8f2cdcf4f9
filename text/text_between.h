// Cutting a field out of text between two markers.
#ifndef QV_TEXT_TEXT_BETWEEN_H_
#define QV_TEXT_TEXT_BETWEEN_H_

#include <string_view>

#include "core/types.h"

namespace qv {

// "#引号" in GBK. Markers write it where they mean a double quote.
inline constexpr std::string_view kQuotePlaceholder = "#\xD2\xFD\xBA\xC5";

// The text between the first startMarker at or after startPosition (0 or
// less: the beginning) and the first endMarker after it, or empty when either
// is missing. Every kQuotePlaceholder in the markers stands for a double
// quote; the searched text is taken as it is.
Text TextBetween(std::string_view text, std::string_view startMarker, std::string_view endMarker,
                 int startPosition = 0, bool ignoreCase = false);

}  // namespace qv

#endif  // QV_TEXT_TEXT_BETWEEN_H_
