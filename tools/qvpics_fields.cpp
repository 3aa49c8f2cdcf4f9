// qvpics-fields: reads a product page (UTF-8) on standard input and prints
// the fields the downloader takes from it, in UTF-8.
#include <iostream>
#include <iterator>
#include <string>

#include "core/text_ops.h"
#include "text/codepage.h"
#include "text/replace_batch.h"
#include "text/text_between.h"

int main() {
  using namespace qv;
  const std::string raw{std::istreambuf_iterator<char>(std::cin), {}};
  const Text page = Utf8ToAnsi(BytesToText(AsBytes(raw)));

  const Text desc = "http:" + TextBetween(page, "desc: '", "'");
  const Text name = TextBetween(page, "name: '", "'");
  const Text list = FindText(page, "overAllPath\":[\"") == -1
                        ? TextBetween(page, "imageList: [#\xD2\xFD\xBA\xC5", "#\xD2\xFD\xBA\xC5]")
                        : TextBetween(page, "overAllPath#\xD2\xFD\xBA\xC5:[#\xD2\xFD\xBA\xC5",
                                      "#\xD2\xFD\xBA\xC5]");
  const TextArray items = SplitText(ReplaceBatch(list, {.find1 = "\"", .replace1 = ""}), ",");

  std::cout << "name:        " << GbkToUtf8(name) << "\n"
            << "description: " << GbkToUtf8(desc) << "\n"
            << "pictures:    " << items.Count() << "\n";
  for (const Text& item : items) std::cout << "  " << GbkToUtf8(item) << "\n";
  return 0;
}
