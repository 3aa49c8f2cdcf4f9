#include "core/types.h"

#include <string>

#include "core/fatal.h"

namespace qv {
namespace {

[[noreturn]] void IndexOutOfRange(int i, int count) {
  RuntimeErrorStop("array index " + std::to_string(i) + " out of range 1.." + std::to_string(count),
                   "TextArray");
}

}  // namespace

const Text& TextArray::operator[](int i) const {
  if (i < 1 || i > Count()) IndexOutOfRange(i, Count());
  return items_[static_cast<size_t>(i - 1)];
}

Text& TextArray::operator[](int i) {
  if (i < 1 || i > Count()) IndexOutOfRange(i, Count());
  return items_[static_cast<size_t>(i - 1)];
}

}  // namespace qv
