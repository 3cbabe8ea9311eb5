// The weekly plan driven by fake ticks and a clock the test moves: the worked
// day, its edge cases, and simulated weeks checked against a reference of the
// period table written independently of the plan check.

#include <gtest/gtest.h>
#include <time.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <map>
#include <optional>
#include <set>
#include <string>

#include "controller/plan/plan_summary.h"
#include "job_fixture.h"
#include "platform/files.h"

namespace {

using Strings = std::vector<std::string>;

// Monday 7 December 2026.
const TDateTime Monday = EncodeDate(2026, 12, 7);

TDateTime At(int day, int hour, int minute, int second = 0) {
  return Monday + day + EncodeTime(hour, minute, second, 0);
}

class Plan : public JobTest {
 protected:
  void SetUp() override {
    JobTest::SetUp();
    TQuorvin& q = StartWithStandIn();
    WriteFileBytes(Dir / "Shop.gdb", "LIVE");
    q.Settings().DataBase = Dir / "Shop.gdb";
    q.Settings().AutoBackName = false;
    Job = [this](TJobRunner& job) {
      Starts.push_back(Clock.Now());
      EXPECT_EQ(++Concurrent, 1) << "a second job runs beside a plan backup";
      EXPECT_TRUE(Controller->PlanBackupRunning());
      WriteFileBytes(TargetOf(job.Job()).Get(), "gbk");
      Work(JobMinutes);
      --Concurrent;
      return true;
    };
  }

  // The job's minutes pass with the timer ticking every 5 seconds, as the
  // event loop lets it during a job.
  void Work(double minutes) {
    const TDateTime end = Clock.Now() + minutes / (24.0 * 60.0);
    for (TDateTime t = Clock.Now() + 5.0 / 86400.0; t < end; t += 5.0 / 86400.0) {
      Clock.Set(t);
      Tick();
    }
    Clock.Set(end);
  }

  void AllDays(bool on = true) {
    TPlanRecord& p = Controller->Settings().PlanRecord;
    p.Day1Back = p.Day2Back = p.Day3Back = p.Day4Back = p.Day5Back = p.Day6Back = p.Day7Back = on;
  }

  // Ticks every 5 seconds (while the timer is on) from `from` until `to`.
  void RunUntil(TDateTime from, TDateTime to) {
    Clock.Set(from);
    if (!Controller->Plan().Running()) Controller->Execute();
    while (Clock.Now() < to) {
      if (Controller->Timer().Enabled()) Tick();
      // Whole seconds, so the ticks do not drift.
      Clock.Set(std::round((Clock.Now() + 5.0 / 86400.0) * 86400.0) / 86400.0);
    }
  }

  Strings StartTimes() const {
    Strings out;
    for (TDateTime t : Starts) out.push_back(FormatDateTime("dd hh:nn:ss", t));
    return out;
  }

  std::vector<TDateTime> Starts;
  double JobMinutes = 0;
  int Concurrent = 0;
};

std::string Hm(TDateTime t) { return FormatDateTime("hh:nn", t); }

// The earliest next backup of the plan.
std::optional<TDateTime> NextBackup(const TQuorvin& q) {
  const std::vector<TNextBackup> next = q.NextPlanBackups();
  if (next.empty()) return std::nullopt;
  return next.front().When;
}

TEST_F(Plan, WorkedDay) {
  AllDays();
  TPlanRecord& p = Controller->Settings().PlanRecord;
  p.DayBeginBack = EncodeTime(8, 0, 0, 0);
  p.NightBeginBack = EncodeTime(20, 0, 0, 0);
  p.DayPeriodBack = 1;
  p.NightPeriodBack = 7;
  p.NightClockBack = EncodeTime(23, 30, 0, 0);
  RunUntil(At(0, 0, 0, 1), At(1, 0, 0, 1));
  Strings expected;
  for (int h = 8; h < 20; ++h)
    for (int m : {0, 20, 40}) expected.push_back(Hm(EncodeTime(h, m, 0, 0)));
  expected.push_back("23:30");
  Strings got;
  for (TDateTime t : Starts) {
    got.push_back(Hm(t));
    EXPECT_LT(DecodeDateTime(t).Second, 5) << "caught by the first tick of its minute";
  }
  EXPECT_EQ(got, expected);
}

TEST_F(Plan, AWeekdaySwitchedOffChangesNothing) {
  TQuorvin& q = *Controller;
  AllDays();
  q.Settings().PlanRecord.Day1Back = false;  // Monday
  q.Settings().PlanRecord.NightPeriodBack = 1;
  // A backup on Sunday at 12:20 leaves its minute marked.
  RunUntil(At(-1, 12, 20, 3), At(-1, 12, 20, 4));
  ASSERT_EQ(Starts.size(), 1u);
  const TPlanEntry entry = q.PlanEntries().front();
  Clock.Set(At(0, 14, 20, 3));
  EXPECT_FALSE(q.Plan().IsPlanDue(entry));
  EXPECT_EQ(q.Plan().RunOf(1)->LastTickStamp, 1220000);
  EXPECT_TRUE(q.Plan().RunOf(1)->FiredThisMinute);
  Clock.Set(At(1, 14, 20, 3));  // Tuesday
  EXPECT_TRUE(q.Plan().IsPlanDue(entry));
  EXPECT_EQ(q.Plan().RunOf(1)->LastTickStamp, 1420000);
  EXPECT_FALSE(q.Plan().RunOf(1)->FiredThisMinute);
}

// What the dialog says of a rhythm agrees with the rules: a rhythm said to
// have no window or no minute in its window never comes within eight days,
// every other one does.
TEST_F(Plan, ARhythmThatCannotRunIsToldAndNeverRuns) {
  struct Row {
    const char* name;
    int dayStart[3];
    int nightStart[3];
    TPlanWindow window;
    std::uint8_t period;
    int clock[2];
    TRhythmProblem expected;
  };
  const auto none = TRhythmProblem::None;
  const auto noWindow = TRhythmProblem::NoWindow;
  const auto noSlot = TRhythmProblem::NoSlot;
  const auto day = TPlanWindow::Day;
  const auto night = TPlanWindow::Night;
  const Row rows[] = {
      {"day and night start together", {0, 0, 0}, {0, 0, 0}, day, 7, {0, 0}, noWindow},
      {"night starts before day", {9, 0, 0}, {7, 0, 0}, day, 3, {0, 0}, noWindow},
      {"the clock time is outside the day", {8, 0, 0}, {20, 0, 0}, day, 7, {7, 0}, noSlot},
      {"a window of ten minutes, hourly", {8, 5, 0}, {8, 15, 0}, day, 3, {0, 0}, noSlot},
      {"a window of ten minutes, every 20 minutes", {8, 5, 0}, {8, 15, 0}, day, 1, {0, 0}, noSlot},
      {"a window of twenty minutes, every 20 minutes", {8, 5, 0}, {8, 25, 0}, day, 1, {0, 0}, none},
      {"a day opening at 08:00:30 misses 08:00", {8, 0, 30}, {20, 0, 0}, day, 7, {8, 0}, noSlot},
      {"the day takes every minute", {0, 0, 0}, {23, 59, 30}, night, 1, {0, 0}, noWindow},
      {"a night clock time at 07:00", {8, 0, 0}, {20, 0, 0}, night, 7, {7, 0}, none},
      {"every four hours by day", {8, 0, 0}, {20, 0, 0}, day, 6, {0, 0}, none},
      {"no rhythm chosen", {0, 0, 0}, {0, 0, 0}, day, 0, {0, 0}, none},
  };
  AllDays();
  Clock.Set(At(0, 12, 0, 0));
  for (const Row& row : rows) {
    TPlanRecord& p = Controller->Settings().PlanRecord;
    p.DayBeginBack = EncodeTime(row.dayStart[0], row.dayStart[1], row.dayStart[2], 0);
    p.NightBeginBack = EncodeTime(row.nightStart[0], row.nightStart[1], row.nightStart[2], 0);
    p.DayPeriodBack = row.window == day ? row.period : 0;
    p.NightPeriodBack = row.window == night ? row.period : 0;
    p.DayClockBack = p.NightClockBack = EncodeTime(row.clock[0], row.clock[1], 0, 0);
    EXPECT_EQ(RhythmProblemOf(p, row.window), row.expected) << row.name;
    EXPECT_EQ(NextBackup(*Controller).has_value(), row.expected == none && row.period != 0) << row.name;
    EXPECT_EQ(RhythmProblemText(p).empty(), row.expected == none) << row.name;
  }
}

TEST_F(Plan, EdgeCasesOfTheRhythms) {
  struct Row {
    const char* name;
    int dayPeriod, nightPeriod;
    TDateTime dayBegin, nightBegin, dayClock, nightClock;
    double jobMinutes;
    TDateTime from, to;
    Strings expected;
  };
  const TDateTime midnight = 0;
  // clang-format off
  const Row rows[] = {
      {"hourly, a 70-minute backup skips 11:00", 3, 3, midnight, midnight, 0, 0, 70, At(0, 9, 58), At(0, 12, 30),
       {"07 10:00:02", "07 12:00:02"}},
      {"every 2 hours after a backup at 10:00", 4, 4, midnight, midnight, 0, 0, 0, At(0, 10, 0), At(0, 16, 30),
       {"07 10:00:02", "07 12:00:02", "07 14:00:02", "07 16:00:02"}},
      {"every 2 hours after 22:00: on across midnight", 4, 4, midnight, midnight, 0, 0, 0, At(0, 22, 0), At(1, 4, 30),
       {"07 22:00:02", "08 00:00:02", "08 02:00:02", "08 04:00:02"}},
      {"every 3 hours from program start", 5, 5, midnight, midnight, 0, 0, 0, At(0, 9, 30), At(0, 15, 30),
       {"07 10:00:02", "07 13:00:02"}},
      {"every 4 hours from program start", 6, 6, midnight, midnight, 0, 0, 0, At(0, 9, 30), At(0, 18, 30),
       {"07 10:00:02", "07 14:00:02", "07 18:00:02"}},
      {"day window opening at 08:00:30", 3, 0, EncodeTime(8, 0, 30, 0), EncodeTime(20, 0, 0, 0), 0, 0, 0,
       At(0, 7, 50), At(0, 9, 30), {"07 09:00:02"}},
      {"night window opening with seconds", 0, 3, EncodeTime(8, 0, 0, 0), EncodeTime(20, 0, 30, 0), 0, 0, 0,
       At(0, 19, 50), At(0, 21, 30), {"07 21:00:02"}},
      {"both windows at midnight: the night rhythm all day", 1, 2, midnight, midnight, 0, 0, 0, At(0, 11, 50),
       At(0, 13, 10), {"07 12:00:02", "07 12:30:02", "07 13:00:02"}},
      {"night start before day start: night all day", 1, 3, EncodeTime(20, 0, 0, 0), EncodeTime(8, 0, 0, 0), 0, 0,
       0, At(0, 11, 50), At(0, 12, 50), {"07 12:00:02"}},
      {"midnight after a backup at 23:00", 3, 3, midnight, midnight, 0, 0, 0, At(0, 22, 59), At(1, 0, 30),
       {"07 23:00:02", "08 00:00:02"}},
      {"clock time with seconds", 0, 7, midnight, midnight, 0, EncodeTime(23, 30, 45, 0), 0, At(0, 23, 0),
       At(0, 23, 59), {"07 23:30:02"}},
      {"day clock time", 7, 0, EncodeTime(8, 0, 0, 0), EncodeTime(20, 0, 0, 0), EncodeTime(9, 15, 59, 0), 0, 0,
       At(0, 9, 0), At(0, 9, 30), {"07 09:15:02"}},
      {"day window ending at 12:10", 1, 0, EncodeTime(8, 0, 0, 0), EncodeTime(12, 10, 0, 0), 0, 0, 0,
       At(0, 11, 50), At(0, 13, 0), {"07 12:00:02"}},
      {"a backup ending within its minute is not repeated", 3, 3, midnight, midnight, 0, 0, 0.5, At(0, 9, 59),
       At(0, 10, 30), {"07 10:00:02"}},
      {"indexes beyond 7 never", 8, 255, EncodeTime(8, 0, 0, 0), EncodeTime(20, 0, 0, 0), 0, 0, 0, At(0, 7, 0),
       At(0, 21, 0), {}},
  };
  // clang-format on
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    // A fresh run each: the plan remembers the minutes of its starts.
    Close();
    TQuorvin& q = StartWithStandIn();
    q.Settings().DataBase = Dir / "Shop.gdb";
    q.Settings().AutoBackName = false;
    AllDays();
    TPlanRecord& p = q.Settings().PlanRecord;
    p.DayPeriodBack = static_cast<std::uint8_t>(row.dayPeriod);
    p.NightPeriodBack = static_cast<std::uint8_t>(row.nightPeriod);
    p.DayBeginBack = row.dayBegin;
    p.NightBeginBack = row.nightBegin;
    p.DayClockBack = row.dayClock;
    p.NightClockBack = row.nightClock;
    JobMinutes = row.jobMinutes;
    Starts.clear();
    // First tick two seconds into a minute.
    RunUntil(row.from + 2.0 / 86400.0, row.to);  // dates: 07 Monday, 08 Tuesday
    EXPECT_EQ(StartTimes(), row.expected);
    q.Stop();
  }
}

TEST_F(Plan, StopAndExecuteWithinTheMinuteDoNotRepeatABackup) {
  TQuorvin& q = *Controller;
  AllDays();
  q.Settings().PlanRecord.NightPeriodBack = 3;
  RunUntil(At(0, 10, 0, 1), At(0, 10, 0, 20));
  q.Stop();
  RunUntil(At(0, 10, 0, 30), At(0, 10, 1, 0));
  EXPECT_EQ(StartTimes(), Strings{"07 10:00:01"});
  // The plan changed in the dialog takes effect at the next tick; the
  // minute bookkeeping stays.
  q.Settings().PlanRecord.NightPeriodBack = 1;
  RunUntil(At(0, 10, 1, 0), At(0, 10, 21, 0));
  EXPECT_EQ(StartTimes(), (Strings{"07 10:00:01", "07 10:20:00"}));
}

TEST_F(Plan, TicksDuringAPlanBackupSkipItsEntryAndTheTimerStaysOffAfterStop) {
  TQuorvin& q = *Controller;
  AllDays();
  q.Settings().PlanRecord.NightPeriodBack = 3;
  bool skippedWhileBusy = false;
  Job = [&](TJobRunner& job) {
    Starts.push_back(Clock.Now());
    EXPECT_TRUE(q.Timer().Enabled());
    // The schedule dialog started the plan anew during a backup that ran
    // into the next hour: its tick skips the entry whose backup runs.
    OnFrontEnd([&] { q.Execute(); });
    EXPECT_TRUE(q.Timer().Enabled());
    Clock.Set(At(0, 11, 0, 3));
    Tick();
    skippedWhileBusy = Starts.size() == 1 && q.Queue().Waiting().empty();
    OnFrontEnd([&] { q.Stop(); });
    WriteFileBytes(TargetOf(job.Job()).Get(), "gbk");
    return true;
  };
  Clock.Set(At(0, 10, 0, 3));
  q.Execute();
  Tick();
  EXPECT_TRUE(skippedWhileBusy);
  EXPECT_EQ(Starts.size(), 1u);
  EXPECT_FALSE(q.Timer().Enabled());
  EXPECT_FALSE(q.Plan().Running());
  EXPECT_FALSE(q.PlanBackupRunning());
}

// Two databases every 30 minutes, due together at 10:00: Stock's backup
// waits behind Shop's, which ends one second into 10:30, and runs within its
// own 10:30 slot. That slot fell while Stock's backup waited, and Shop's
// while Shop's ran: each is served by that backup, and no second backup of
// either starts in 10:30 (Stock's would have had its first one's name).
TEST_F(Plan, ASlotThatFellWhileTheBackupWaitedOrRanIsServedByIt) {
  TQuorvin& q = *Controller;
  WriteFileBytes(Dir / "Stock.gdb", "LIVE");
  q.Settings().AutoBackName = true;
  AllDays();
  q.Settings().PlanRecord.NightPeriodBack = 2;
  TPlanEntry stock = NewPlanEntry(q.Settings(), Dir / "Stock.gdb");
  stock.PlanRecord = q.Settings().PlanRecord;
  stock.AutoBackName = true;
  SetPlanEntries(q.Settings(), {q.PlanEntries().front(), stock});
  Strings started;
  Job = [&](TJobRunner& job) {
    const bool shop = SourceOf(job.Job()).Get() == Dir / "Shop.gdb";
    started.push_back(FormatDateTime("hh:nn:ss ", Clock.Now()) + (shop ? "Shop" : "Stock"));
    WriteFileBytes(TargetOf(job.Job()).Get(), "backup " + std::to_string(started.size()));
    // Shop's first backup: its last tick at 10:29:57, its end at 10:30:01.
    Work(started.size() == 1 ? 29 + 59.0 / 60 : 20.0 / 60);
    return true;
  };
  RunUntil(At(0, 10, 0, 2), At(0, 10, 59, 0));
  EXPECT_EQ(started, (Strings{"10:00:02 Shop", "10:30:01 Stock"}));
  EXPECT_EQ(FilesWith("Stock_"), Strings{"Stock_07_12_26_10_30.gbk"});
  EXPECT_EQ(ReadFileBytes(Dir / "Stock_07_12_26_10_30.gbk"), "backup 2");
  EXPECT_EQ(ReadHistory(q.HistoryPath()).size(), 2u);
  // The rhythm goes on at 11:00 for both.
  RunUntil(At(0, 10, 59, 0), At(0, 11, 1, 0));
  EXPECT_EQ(started.size(), 4u);
}

// Backups of one database in one minute never share a name: the plan's and
// two by hand in one second, one after a backup whose file retention took
// (the history still names it), and one whose name a copy on this computer
// has. Each keeps its own file.
TEST_F(Plan, TwoBackupsOfOneDatabaseInOneMinuteNeverShareAName) {
  TQuorvin& q = *Controller;
  q.Settings().AutoBackName = true;
  AllDays();
  q.Settings().PlanRecord.NightPeriodBack = 2;
  int made = 0;
  Job = [&](TJobRunner& job) {
    WriteFileBytes(TargetOf(job.Job()).Get(), "backup " + std::to_string(++made));
    return true;
  };
  RunUntil(At(0, 10, 30, 2), At(0, 10, 30, 3));
  Clock.Set(At(0, 10, 30, 40));
  const std::string second = BackupNow().BackFile;
  const std::string third = BackupNow().BackFile;
  Clock.Set(At(0, 10, 31, 5));
  ASSERT_TRUE(DeleteFile(BackupNow().BackFile));
  Clock.Set(At(0, 10, 31, 10));
  const std::string fifth = BackupNow().BackFile;
  q.Settings().LocalCopyDir = Dir / "copies";
  ASSERT_TRUE(CreateDir(q.Settings().LocalCopyDir));
  WriteFileBytes(Dir / "copies/Shop_07_12_26_10_32.gbk.zst", "an earlier copy");
  Clock.Set(At(0, 10, 32, 0));
  const std::string sixth = BackupNow().BackFile;

  EXPECT_EQ(made, 6);
  EXPECT_EQ(second, Dir / "Shop_07_12_26_10_30_40.gbk");
  EXPECT_EQ(third, Dir / "Shop_07_12_26_10_30_40_2.gbk");
  EXPECT_EQ(fifth, Dir / "Shop_07_12_26_10_31_10.gbk");
  EXPECT_EQ(sixth, Dir / "Shop_07_12_26_10_32_00.gbk");
  const std::map<std::string, std::string> kept = {{"Shop_07_12_26_10_30.gbk", "backup 1"},
                                                   {"Shop_07_12_26_10_30_40.gbk", "backup 2"},
                                                   {"Shop_07_12_26_10_30_40_2.gbk", "backup 3"},
                                                   {"Shop_07_12_26_10_31_10.gbk", "backup 5"},
                                                   {"Shop_07_12_26_10_32_00.gbk", "backup 6"}};
  for (const auto& [name, bytes] : kept) EXPECT_EQ(ReadFileBytes(Dir / name), bytes) << name;
  EXPECT_EQ(FilesWith(".gbk").size(), kept.size());
  EXPECT_EQ(ReadFileBytes(Dir / "copies/Shop_07_12_26_10_32.gbk.zst"), "an earlier copy");
  // The history names each backup once.
  std::set<std::string> named;
  for (const THistoryRecord& record : ReadHistory(q.HistoryPath())) named.insert(record.File);
  EXPECT_EQ(named.size(), 6u);
}

// The period table written out again, on seconds of the day rather than
// minute stamps.
struct TReferencePlan {
  bool Days[8] = {};  // 1 Monday … 7 Sunday
  int DayBeginSec = 0, NightBeginSec = 0;
  int DayPeriod = 0, NightPeriod = 0;
  int DayClockH = 0, DayClockM = 0, NightClockH = 0, NightClockM = 0;

  // When the window that applies at `now` last opened; far in the past for
  // a night window that never closes.
  TDateTime Opened(TDateTime now, bool day) const {
    if (NightBeginSec <= DayBeginSec) return -1e9;
    const TDateParts t = DecodeDateTime(now);
    const int sec = t.Hour * 3600 + t.Minute * 60;
    const TDateTime today = std::floor(now);
    if (day) return today + DayBeginSec / 86400.0;
    return (sec >= NightBeginSec ? today : today - 1) + NightBeginSec / 86400.0;
  }

  // `lastRun` 0: no plan backup yet in this run.
  bool Due(TDateTime now, TDateTime lastRun) const {
    const TDateParts t = DecodeDateTime(now);
    if (!Days[DayOfTheWeek(now)]) return false;
    const int sec = t.Hour * 3600 + t.Minute * 60;
    const bool day = DayBeginSec <= sec && sec < NightBeginSec;
    const int period = day ? DayPeriod : NightPeriod;
    const int ch = day ? DayClockH : NightClockH;
    const int cm = day ? DayClockM : NightClockM;
    const bool onTheHour = t.Minute == 0;
    switch (period) {
      case 1: return t.Minute % 20 == 0;
      case 2: return t.Minute % 30 == 0;
      case 3: return onTheHour;
      case 4:
      case 5:
      case 6: {
        // The first full hour of the window, then every N hours of the wall
        // clock, across midnight too.
        if (!onTheHour) return false;
        if (lastRun == 0 || lastRun < Opened(now, day)) return true;
        const double hours = (std::floor(now) - std::floor(lastRun)) * 24 + t.Hour - DecodeDateTime(lastRun).Hour;
        return hours >= period - 2;
      }
      case 7: return t.Hour == ch && t.Minute == cm;
      default: return false;
    }
  }
};

int SecondsOf(int h, int m, int s) { return h * 3600 + m * 60 + s; }

TEST_F(Plan, SimulatedWeeksAgainstTheReference) {
  struct Week {
    int dayPeriod, nightPeriod;
    int dayBegin[3], nightBegin[3], dayClock[3], nightClock[3];
    unsigned days;  // bit 0 Monday … bit 6 Sunday
    double jobMinutes;
  };
  std::vector<Week> weeks;
  // Every index in both windows, window starts with seconds, clock times
  // with seconds and at midnight, weekdays on and off, long backups.
  for (int i = 0; i <= 8; ++i) {
    weeks.push_back({i,
                     8 - i,
                     {7, 59, 30},
                     {19, 30, 15},
                     {9, 40, 50},
                     {0, 0, 0},
                     0x7Fu & ~(1u << (i % 7)),
                     i % 3 == 0 ? 70.0 : (i % 3 == 1 ? 0.2 : 0)});
  }
  weeks.push_back({4, 6, {0, 0, 0}, {0, 0, 0}, {0, 0, 0}, {0, 0, 0}, 0x55u, 0});
  weeks.push_back({7, 7, {12, 0, 0}, {6, 0, 0}, {13, 0, 0}, {23, 59, 59}, 0x7Fu, 70});
  weeks.push_back({1, 7, {0, 0, 30}, {23, 59, 0}, {0, 0, 0}, {23, 59, 30}, 0x7Fu, 1.5});

  for (std::size_t w = 0; w < weeks.size(); ++w) {
    const Week& week = weeks[w];
    SCOPED_TRACE("week " + std::to_string(w));
    Close();
    Jobs.clear();
    Starts.clear();
    Clock.Set(Monday - 1);  // the log file of this run
    TQuorvin& q = StartWithStandIn();
    q.Settings().DataBase = Dir / "Shop.gdb";
    q.Settings().AutoBackName = false;
    JobMinutes = week.jobMinutes;
    TPlanRecord& p = q.Settings().PlanRecord;
    bool* days[] = {&p.Day1Back, &p.Day2Back, &p.Day3Back, &p.Day4Back, &p.Day5Back, &p.Day6Back, &p.Day7Back};
    TReferencePlan ref;
    for (int d = 0; d < 7; ++d) *days[d] = ref.Days[d + 1] = (week.days >> d) & 1u;
    p.DayPeriodBack = static_cast<std::uint8_t>(week.dayPeriod);
    p.NightPeriodBack = static_cast<std::uint8_t>(week.nightPeriod);
    p.DayBeginBack = EncodeTime(week.dayBegin[0], week.dayBegin[1], week.dayBegin[2], 0);
    p.NightBeginBack = EncodeTime(week.nightBegin[0], week.nightBegin[1], week.nightBegin[2], 0);
    p.DayClockBack = EncodeTime(week.dayClock[0], week.dayClock[1], week.dayClock[2], 0);
    p.NightClockBack = EncodeTime(week.nightClock[0], week.nightClock[1], week.nightClock[2], 0);
    ref.DayPeriod = week.dayPeriod;
    ref.NightPeriod = week.nightPeriod;
    // A window start with seconds opens the window at the next full minute.
    const auto opens = [](const int hms[3]) { return SecondsOf(hms[0], hms[1], 0) + (hms[2] > 0 ? 60 : 0); };
    ref.DayBeginSec = opens(week.dayBegin);
    ref.NightBeginSec = opens(week.nightBegin);
    ref.DayClockH = week.dayClock[0];
    ref.DayClockM = week.dayClock[1];
    ref.NightClockH = week.nightClock[0];
    ref.NightClockM = week.nightClock[1];

    // Ticks every 5 seconds from Sunday 23:58:03 for a week and a bit.
    std::int64_t clockSec = -117;
    Clock.Set(Monday + clockSec / 86400.0);
    q.Execute();
    TDateTime lastRun = 0;
    std::int64_t lastStartMinute = INT64_MIN;
    int expectedStarts = 0;
    const std::int64_t end = 7 * 86400 + 3600;
    while (clockSec < end) {
      Clock.Set(Monday + static_cast<double>(clockSec) / 86400.0);
      ASSERT_TRUE(q.Timer().Enabled());
      const std::int64_t minute = (clockSec + 86400 * 10) / 60;
      const bool expectStart = ref.Due(Clock.Now(), lastRun) && minute != lastStartMinute;
      const std::size_t before = Starts.size();
      const TDateTime tickMoment = Clock.Now();
      Tick();
      ASSERT_EQ(Starts.size() - before, expectStart ? 1u : 0u) << FormatDateTime("dd.mm hh:nn:ss", tickMoment);
      if (expectStart) {
        ++expectedStarts;
        lastRun = tickMoment;
        lastStartMinute = minute;
        // The backup moved the clock on; the next tick comes 5 s after it.
        const double took = (Clock.Now() - tickMoment) * 86400.0;
        clockSec += static_cast<std::int64_t>(took + 0.5);
      }
      clockSec += 5;
    }
    EXPECT_EQ(static_cast<int>(Starts.size()), expectedStarts);

    // The log: the start line, the outcome line and "---" for each.
    Strings log = LogAfterStart();
    ASSERT_EQ(log.size(), 1 + 3 * Starts.size());
    EXPECT_EQ(log[0], FormatDateTime("dd.mm.yyyy в hh:nn", Monday - 117 / 86400.0) + " Сервис запущен.");
    for (std::size_t i = 0; i < Starts.size(); ++i) {
      const std::string stamp = FormatDateTime("dd.mm.yyyy в hh:nn", Starts[i]);
      EXPECT_EQ(log[1 + 3 * i], stamp + " резервная копия. начало");
      const std::string ended = FormatDateTime("dd.mm.yyyy в hh:nn", Starts[i] + JobMinutes / 1440.0);
      EXPECT_EQ(log[2 + 3 * i], ended + " Резервная копия создана. " + Dir / "Shop.gbk");
      EXPECT_EQ(log[3 + 3 * i], "---");
    }
    if (w == 0) {
      EXPECT_EQ(Starts.size(), 0u);  // both indexes "never"
    }
    if (week.dayPeriod == 1 && week.jobMinutes == 0.2) {
      EXPECT_GT(Starts.size(), 100u);
    }
  }
}

// "dd.mm.yyyy hh:nn[:ss]" in local time, as an instant.
std::int64_t LocalInstant(const std::string& t) {
  const int second = t.size() > 16 ? std::stoi(t.substr(17, 2)) : 0;
  return UtcMsOf(EncodeDate(std::stoi(t.substr(6, 4)), std::stoi(t.substr(3, 2)), std::stoi(t.substr(0, 2))) +
                 EncodeTime(std::stoi(t.substr(11, 2)), std::stoi(t.substr(14, 2)), second, 0));
}

// "dd.mm hh:nn" and the zone's abbreviation (CET, CEST).
std::string WallMinute(std::int64_t utcMs) {
  const time_t seconds = static_cast<time_t>(utcMs / 1000);
  struct tm t {};
  localtime_r(&seconds, &t);
  char text[32];
  std::strftime(text, sizeof text, "%d.%m %H:%M %Z", &t);
  return text;
}

// Each day ("dd.mm") at each time ("hh:nn"), in `zone`.
Strings Each(const Strings& days, const Strings& times, const std::string& zone = "CET") {
  Strings out;
  for (const auto& d : days)
    for (const auto& t : times) out.push_back(d + " " + t + " " + zone);
  return out;
}

Strings operator+(Strings a, const Strings& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// Days of ticks every 5 seconds in Berlin on an instant clock: both windows,
// a window over midnight, a slot missed by a long backup, the days on which
// summer time ends and begins, a clock set back and forward by hand. After
// every start the next one is asked of the plan in advance and must come
// true, unless the clock is set by hand meanwhile.
TEST_F(Plan, DaysOfTicksOnTheWallClockOfBerlin) {
  struct TScenario {
    const char* Name;
    int DayPeriod, NightPeriod, DayBegin, NightBegin;  // window starts as whole hours
    const char* Clock;                                 // the night's clock time
    const char *From, *To;
    const char* HandSetAt;  // local moment the clock is set by hand, by HandSetMinutes
    int HandSetMinutes;
    const char* LongJob;  // "dd.mm hh:nn ZZZ" of a backup that runs 130 minutes
    Strings Expected;
  };
  // clang-format off
  const TScenario scenarios[] = {
      {"day window 08-20 every 2 hours, every day", 4, 0, 8, 20, "00:00", "07.12.2026 07:00", "09.12.2026 21:00",
       nullptr, 0, nullptr, Each({"07.12", "08.12", "09.12"}, {"08:00", "10:00", "12:00", "14:00", "16:00", "18:00"})},
      {"night window 20-08 every 4 hours, every night", 0, 6, 8, 20, "00:00", "07.12.2026 19:00", "09.12.2026 07:00",
       nullptr, 0, nullptr,
       Each({"07.12"}, {"20:00"}) + Each({"08.12"}, {"00:00", "04:00", "20:00"}) + Each({"09.12"}, {"00:00", "04:00"})},
      {"a slot missed by a long backup: the rhythm goes on", 4, 0, 8, 20, "00:00", "07.12.2026 07:00",
       "08.12.2026 09:00", nullptr, 0, "07.12 10:00 CET",
       Each({"07.12"}, {"08:00", "10:00", "13:00", "15:00", "17:00", "19:00"}) + Each({"08.12"}, {"08:00"})},
      {"summer time ends: the hourly rhythm never twice at 02:00", 0, 3, 0, 0, "00:00", "24.10.2026 23:30",
       "25.10.2026 04:30", nullptr, 0, nullptr,
       Each({"25.10"}, {"00:00", "01:00", "02:00"}, "CEST") + Each({"25.10"}, {"03:00", "04:00"})},
      {"summer time ends: a clock time of 02:30 once", 0, 7, 0, 0, "02:30", "24.10.2026 23:00", "26.10.2026 04:00",
       nullptr, 0, nullptr, Each({"25.10"}, {"02:30"}, "CEST") + Each({"26.10"}, {"02:30"})},
      {"summer time begins: 02:30 at the first tick after the jump", 0, 7, 0, 0, "02:30", "28.03.2026 23:00",
       "30.03.2026 04:00", nullptr, 0, nullptr, Each({"29.03"}, {"03:00"}, "CEST") + Each({"30.03"}, {"02:30"}, "CEST")},
      {"clock set back by hand: no minute twice", 3, 0, 8, 20, "00:00", "07.12.2026 07:55", "07.12.2026 16:30",
       "07.12.2026 14:00:30", -90, nullptr,
       Each({"07.12"}, {"08:00", "09:00", "10:00", "11:00", "12:00", "13:00", "14:00", "15:00", "16:00"})},
      {"clock set forward by hand past a clock time", 0, 7, 0, 0, "14:00", "07.12.2026 13:00", "08.12.2026 15:00",
       "07.12.2026 13:50", 70, nullptr, Each({"07.12"}, {"15:00"}) + Each({"08.12"}, {"14:00"})},
  };
  // clang-format on
  const char* oldZone = std::getenv("TZ");
  const std::string restoreZone = oldZone ? oldZone : "";
  setenv("TZ", "Europe/Berlin", 1);
  tzset();
  for (const TScenario& scenario : scenarios) {
    SCOPED_TRACE(scenario.Name);
    Close();
    Clock.SetInstantMode(LocalInstant(scenario.From));
    TQuorvin& q = StartWithStandIn();
    q.Settings().DataBase = Dir / "Shop.gdb";
    AllDays();
    TPlanRecord& p = q.Settings().PlanRecord;
    p.DayPeriodBack = static_cast<std::uint8_t>(scenario.DayPeriod);
    p.NightPeriodBack = static_cast<std::uint8_t>(scenario.NightPeriod);
    p.DayBeginBack = EncodeTime(scenario.DayBegin, 0, 0, 0);
    p.NightBeginBack = EncodeTime(scenario.NightBegin, 0, 0, 0);
    p.NightClockBack = EncodeTime(std::stoi(std::string(scenario.Clock, 2)), std::stoi(scenario.Clock + 3), 0, 0);
    Strings started;
    Job = [&](TJobRunner&) {
      started.push_back(WallMinute(Clock.UtcMs()));
      const bool longJob = scenario.LongJob && started.back() == scenario.LongJob;
      // Ticks during the job skip its entry.
      for (std::int64_t left = longJob ? 130 * 60000 : 12000; left > 0; left -= 5000) {
        Clock.Pass(std::min<std::int64_t>(left, 5000));
        Tick();
      }
      return true;
    };
    std::optional<TDateTime> predicted = NextBackup(q);
    bool handSet = false;
    q.Execute();
    for (const std::int64_t to = LocalInstant(scenario.To); Clock.UtcMs() < to; Clock.Pass(5000)) {
      if (scenario.HandSetAt && !handSet && Clock.UtcMs() >= LocalInstant(scenario.HandSetAt)) {
        Clock.SetWall(Clock.UtcMs() + scenario.HandSetMinutes * 60000LL);
        handSet = true;
        predicted.reset();
      }
      const std::size_t before = started.size();
      Tick();
      if (started.size() == before) continue;
      if (predicted) {
        EXPECT_EQ(FormatDateTime("dd.mm hh:nn", *predicted), started.back().substr(0, 11));
      }
      predicted = NextBackup(q);
    }
    EXPECT_EQ(started, scenario.Expected);
  }
  if (oldZone) {
    setenv("TZ", restoreZone.c_str(), 1);
  } else {
    unsetenv("TZ");
  }
  tzset();
}

}  // namespace
