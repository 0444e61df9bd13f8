// The text, conversion and byte-buffer operations that all of the program's logic is built on.
// Positions are 1-based byte positions and -1 means "not found". Out-of-range arguments are
// clamped, never reported. A byte of 0x81 or above starts a two-byte GBK unit (0x80 is the euro
// sign, a unit of its own): the searching and editing operations step over such a unit as a whole
// and only match at unit starts; the cutting operations (LeftText, RightText, MidText) count
// plain bytes.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>

#include "runtime/text.h"

namespace kestrin {

// Number of bytes.
[[nodiscard]] int TextLength(const Text& text);
// The first n bytes; n <= 0 gives the empty text.
[[nodiscard]] Text LeftText(const Text& text, int n);
// The last n bytes; n <= 0 gives the empty text.
[[nodiscard]] Text RightText(const Text& text, int n);
// At most n bytes from 1-based `start`; empty when start is outside the text or n <= 0.
[[nodiscard]] Text MidText(const Text& text, int start, int n);

// Position of the first occurrence of `sought` at or after `start` (omitted: whole text), or -1.
// An empty `sought` gives 1 when the searched region holds a byte, else -1 (not the start).
[[nodiscard]] int FindText(std::string_view text, std::string_view sought,
                           std::optional<int> start = std::nullopt, bool ignoreCase = false);
// FindText again and again over one text for one sought text, as a collector searches a page:
// what one search learns of the text is kept for the next, so searches from ever later starts
// read the text about once between them. Both texts must outlive the finder.
class TextFinder {
 public:
  TextFinder(std::string_view text, std::string_view sought, bool ignoreCase = false);
  ~TextFinder();
  TextFinder(const TextFinder&) = delete;
  TextFinder& operator=(const TextFinder&) = delete;

  // FindText(text, sought, start, ignoreCase), from any start.
  [[nodiscard]] int Find(std::optional<int> start = std::nullopt);

 private:
  class Search;
  std::unique_ptr<Search> search_;
};

// Whether `text` begins with `prefix`; with ignoreCase, ASCII letters match in any case.
[[nodiscard]] bool StartsWithText(std::string_view text, std::string_view prefix, bool ignoreCase = false);

// Position of the last occurrence lying wholly before `start` (omitted: the end), or -1.
[[nodiscard]] int FindTextBackward(std::string_view text, std::string_view sought,
                                   std::optional<int> start = std::nullopt, bool ignoreCase = false);
// Replaces non-overlapping occurrences from `start` on, at most `count` of them (omitted or
// negative: all). With caseSensitive false, ASCII letters match in any case.
[[nodiscard]] Text ReplaceText(const Text& text, std::string_view sought, std::string_view replacement = {},
                               std::optional<int> start = std::nullopt, std::optional<int> count = std::nullopt,
                               bool caseSensitive = true);
// Splits at every `delimiter`; empty text gives no element, a trailing delimiter no empty last
// element, an empty delimiter one element. `mostParts` limits the elements taken.
[[nodiscard]] TextArray SplitText(const Text& text, std::string_view delimiter = ",",
                                  std::optional<int> mostParts = std::nullopt);

// Spaces are 0x20 and the full-width A1 A1; nothing else.
[[nodiscard]] Text TrimLeading(const Text& text);
[[nodiscard]] Text TrimTrailing(const Text& text);
[[nodiscard]] Text TrimBoth(const Text& text);
// The part of `text` that TrimBoth keeps, without copying it.
[[nodiscard]] std::string_view TrimBothView(std::string_view text);
[[nodiscard]] Text RemoveAllSpaces(const Text& text);
// ASCII capitals made small; two-byte units untouched.
[[nodiscard]] Text ToLowerCase(const Text& text);
// Full-width ASCII forms (A3 A1..A3 FE), the full-width space and A1 AB, A1 EE, A1 EF made one byte.
[[nodiscard]] Text ToHalfWidth(const Text& text);

// One byte holding the low 8 bits of code; empty when they are 0.
[[nodiscard]] Text CharText(int code);
// n spaces; n < 1 gives the empty text.
[[nodiscard]] Text SpaceText(int n);
// The texts one after the other.
template <typename... Texts>
[[nodiscard]] Text JoinTexts(const Texts&... texts) {
  Text out;
  out.reserve((std::string_view(texts).size() + ... + 0));
  (out.append(std::string_view(texts)), ...);
  return out;
}

// Text read as atoi reads it, after ToHalfWidth: full-width digits count as digits.
// Digits beyond the 32-bit range saturate at INT_MIN/INT_MAX.
[[nodiscard]] int ToInteger(const Text& text);

[[nodiscard]] Text ToText(int value);            // "%d"
[[nodiscard]] Text ToText(std::int64_t value);   // decimal with a sign for negatives
[[nodiscard]] Text ToText(double value);         // "%.13g": 24.0 gives "24"
[[nodiscard]] Text ToText(float value);          // "%.6g"
[[nodiscard]] Text ToText(bool value);           // "真" / "假"
[[nodiscard]] Text ToText(const ByteBuffer& value);  // bytes up to the first NUL
Text ToText(const char*) = delete;               // a Text is used as it is

// The bytes of a text, without a terminator.
[[nodiscard]] ByteBuffer ToByteBuffer(const Text& text);
[[nodiscard]] int ByteBufferLength(const ByteBuffer& buffer);
// The first n bytes; n < 0 gives the empty buffer.
[[nodiscard]] ByteBuffer LeftBytes(const ByteBuffer& buffer, int n);
// n zero bytes; n <= 0 gives the empty buffer.
[[nodiscard]] ByteBuffer ZeroBytes(int n);

// Bitwise OR of all operands.
template <typename... Ints>
[[nodiscard]] constexpr std::uint32_t BitOr(Ints... values) {
  return (static_cast<std::uint32_t>(values) | ... | 0u);
}

}  // namespace kestrin
