// Incremental plans: the backup kind and the levels' rhythms in the settings
// file, the levels falling due through a week (the lower level winning when
// two fall due together), and a simulated month of weekly level 0 and daily
// level 1 under retention, which keeps whole chains only.

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <set>

#include "controller/history/job_history.h"
#include "controller/jobs/incremental/incremental_names.h"
#include "controller/settings/settings_file.h"
#include "controller_fixture.h"
#include "platform/iso_time.h"

namespace {

// Monday 7 December 2026.
const TDateTime Monday = EncodeDate(2026, 12, 7);
constexpr double Minute = 1.0 / (24 * 60);

using IncrementalPlan = ControllerTest;

// Night all day on `days` ("0000001": Sunday); `period` at the clock time
// `hour`:00 (7) or by the hour (3).
TPlanRecord AllDay(const char* days, std::uint8_t period, int hour = 0) {
  TPlanRecord plan;
  bool* const on[] = {&plan.Day1Back, &plan.Day2Back, &plan.Day3Back, &plan.Day4Back,
                      &plan.Day5Back, &plan.Day6Back, &plan.Day7Back};
  for (int d = 0; d < 7; ++d) *on[d] = days[d] == '1';
  plan.NightPeriodBack = period;
  plan.NightClockBack = EncodeTime(hour, 0, 0, 0);
  plan.QueueBack = 1;
  return plan;
}

TPlanEntry WeeklyDailyHourly() {
  TPlanEntry entry;
  entry.Id = 1;
  entry.DataBase = "/srv/big.fdb";
  entry.BackupKind = TDatabaseOptions::BackupKindIncremental;
  entry.PlanRecord = AllDay("0000001", 7, 1);
  entry.LevelPlans.Level[0] = AllDay("1111111", 7, 1);
  entry.LevelPlans.Level[1] = AllDay("1111111", 3);
  return entry;
}

TEST_F(IncrementalPlan, TheKindAndTheLevelsRhythmsRoundTripThroughTheSettingsFile) {
  TQuorvin& q = Start();
  TPlanEntry entry = NewPlanEntry(q.Settings(), "/srv/big.fdb");
  const TPlanEntry wanted = WeeklyDailyHourly();
  entry.BackupKind = wanted.BackupKind;
  entry.PlanRecord = wanted.PlanRecord;
  entry.LevelPlans = wanted.LevelPlans;
  q.Settings().MorePlanEntries = {entry, NewPlanEntry(q.Settings(), "/srv/small.fdb")};
  q.SavePlan();
  const std::string ini = Ini();
  EXPECT_NE(ini.find("BackupKind=1"), std::string::npos) << ini;
  EXPECT_NE(ini.find("Level1Plan=days=1111111;day=00:00:00;night=00:00:00;dayperiod=0;nightperiod=7;"
                     "dayclock=00:00:00;nightclock=01:00:00"),
            std::string::npos)
      << ini;
  // A logical entry (and entry 1) keeps none of the new keys.
  EXPECT_EQ(ini.find("BackupKind"), ini.rfind("BackupKind"));

  TSettings read;
  TSettingsFile(IniPath()).ReadIni(read);
  ASSERT_EQ(read.MorePlanEntries.size(), 2u);
  EXPECT_TRUE(read.MorePlanEntries[0].Incremental());
  EXPECT_EQ(read.MorePlanEntries[0].LevelPlans, wanted.LevelPlans);
  EXPECT_FALSE(read.MorePlanEntries[1].Incremental());
  // A level text that does not read turns the level off.
  for (const char* bad : {"days=12", "days=1111111;dayperiod=9", "nonsense", "days=1111111;day=25:00"})
    EXPECT_FALSE(PlanOnAnyDay(ParseLevelPlan(bad))) << bad;
}

// A week minute by minute: level 0 on Sunday at 01:00, level 1 daily at
// 01:00, level 2 every hour. At Sunday 01:00 all three fall due: level 0
// alone is made; other days at 01:00 level 1 wins over level 2.
TEST_F(IncrementalPlan, LevelsFallDueByTheirOwnRhythmsTheLowerWinning) {
  TOperationLog log(Dir.Path);
  TPlan plan(log);
  const TPlanEntry entry = WeeklyDailyHourly();
  // Named: the plan answers with pointers into the list it is given.
  const std::vector<TPlanEntry> entries{entry};
  std::map<int, int> made;  // level -> backups
  std::vector<std::string> atOne;
  for (int minute = 0; minute < 7 * 24 * 60; ++minute) {
    Clock.Set(Monday + minute * Minute);
    for (const TPlanEntry* due : plan.DueEntries(entries, nullptr)) {
      const int level = plan.RunOf(due->Id)->DueLevel;
      ++made[level];
      if (minute % (24 * 60) == 60) atOne.push_back(std::to_string(minute / (24 * 60)) + ":" + std::to_string(level));
    }
  }
  EXPECT_EQ(made[0], 1);
  EXPECT_EQ(made[1], 6);
  EXPECT_EQ(made[2], 7 * 24 - 7);
  EXPECT_EQ(atOne, (std::vector<std::string>{"0:1", "1:1", "2:1", "3:1", "4:1", "5:1", "6:0"}));
  // The next backup is the hourly level's.
  Clock.Set(Monday + 7 + 30 * Minute);
  const auto next = plan.NextBackups({entry});
  ASSERT_EQ(next.size(), 1u);
  EXPECT_NEAR(next[0].When, Monday + 7 + 60 * Minute, Minute / 2);
}

// A backup that waits or runs serves the slots of its own level and those
// above it that fall meanwhile, not a lower level's: the hourly level 2
// queued at 00:00 and held past 01:00 leaves level 1's 01:00 due, which then
// serves level 2's 02:00 while it is held into 02:00.
TEST_F(IncrementalPlan, AHeldBackupServesItsOwnLevelAndThoseAboveNotALowerOne) {
  TOperationLog log(Dir.Path);
  TPlan plan(log);
  const std::vector<TPlanEntry> entries{WeeklyDailyHourly()};
  bool held = false;
  const auto tick = [&](int hour, int minute, int second) {
    Clock.Set(Monday + EncodeTime(hour, minute, second, 0));
    std::vector<int> levels;
    for (const TPlanEntry* due : plan.DueEntries(entries, [&](std::uint64_t) { return held; }))
      levels.push_back(plan.RunOf(due->Id)->DueLevel);
    return levels;
  };
  EXPECT_EQ(tick(0, 0, 2), std::vector<int>{2});
  held = true;
  EXPECT_TRUE(tick(1, 0, 2).empty());
  held = false;
  EXPECT_EQ(tick(1, 0, 30), std::vector<int>{1});
  held = true;
  EXPECT_TRUE(tick(2, 0, 2).empty());
  held = false;
  EXPECT_TRUE(tick(2, 0, 30).empty()) << "level 2's 02:00 was served by the level 1 backup";
  EXPECT_EQ(tick(3, 0, 2), std::vector<int>{2});
}

// Two physical backups of one level in one second: the second name is
// counted on, also past a name only the history still knows, and the names
// read back with their level, moment and count.
TEST_F(IncrementalPlan, APhysicalBackupsNameTakenInItsSecondIsCountedOn) {
  const TBackupName name = SplitDataBaseName(Dir / "big.gdb");
  const TDateTime moment = Monday + EncodeTime(2, 0, 0, 0);
  const std::string history = Dir / "history.jsonl";
  const std::string first = NewIncrementalFileName(name, 1, moment, history);
  EXPECT_EQ(first, Dir / "big_L1_07_12_26_02_00_00.nbk");
  WriteFileBytes(first, "level 1");
  EXPECT_EQ(NewIncrementalFileName(name, 1, moment, history), Dir / "big_L1_07_12_26_02_00_00_2.nbk");
  THistoryRecord record;
  record.Start = record.End = FormatIso8601(moment);
  record.Kind = HistoryKindNBackup;
  record.By = HistoryByUser;
  record.Database = Dir / "big.gdb";
  record.File = Dir / "big_L1_07_12_26_02_00_00_2.nbk";
  record.Outcome = HistorySuccess;
  record.Level = 1;
  ASSERT_TRUE(AppendHistory(history, record));
  EXPECT_EQ(NewIncrementalFileName(name, 1, moment, history), Dir / "big_L1_07_12_26_02_00_00_3.nbk");
  EXPECT_EQ(NewIncrementalFileName(name, 2, moment, history), Dir / "big_L2_07_12_26_02_00_00.nbk");

  const auto counted = ParseIncrementalName("big_L1_07_12_26_02_00_00_3.nbk", "big");
  ASSERT_TRUE(counted);
  EXPECT_EQ(counted->Level, 1);
  EXPECT_EQ(counted->Moment, moment);
  EXPECT_EQ(counted->Order, 3);
  EXPECT_EQ(ParseIncrementalName("big_L1_07_12_26_02_00_00.nbk", "big")->Order, 1);
  for (const char* foreign : {"big_L1_07_12_26_02_00.nbk", "big_L1_07_12_26_02_00_00_1.nbk",
                              "big_L12_07_12_26_02_00_00.nbk", "big_L1_07_12_26_02_00_00_x.nbk"})
    EXPECT_FALSE(ParseIncrementalName(foreign, "big")) << foreign;
}

// Thirty days of plan backups, a level 0 every Monday and a level 1 every
// other day, stand-in files with their history records; retention runs
// after each as after a plan backup. Whatever the rule, whole chains go:
// no kept level 1 ever lacks its level 0.
TEST_F(IncrementalPlan, RetentionOverAMonthKeepsWholeChainsOnly) {
  struct TCase {
    const char* Name;
    int KeepLast, KeepDays;
    // A level 1 made by hand on the second week's level 0.
    bool HandMade;
    std::set<int> KeptChains;  // the days their level 0 was made
  };
  const TCase cases[] = {
      {"newest two", 2, 0, false, {21, 28}},
      {"ten days", 0, 10, false, {14, 21, 28}},
      {"a hand-made file keeps its chain", 2, 0, true, {7, 21, 28}},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    Close();
    std::filesystem::remove_all(Dir.Path);
    std::filesystem::create_directory(Dir.Path);
    TQuorvin& q = Start();
    TDatabaseOptions db;
    db.DataBase = Dir / "big.fdb";
    db.KeepLastBackups = c.KeepLast;
    db.KeepBackupDays = c.KeepDays;
    const TBackupName name = SplitDataBaseName(db.DataBase);
    std::map<std::string, int> chainDay;  // file -> day of its level 0
    std::string level0;
    for (int day = 0; day < 30; ++day) {
      const TDateTime moment = Monday + day + 2.0 / 24;
      Clock.Set(moment);
      const int level = day % 7 == 0 ? 0 : 1;
      const std::string file = IncrementalFileName(name, level, moment);
      if (level == 0) level0 = file;
      WriteFileBytes(file, "stand-in");
      THistoryRecord record;
      record.Start = record.End = FormatIso8601(moment);
      record.Kind = HistoryKindNBackup;
      record.By = c.HandMade && day == 8 ? HistoryByUser : HistoryByPlan;
      record.Database = db.DataBase;
      record.File = file;
      record.Outcome = HistorySuccess;
      record.Level = level;
      record.Chain = level0;
      record.Base = level == 0 ? "" : level0;
      ASSERT_TRUE(AppendHistory(q.HistoryPath(), record));
      chainDay[file] = day - day % 7;
      TBackupOutcome made;
      made.Succeeded = true;
      made.BackFile = file;
      made.Name = name;
      made.Level = level;
      made.Chain = level0;
      q.Jobs().ApplyChainRetention(db, made);
      // Whole chains at every step: a kept file's level 0 is there.
      for (const auto& [kept, start] : chainDay) {
        if (!std::filesystem::exists(kept)) continue;
        EXPECT_TRUE(std::filesystem::exists(IncrementalFileName(name, 0, Monday + start + 2.0 / 24))) << kept;
      }
    }
    std::set<int> kept;
    int files = 0;
    for (const auto& [file, start] : chainDay) {
      if (!std::filesystem::exists(file)) continue;
      kept.insert(start);
      ++files;
    }
    EXPECT_EQ(kept, c.KeptChains);
    int whole = 0;
    for (int start : kept) whole += start == 28 ? 2 : 7;
    EXPECT_EQ(files, whole) << "every file of a kept chain stays";
  }
}

}  // namespace
