// Carrying one cookie text from request to request.
//
// A cookie text is a list of items, normally name=value, separated by "; ".
// Items are split with the GBK-aware SplitText of core/text_ops.h and compared
// byte for byte (names are case-sensitive). Nothing here fails: empty input
// gives an empty result.
#ifndef QV_WEB_COOKIES_H_
#define QV_WEB_COOKIES_H_

#include <string_view>

#include "core/types.h"

namespace qv {

// The cookies that a response set (newCookies) merged over the ones the
// request sent (*oldCookies): the new items first, in their order, then the
// old items whose name the new list does not hold yet, in their order; items
// ending in "=deleted" are dropped and exact repeats removed. *oldCookies is
// trimmed first and left holding the result. A null oldCookies counts as an
// empty text and is not written.
Text MergeCookies(Text* oldCookies, std::string_view newCookies);

// The trimmed text before the item's first "=", or the whole trimmed item
// when it has none.
Text CookieName(std::string_view item);

// True when the CookieName of some element equals name exactly.
bool HasCookieNamed(const TextArray& items, std::string_view name);

// text split at separator with every item that equals an earlier one
// removed, joined again with separator.
Text RemoveDuplicateItems(std::string_view text, std::string_view separator);

// 1-based index of the first element equal to value, or -1.
int IndexOfText(const TextArray& items, std::string_view value);

}  // namespace qv

#endif  // QV_WEB_COOKIES_H_
