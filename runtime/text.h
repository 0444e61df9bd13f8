// The program's value types: GBK text, byte buffers and 1-based text arrays.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kestrin {

// A GBK byte string. It never holds a NUL byte, so the empty and the absent text are one value.
using Text = std::string;

// A counted run of bytes; may hold NULs (request and response bodies).
using ByteBuffer = std::vector<std::uint8_t>;

// Text from raw bytes: everything before the first NUL byte.
[[nodiscard]] Text MakeText(std::string_view bytes);

// An ordered list of texts numbered from 1. Access outside 1..Count() is a fatal runtime error
// (below 1: code 4, above the count: code 1), as every array access of the program is checked.
class TextArray {
 public:
  TextArray() = default;
  explicit TextArray(std::vector<Text> items) : items_(std::move(items)) {}

  [[nodiscard]] int Count() const { return static_cast<int>(items_.size()); }
  [[nodiscard]] bool Empty() const { return items_.empty(); }
  // Element `index` (1-based); reports the runtime error and ends the process when out of range.
  [[nodiscard]] const Text& At(int index) const;
  void Append(Text item) { items_.push_back(std::move(item)); }
  void Clear() { items_.clear(); }

  [[nodiscard]] const std::vector<Text>& Items() const { return items_; }
  auto begin() const { return items_.begin(); }
  auto end() const { return items_.end(); }
  friend bool operator==(const TextArray&, const TextArray&) = default;

 private:
  std::vector<Text> items_;
};

}  // namespace kestrin
