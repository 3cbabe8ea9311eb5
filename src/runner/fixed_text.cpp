#include "runner/fixed_text.h"

namespace {

bool IsContinuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }

// Bytes of the character that starts at `pos`: its lead byte and at most
// three continuation bytes (a stray continuation byte counts alone).
std::size_t CharBytes(std::string_view text, std::size_t pos) {
  std::size_t n = 1;
  if (IsContinuation(static_cast<unsigned char>(text[pos]))) return n;
  while (n < 4 && pos + n < text.size() && IsContinuation(static_cast<unsigned char>(text[pos + n]))) ++n;
  return n;
}

}  // namespace

std::size_t Utf8PrefixBytes(std::string_view text, std::size_t maxChars) {
  std::size_t pos = 0;
  for (std::size_t chars = 0; chars < maxChars && pos < text.size(); ++chars) pos += CharBytes(text, pos);
  return pos;
}

std::size_t Utf8Length(std::string_view text) {
  std::size_t chars = 0;
  for (std::size_t pos = 0; pos < text.size(); ++chars) pos += CharBytes(text, pos);
  return chars;
}
