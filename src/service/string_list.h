#pragma once
// A list of text lines with change notifications, as the service objects use
// for Params, BackupFile and DatabaseName.

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

class TStringList {
 public:
  TStringList() = default;
  TStringList(std::initializer_list<std::string> lines) : FLines(lines) {}
  TStringList(const TStringList& other) : FLines(other.FLines) {}
  TStringList& operator=(const TStringList& other) {
    Assign(other.FLines);
    return *this;
  }

  // Called before (OnChanging, may throw to refuse) and after (OnChange)
  // every change of the lines.
  std::function<void()> OnChanging;
  std::function<void()> OnChange;

  size_t Count() const { return FLines.size(); }
  const std::string& operator[](size_t index) const { return FLines.at(index); }
  const std::vector<std::string>& Lines() const { return FLines; }
  bool Empty() const { return FLines.empty(); }

  void Add(const std::string& line);
  void Insert(size_t index, const std::string& line);
  void Put(size_t index, const std::string& line);
  void Delete(size_t index);
  void Clear();
  void Assign(const std::vector<std::string>& lines);
  // Replaces all lines by the lines of a text (LF or CR LF separated).
  void SetText(const std::string& text);

  // Index of the first line whose name (text before "=") equals `name`
  // ignoring ASCII case, or -1.
  int IndexOfName(const std::string& name) const;

 private:
  void Changing() {
    if (OnChanging) OnChanging();
  }
  void Changed() {
    if (OnChange) OnChange();
  }

  std::vector<std::string> FLines;
};
