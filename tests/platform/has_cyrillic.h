#pragma once
// Whether a text holds a Cyrillic letter (U+0400 … U+04FF: UTF-8 lead bytes
// D0 to D3): what the command line says must be English throughout.

#include <string_view>

inline bool HasCyrillic(std::string_view text) {
  for (std::size_t i = 0; i + 1 < text.size(); ++i) {
    const auto lead = static_cast<unsigned char>(text[i]);
    const auto next = static_cast<unsigned char>(text[i + 1]);
    if (lead >= 0xD0 && lead <= 0xD3 && next >= 0x80 && next <= 0xBF) return true;
  }
  return false;
}
