#include "runner/table_counts.h"

#include <gtest/gtest.h>

namespace {

// What Firebird 3's gbak prints through the service manager (spacing as
// seen, a table name with a blank, an empty table, progress every 10000).
// clang-format off
const std::vector<std::string> BackupOutput = {
    "gbak:writing tables", "gbak:    writing data for table EMPTYT", "gbak:0 records written",
    "gbak:    writing data for table BIG", "gbak:10000 records written", "gbak:20000 records written",
    "gbak:20417 records written", "gbak:    writing data for table t one", "gbak:2 records written",
    "gbak:writing index RDB$PRIMARY1"};
const std::vector<std::string> RestoreOutput = {
    "gbak:restoring table t one ", "gbak:restoring data for table BIG ", "gbak:   10000 records restored ",
    "gbak:   20417 records restored ", "gbak:restoring data for table t one ", "gbak:   2 records restored ",
    "gbak:    restoring privilege for user SYSDBA "};
// clang-format on

TEST(TableCounts, ReadsTheLastCountOfEveryTableFromBothOutputs) {
  const TTableCounts backup = TableCountsOf(BackupOutput, false);
  EXPECT_EQ(backup, (TTableCounts{{"EMPTYT", 0}, {"BIG", 20417}, {"t one", 2}}));
  EXPECT_EQ(TotalRows(backup), 20419u);
  const TTableCounts restored = TableCountsOf(RestoreOutput, true);
  EXPECT_EQ(restored, (TTableCounts{{"BIG", 20417}, {"t one", 2}}));
  // A table the restore does not mention had no rows to restore.
  EXPECT_TRUE(TableCountDifferences(backup, restored).empty());
  // A backup line never counts as a restore line, nor the reverse.
  EXPECT_TRUE(TableCountsOf(BackupOutput, true).empty());
  EXPECT_TRUE(TableCountsOf(RestoreOutput, false).empty());
  // Lines that only look like counts.
  EXPECT_EQ(TableCountsOf({"gbak:writing data for table X", "gbak:12x records written", "gbak:-3 records written",
                           "gbak:1 records written twice"},
                          false),
            (TTableCounts{{"X", 0}}));
}

TEST(TableCounts, EveryDifferenceIsNamed) {
  struct Row {
    TTableCounts restored;
    std::vector<std::string> differences;
  };
  const TTableCounts backup{{"A", 5}, {"B", 0}};
  const Row rows[] = {
      {{{"A", 5}}, {}},
      {{}, {"A: 5 rows in the backup, 0 restored"}},
      {{{"A", 5}, {"C", 1}}, {"C: 0 rows in the backup, 1 restored"}},
      {{{"A", 6}, {"B", 1}}, {"A: 5 rows in the backup, 6 restored", "B: 0 rows in the backup, 1 restored"}},
  };
  for (const Row& row : rows) EXPECT_EQ(TableCountDifferences(backup, row.restored), row.differences);
}

}  // namespace
