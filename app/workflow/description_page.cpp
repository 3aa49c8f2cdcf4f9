#include "app/workflow/description_page.h"

#include "core/text_ops.h"

namespace qv {

Text MakeAbsoluteUrl(std::string_view address) {
  if (FindText(address, "http", 1, false) != -1) return Text(address);
  if (FindText(address, "//", 1, false) != -1) return "http:" + Text(address);
  return "http://" + Text(address);
}

}  // namespace qv
