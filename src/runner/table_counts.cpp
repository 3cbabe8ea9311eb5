#include "runner/table_counts.h"

#include <charconv>
#include <string_view>

#include "platform/text.h"

namespace {

constexpr std::string_view LineBlanks = " \t\r\n";

// The line without gbak's "gbak:" prefix and blanks around it.
std::string TextOf(const std::string& line) {
  std::string text = Trim(line, LineBlanks);
  if (StartsWith(text, "gbak:")) text = Trim(text.substr(5), LineBlanks);
  return text;
}

// N of "N <words>", when the text is exactly that.
bool CountBefore(const std::string& text, std::string_view words, std::uint64_t& count) {
  const std::size_t space = text.find(' ');
  if (space == std::string::npos || std::string_view(text).substr(space + 1) != words) return false;
  const auto [end, error] = std::from_chars(text.data(), text.data() + space, count);
  return error == std::errc() && end == text.data() + space;
}

}  // namespace

void TTableCountReader::Add(const std::string& outputLine) {
  const std::string text = TextOf(outputLine);
  const std::string_view header = FRestore ? "restoring data for table " : "writing data for table ";
  if (StartsWith(text, header)) {
    FTable = text.substr(header.size());
    FCounts[FTable] = 0;
    return;
  }
  std::uint64_t count = 0;
  if (!FTable.empty() && CountBefore(text, FRestore ? "records restored" : "records written", count))
    FCounts[FTable] = count;
}

TTableCounts TableCountsOf(const std::vector<std::string>& outputLines, bool restore) {
  TTableCountReader reader(restore);
  for (const std::string& line : outputLines) reader.Add(line);
  return reader.Counts();
}

std::vector<std::string> TableCountDifferences(const TTableCounts& backup, const TTableCounts& restored) {
  std::vector<std::string> differences;
  const auto rowsIn = [](const TTableCounts& counts, const std::string& table) {
    const auto found = counts.find(table);
    return found == counts.end() ? std::uint64_t{0} : found->second;
  };
  TTableCounts tables = backup;
  tables.insert(restored.begin(), restored.end());
  for (const auto& [table, unused] : tables) {
    const std::uint64_t written = rowsIn(backup, table);
    const std::uint64_t back = rowsIn(restored, table);
    if (written != back)
      differences.push_back(table + ": " + std::to_string(written) + " rows in the backup, " + std::to_string(back) +
                            " restored");
  }
  return differences;
}

std::uint64_t TotalRows(const TTableCounts& counts) {
  std::uint64_t total = 0;
  for (const auto& [table, rows] : counts) total += rows;
  return total;
}
