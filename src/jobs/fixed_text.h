#pragma once
// A text field of fixed capacity counted in characters (UTF-8), stored inside
// the object that holds it. A longer value is cut to the capacity, never in
// the middle of a character (characters as platform/text.h counts them).

#include <cstddef>
#include <cstring>
#include <string>
#include <string_view>

#include "platform/text.h"

template <std::size_t Chars>
class TFixedText {
 public:
  TFixedText() { FBytes[0] = '\0'; }
  explicit TFixedText(std::string_view value) { Set(value); }

  std::string Get() const { return std::string(FBytes, FLength); }

  // Stores at most Chars characters of `value`; returns false when it had to
  // be cut.
  bool Set(std::string_view value) {
    std::size_t n = Utf8PrefixBytes(value, Chars);
    // A character never takes more than 4 bytes, so the prefix always fits.
    if (n > Capacity) n = Capacity;
    std::memcpy(FBytes, value.data(), n);
    FBytes[n] = '\0';
    FLength = n;
    return n == value.size();
  }

  bool Empty() const { return FLength == 0; }

 private:
  static constexpr std::size_t Capacity = Chars * 4;
  char FBytes[Capacity + 1];
  std::size_t FLength = 0;
};
