#include "controller/jobs/retention.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

using Names = std::vector<std::string>;

// The folder of Shop.fdb on 7 December 2026 at 14:20, its plan having just
// written Shop.fdb_07_12_26_14_20.gbk.
const Names Folder = {
    "Shop.fdb_07_12_26_14_20.gbk",         // just made
    "Shop.fdb_07_12_26_14_00.gbk",         // 20 minutes old
    "Shop.fdb_06_12_26_14_00.gbk",         // a day old
    "Shop.fdb_30_11_26_23_40.gbk",         // a week old
    "Shop.fdb_31_12_25_08_00.gbk",         // last year
    "Shop.fdb_07_12_26_14_00.gbk.failed",  // a failed backup
    "Shop.fdb_07_12_26_13_40.gbk.aside-k3j9d0aa",
    "Shop.fdb.gbk",                  // a backup without a date
    "Shop.fdb_07_12_26_13_20.GBK",   // not the plan's spelling
    "Shop.fdb_32_12_26_13_20.gbk",   // no such day
    "Shop.fdb_07_12_26_24_00.gbk",   // no such hour
    "Shop.fdb_7_12_26_13_20.gbk",    // one digit short
    "Shop2.fdb_07_12_26_13_20.gbk",  // another database
    "xShop.fdb_07_12_26_13_20.gbk",
    "Shop.fdb.fdb_07_12_26_13_20.gbk",
};
const TDateTime Now = EncodeDate(2026, 12, 7) + EncodeTime(14, 20, 30, 0);
const std::string JustMade = "Shop.fdb_07_12_26_14_20.gbk";

TEST(Retention, ChoosesOnlyThePlansOwnOlderBackups) {
  struct Row {
    TRetentionRule rule;
    Names removed;
  };
  const Row rows[] = {
      {{0, 0}, {}},
      {{1, 0},
       {"Shop.fdb_07_12_26_14_00.gbk", "Shop.fdb_06_12_26_14_00.gbk", "Shop.fdb_30_11_26_23_40.gbk",
        "Shop.fdb_31_12_25_08_00.gbk"}},
      {{3, 0}, {"Shop.fdb_30_11_26_23_40.gbk", "Shop.fdb_31_12_25_08_00.gbk"}},
      {{5, 0}, {}},
      {{0, 1}, {"Shop.fdb_06_12_26_14_00.gbk", "Shop.fdb_30_11_26_23_40.gbk", "Shop.fdb_31_12_25_08_00.gbk"}},
      {{0, 6}, {"Shop.fdb_30_11_26_23_40.gbk", "Shop.fdb_31_12_25_08_00.gbk"}},
      {{0, 7}, {"Shop.fdb_31_12_25_08_00.gbk"}},
      // Either rule removes.
      {{4, 30}, {"Shop.fdb_31_12_25_08_00.gbk"}},
      {{2, 400}, {"Shop.fdb_06_12_26_14_00.gbk", "Shop.fdb_30_11_26_23_40.gbk", "Shop.fdb_31_12_25_08_00.gbk"}},
      // Negative values are no rule.
      {{-1, -5}, {}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(std::to_string(row.rule.KeepLast) + " / " + std::to_string(row.rule.KeepDays));
    EXPECT_EQ(BackupsToRemove(Folder, "Shop.fdb", JustMade, row.rule, Now), row.removed);
  }
}

TEST(Retention, NeverTheNewestNorTheOneJustMadeAndOnlyRealDates) {
  // A clock set back: the one just made is not the newest by its name, and
  // stays, as does the newest.
  const Names skewed = {"a_01_01_30_00_00.gbk", "a_01_01_20_00_00.gbk", "a_01_01_19_00_00.gbk"};
  EXPECT_EQ(BackupsToRemove(skewed, "a", "a_01_01_20_00_00.gbk", {1, 1}, Now), Names{"a_01_01_19_00_00.gbk"});
  EXPECT_EQ(DatedBackupMoment("Shop_29_02_24_23_59.gbk", "Shop"), EncodeDate(2024, 2, 29) + EncodeTime(23, 59, 0, 0));
  EXPECT_FALSE(DatedBackupMoment("Shop_29_02_25_23_59.gbk", "Shop").has_value());
}

// Backups of one minute after the first get the seconds, and of one second
// a count: retention knows them as the plan's own and orders them by the
// moment, then the minute's name before the seconds' before the counted ones
// (the count by its number, "_10" after "_2").
TEST(Retention, NamesWithSecondsAndACountAreThePlansOwnInTheirOrder) {
  const Names folder = {
      "Shop_07_12_26_14_20_05_2.gbk",   // the third of 14:20:05
      "Shop_07_12_26_14_20.gbk",        // the first of 14:20
      "Shop_07_12_26_14_20_05_10.gbk",  // the eleventh of 14:20:05
      "Shop_07_12_26_14_20_05.gbk",     // the second of 14:20
      "Shop_07_12_26_14_20_00.gbk",     // made after the first, in its own second 00
      "Shop_07_12_26_14_19_59.gbk",     // a minute earlier
      "Shop_07_12_26_14_20_60.gbk",     // no such second
      "Shop_07_12_26_14_20_5.gbk",      // one digit short
      "Shop_07_12_26_14_20_05_1.gbk",   // no count 1
      "Shop_07_12_26_14_20_05_02.gbk",  // a leading zero
      "Shop_07_12_26_14_20_05_.gbk",
      "Shop_07_12_26_14_20_05_2x.gbk",
      "Shop_07_12_26_14_20_05_1234567.gbk",  // more than anyone makes in a second
  };
  const std::string justMade = "Shop_07_12_26_14_20_05_10.gbk";
  const Names oldestFirst = {"Shop_07_12_26_14_19_59.gbk", "Shop_07_12_26_14_20.gbk", "Shop_07_12_26_14_20_00.gbk",
                             "Shop_07_12_26_14_20_05.gbk", "Shop_07_12_26_14_20_05_2.gbk"};
  for (int keep = 1; keep <= 6; ++keep) {
    SCOPED_TRACE(keep);
    // The newest `keep` stay, the one just made (the newest) among them.
    Names removed(oldestFirst.rbegin() + std::min(keep - 1, 5), oldestFirst.rend());
    EXPECT_EQ(BackupsToRemove(folder, "Shop", justMade, {keep, 0}, Now), removed);
  }
  EXPECT_EQ(DatedBackupMoment("Shop_07_12_26_14_20_05_2.gbk.zst", "Shop", ".gbk.zst"),
            EncodeDate(2026, 12, 7) + EncodeTime(14, 20, 5, 0));
}

}  // namespace
