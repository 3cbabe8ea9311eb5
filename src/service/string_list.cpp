#include "service/string_list.h"

#include <algorithm>

#include "platform/text.h"

void TStringList::Add(const std::string& line) {
  Changing();
  FLines.push_back(line);
  Changed();
}

void TStringList::Insert(size_t index, const std::string& line) {
  Changing();
  FLines.insert(FLines.begin() + static_cast<std::ptrdiff_t>(std::min(index, FLines.size())), line);
  Changed();
}

void TStringList::Put(size_t index, const std::string& line) {
  Changing();
  FLines.at(index) = line;
  Changed();
}

void TStringList::Delete(size_t index) {
  if (index >= FLines.size()) return;
  Changing();
  FLines.erase(FLines.begin() + static_cast<std::ptrdiff_t>(index));
  Changed();
}

void TStringList::Clear() {
  Changing();
  FLines.clear();
  Changed();
}

void TStringList::Assign(const std::vector<std::string>& lines) {
  Changing();
  FLines = lines;
  Changed();
}

void TStringList::SetText(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
    start = end + 1;
  }
  Assign(lines);
}

int TStringList::IndexOfName(const std::string& name) const {
  for (size_t i = 0; i < FLines.size(); ++i) {
    const std::string& line = FLines[i];
    const size_t eq = line.find('=');
    if (eq != std::string::npos && SameTextAscii(std::string_view(line).substr(0, eq), name)) {
      return static_cast<int>(i);
    }
  }
  return -1;
}
