// The value types every layer shares.
//
// Text  - bytes in the GBK code page, holding no zero byte. An absent text and
//         an empty text are the same value. Positions into a Text are 1-based.
// Bytes - a counted byte buffer that may hold zero bytes; empty == absent.
// TextArray - a 1-based list of Text, as SplitText makes it. Reading outside
//         1..Count() is a programming error and stops the program.
//
// Values are plain and owned by whoever holds them; nothing here is shared.
#ifndef QV_CORE_TYPES_H_
#define QV_CORE_TYPES_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace qv {

using Text = std::string;
using Bytes = std::vector<std::uint8_t>;

class TextArray {
 public:
  TextArray() = default;
  TextArray(std::initializer_list<Text> items) : items_(items) {}

  int Count() const { return static_cast<int>(items_.size()); }
  bool Empty() const { return items_.empty(); }

  // REQUIRES: 1 <= i <= Count(); anything else ends the program.
  const Text& operator[](int i) const;
  Text& operator[](int i);

  void Append(Text item) { items_.push_back(std::move(item)); }
  void Reserve(int count) { items_.reserve(static_cast<size_t>(count > 0 ? count : 0)); }

  // Iteration in element order, for range-for loops.
  auto begin() const { return items_.begin(); }
  auto end() const { return items_.end(); }

  bool operator==(const TextArray&) const = default;

 private:
  std::vector<Text> items_;
};

}  // namespace qv

#endif  // QV_CORE_TYPES_H_
