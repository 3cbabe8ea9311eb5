#include "platform/text.h"

namespace {

bool IsContinuation(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

// The length a lead byte announces; 1 for a byte that leads no sequence.
std::size_t AnnouncedBytes(char lead) {
  const auto c = static_cast<unsigned char>(lead);
  if (c >= 0xC2 && c <= 0xDF) return 2;
  if (c >= 0xE0 && c <= 0xEF) return 3;
  if (c >= 0xF0 && c <= 0xF4) return 4;
  return 1;
}

}  // namespace

std::string TrimLeft(std::string_view text, std::string_view blanks) {
  const std::size_t first = text.find_first_not_of(blanks);
  return first == std::string_view::npos ? std::string() : std::string(text.substr(first));
}

std::string TrimRight(std::string_view text, std::string_view blanks) {
  const std::size_t last = text.find_last_not_of(blanks);
  return last == std::string_view::npos ? std::string() : std::string(text.substr(0, last + 1));
}

std::string Trim(std::string_view text, std::string_view blanks) {
  const std::size_t first = text.find_first_not_of(blanks);
  if (first == std::string_view::npos) return {};
  return std::string(text.substr(first, text.find_last_not_of(blanks) - first + 1));
}

std::string TrimControls(std::string_view text) {
  std::size_t first = 0;
  std::size_t last = text.size();
  while (first < last && IsSpaceOrControl(text[first])) ++first;
  while (last > first && IsSpaceOrControl(text[last - 1])) --last;
  return std::string(text.substr(first, last - first));
}

bool IsBlankText(std::string_view text) {
  for (char c : text)
    if (!IsSpaceOrControl(c)) return false;
  return true;
}

std::string AsciiLower(std::string_view text) {
  std::string result(text);
  for (char& c : result) c = AsciiLower(c);
  return result;
}

std::string AsciiUpper(std::string_view text) {
  std::string result(text);
  for (char& c : result) c = AsciiUpper(c);
  return result;
}

bool SameTextAscii(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
  return true;
}

bool StartsWith(std::string_view text, std::string_view prefix) { return text.substr(0, prefix.size()) == prefix; }

std::size_t Utf8CharBytes(std::string_view text, std::size_t pos) {
  const std::size_t len = AnnouncedBytes(text[pos]);
  if (pos + len > text.size()) return 1;
  for (std::size_t k = 1; k < len; ++k)
    if (!IsContinuation(text[pos + k])) return 1;
  return len;
}

std::size_t Utf8PrefixBytes(std::string_view text, std::size_t maxChars) {
  std::size_t pos = 0;
  for (std::size_t chars = 0; chars < maxChars && pos < text.size(); ++chars) pos += Utf8CharBytes(text, pos);
  return pos;
}

std::size_t Utf8Length(std::string_view text) {
  std::size_t chars = 0;
  for (std::size_t pos = 0; pos < text.size(); ++chars) pos += Utf8CharBytes(text, pos);
  return chars;
}

std::string Utf8Cut(std::string_view text, std::size_t maxChars) {
  return std::string(text.substr(0, Utf8PrefixBytes(text, maxChars)));
}

std::string OnOneLine(std::string_view text) {
  std::string line;
  for (char c : Trim(text, " \t\r\n")) {
    const bool lineEnd = c == '\r' || c == '\n';
    if (!lineEnd)
      line += c;
    else if (!line.empty() && line.back() != ' ')
      line += ' ';
  }
  return line;
}
