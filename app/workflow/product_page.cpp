#include "app/workflow/product_page.h"

#include "app/workflow/download_workflow.h"
#include "core/text_ops.h"
#include "regex/page_regex.h"
#include "text/replace_batch.h"
#include "text/text_between.h"

namespace qv {
namespace {

bool IsNameByte(unsigned char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

// One character of the name pattern as GBK: a single name byte, or a valid
// two-byte GBK character. Anything else (a '?' that a character GBK lacks
// became, say, after the engine folded case over Unicode) is dropped.
bool IsNameCharacter(std::string_view c) {
  if (c.size() == 1) return IsNameByte(static_cast<unsigned char>(c[0]));
  if (c.size() != 2) return false;
  const auto lead = static_cast<unsigned char>(c[0]);
  const auto trail = static_cast<unsigned char>(c[1]);
  return lead >= 0x81 && lead <= 0xFE && trail >= 0x40 && trail <= 0xFE && trail != 0x7F;
}

}  // namespace

Text CleanProductName(std::string_view rawName) {
  RegexObject& regex = PageRegex();
  regex.Create(kNameCharPattern, rawName);
  Text name;
  const int n = regex.MatchCount();
  for (int i = 1; i <= n; ++i) {
    const Text c = regex.SubMatchText(i, 1);
    if (IsNameCharacter(c)) name += c;
  }
  return name;
}

ProductPage ReadProductPage(std::string_view pageText) {
  ProductPage page;
  page.descriptionAddress = "http:" + TextBetween(pageText, "desc: '", "'");
  page.productName = CleanProductName(TextBetween(pageText, "name: '", "'"));

  const Text q(kQuotePlaceholder);
  Text list;
  if (FindText(pageText, "overAllPath\":[\"") == -1) {
    list = TextBetween(pageText, "imageList: [" + q, q + "]");
  } else {
    list = TextBetween(pageText, "overAllPath" + q + ":[" + q, q + "]");
  }
  list = ReplaceBatch(list, {.find1 = "\"", .replace1 = ""});
  page.pictureItems = SplitText(list, ",");
  return page;
}

Text MainPictureAddress(std::string_view item) {
  return "https://" + Text(kPictureHost) + "/n12/" + Text(item);
}

}  // namespace qv
