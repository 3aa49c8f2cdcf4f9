// What the download looks for in a product's description page, and how it
// completes the addresses it finds there.
#ifndef QV_APP_WORKFLOW_DESCRIPTION_PAGE_H_
#define QV_APP_WORKFLOW_DESCRIPTION_PAGE_H_

#include <string_view>

#include "core/types.h"

namespace qv {

// CSS references: url( up to the next ) on the same line; group 1 is what
// stands between the parentheses, quotes included.
inline constexpr char kUrlPattern[] = "url\\((.*?)\\)";
// Attributes whose double quotes the page carries escaped with a backslash:
// data-lazyload=\"...\"; group 1 is the value.
inline constexpr char kLazyLoadPattern[] = "data-lazyload=\\\\\"(.*?)\\\\\"";

// address unchanged when it holds "http" anywhere (letter case counts);
// "http:" + address when it holds "//"; else "http://" + address.
Text MakeAbsoluteUrl(std::string_view address);

}  // namespace qv

#endif  // QV_APP_WORKFLOW_DESCRIPTION_PAGE_H_
