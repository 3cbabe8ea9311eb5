#pragma once
// Row counts of the user tables as gbak reports them in its verbose output:
// a backup says "writing data for table X" and then "N records written"
// (repeated every 10000 rows, the last one being the total); a restore says
// "restoring data for table X" and "N records restored", and nothing at all
// for a table without rows. Both describe the backup's own snapshot, so a
// database that changes after its backup cannot disturb the comparison.

#include <cstdint>
#include <map>
#include <string>
#include <vector>

using TTableCounts = std::map<std::string, std::uint64_t>;

// Gathers the counts line by line.
class TTableCountReader {
 public:
  // `restore` false: a backup's output; true: a restore's.
  explicit TTableCountReader(bool restore) : FRestore(restore) {}
  void Add(const std::string& outputLine);
  const TTableCounts& Counts() const { return FCounts; }

 private:
  bool FRestore;
  std::string FTable;
  TTableCounts FCounts;
};

TTableCounts TableCountsOf(const std::vector<std::string>& outputLines, bool restore);

// Empty when every table has as many rows restored as the backup wrote (a
// table the restore does not mention had none); otherwise one text per
// difference, e.g. "T_ORDERS: 3000 rows in the backup, 2999 restored".
std::vector<std::string> TableCountDifferences(const TTableCounts& backup, const TTableCounts& restored);

// Rows over all tables.
std::uint64_t TotalRows(const TTableCounts& counts);
