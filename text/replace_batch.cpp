#include "text/replace_batch.h"

#include "core/text_ops.h"

namespace qv {

Text ReplaceBatch(std::string_view text, const ReplaceBatchArgs& args) {
  const int start = args.startPosition == 0 ? 1 : args.startPosition;
  const std::string_view pairs[5][2] = {{args.find1, args.replace1},
                                        {args.find2, args.replace2},
                                        {args.find3, args.replace3},
                                        {args.find4, args.replace4},
                                        {args.find5, args.replace5}};
  Text result(text);
  for (const auto& [find, replace] : pairs) {
    result = ReplaceSubtext(result, find, replace, start, args.count, args.caseSensitive);
  }
  return result;
}

}  // namespace qv
