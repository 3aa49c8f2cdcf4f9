// The three fields the download takes from a product page.
//
// The page is GBK text (the UTF-8 body already converted). Every field that
// is missing comes back empty; nothing here fails. Runs its patterns on
// PageRegex (regex/page_regex.h), which must exist.
#ifndef QV_APP_WORKFLOW_PRODUCT_PAGE_H_
#define QV_APP_WORKFLOW_PRODUCT_PAGE_H_

#include <string_view>

#include "core/types.h"

namespace qv {

// Keeps one character of a name: an ASCII letter, digit or '_', or a CJK
// ideograph U+4E00..U+9FA5.
inline constexpr char kNameCharPattern[] = "([a-zA-Z0-9_\\u4e00-\\u9fa5])";

struct ProductPage {
  // "http:" followed by the text between "desc: '" and the next "'".
  Text descriptionAddress;
  // The text between "name: '" and the next "'", cleaned (CleanProductName).
  Text productName;
  // The main-picture list, double quotes removed, split at ",": the
  // overAllPath form when the page has it, else the imageList form.
  TextArray pictureItems;
};

ProductPage ReadProductPage(std::string_view pageText);

// rawName with every character other than those of kNameCharPattern removed,
// order kept. Only such characters can come back (one GBK byte from
// [A-Za-z0-9_] or one valid two-byte GBK character each), so the result never
// holds a separator, a dot or anything the file system refuses.
Text CleanProductName(std::string_view rawName);

// The address of a main-picture list item: https://<picture host>/n12/<item>.
Text MainPictureAddress(std::string_view item);

}  // namespace qv

#endif  // QV_APP_WORKFLOW_PRODUCT_PAGE_H_
