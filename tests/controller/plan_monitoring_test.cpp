// The plan's dry run and what monitoring makes of its backups: the verdicts
// of each database against its rhythm, the summary line, and the text the
// node exporter reads.

#include <gtest/gtest.h>

#include <ctime>

#include "controller/monitoring/metrics_text.h"
#include "controller/monitoring/plan_health.h"
#include "controller/plan/plan_dry_run.h"
#include "platform/iso_time.h"
#include "platform/scoped_env.h"

namespace {

// Monday 7 December 2026, in UTC.
const TDateTime Monday = EncodeDate(2026, 12, 7);
constexpr std::array<bool, 7> Weekdays = {true, true, true, true, true, false, false};
constexpr std::array<bool, 7> EveryDay = {true, true, true, true, true, true, true};

TPlanRecord Rhythm(std::array<bool, 7> days, int dayPeriod, int nightPeriod, const char* night = "02:30") {
  TPlanRecord plan;
  bool* const on[] = {&plan.Day1Back, &plan.Day2Back, &plan.Day3Back, &plan.Day4Back,
                      &plan.Day5Back, &plan.Day6Back, &plan.Day7Back};
  for (std::size_t d = 0; d < 7; ++d) *on[d] = days[d];
  plan.DayBeginBack = EncodeTime(8, 0, 0, 0);
  plan.NightBeginBack = EncodeTime(20, 0, 0, 0);
  plan.DayPeriodBack = static_cast<std::uint8_t>(dayPeriod);
  plan.NightPeriodBack = static_cast<std::uint8_t>(nightPeriod);
  plan.NightClockBack = StrToTime(night);
  plan.QueueBack = 1;
  return plan;
}

TPlanEntry Entry(const std::string& database, TPlanRecord plan) {
  TPlanEntry entry;
  entry.DataBase = database;
  entry.PlanRecord = plan;
  return entry;
}

class PlanMonitoring : public ::testing::Test {
 protected:
  void SetUp() override {
    Zone.Set("TZ", "UTC");
    tzset();
  }
  void TearDown() override { tzset(); }
  static TClockReading At(TDateTime local) { return {UtcMsOf(local), 0}; }
  TScopedEnv Zone;
};

// A weekday plan every 4 hours by day and at 02:30 by night, and an
// incremental one whose level 0 comes on Sunday and level 1 every night.
TEST_F(PlanMonitoring, TheDryRunSaysWhatTheRulesWouldStartAndTheLongestGap) {
  TPlanEntry incremental =
      Entry("/srv/stock.fdb", Rhythm({false, false, false, false, false, false, true}, 0, 7, "01:00"));
  incremental.BackupKind = TDatabaseOptions::BackupKindIncremental;
  incremental.LevelPlans.Level[0] = Rhythm(EveryDay, 0, 7, "01:00");
  const std::vector<TPlanEntry> entries = {Entry("/srv/shop.fdb", Rhythm(Weekdays, 6, 7)), incremental};
  const std::vector<TPlannedBackup> planned = PlanDryRun(entries, At(Monday + EncodeTime(10, 7, 0, 0)), 7);
  static constexpr const char* Days[] = {"Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"};
  std::vector<std::string> seen;
  for (const TPlannedBackup& backup : planned)
    seen.push_back(std::to_string(backup.Entry + 1) + " " + Days[DayOfTheWeek(backup.When) - 1] +
                   FormatDateTime(" dd hh:nn", backup.When) + " L" + std::to_string(backup.Level));
  // The first full hour of a started plan, then every 4 hours from it
  // until the night window; the weekend on no day of the first entry.
  const std::vector<std::string> first(seen.begin(), seen.begin() + 9);
  EXPECT_EQ(first, (std::vector<std::string>{"1 Mon 07 11:00 L0", "1 Mon 07 15:00 L0", "1 Mon 07 19:00 L0",
                                             "2 Tue 08 01:00 L1", "1 Tue 08 02:30 L0", "1 Tue 08 08:00 L0",
                                             "1 Tue 08 12:00 L0", "1 Tue 08 16:00 L0", "2 Wed 09 01:00 L1"}));
  EXPECT_NE(std::find(seen.begin(), seen.end(), "2 Sun 13 01:00 L0"), seen.end()) << "level 0 stands for level 1";
  EXPECT_EQ(std::count_if(seen.begin(), seen.end(), [](const std::string& s) { return s.find("Sat") != s.npos; }), 1);

  // Friday 16:00 to Monday 02:30; every night.
  EXPECT_EQ(LongestPlanGap(entries[0], At(Monday)), (2 * 24 + 10) * 3600 + 30 * 60);
  EXPECT_EQ(LongestPlanGap(incremental, At(Monday)), 24 * 3600);
  EXPECT_FALSE(LongestPlanGap(Entry("/srv/off.fdb", Rhythm({}, 3, 3)), At(Monday)).has_value());
}

THistoryRecord Record(const std::string& database, const char* by, TDateTime start, int seconds, bool ok) {
  THistoryRecord record;
  record.Kind = HistoryKindBackup;
  record.By = by;
  record.Database = database;
  record.Start = FormatIso8601(start);
  record.End = FormatIso8601(start + seconds / 86400.0);
  record.File = database + "_" + FormatDateTime("dd_mm_yy_hh_nn", start) + ".gbk";
  record.Size = 1000 + static_cast<std::uint64_t>(seconds);
  record.Outcome = ok ? HistorySuccess : HistoryFailure;
  record.Reason = ok ? "" : "Unable to complete network request";
  return record;
}

// The off-site copy of a plan backup.
THistoryRecord Offsite(const std::string& database, TDateTime start, bool ok) {
  THistoryRecord record = Record(database, HistoryByPlan, start, 30, ok);
  record.Kind = HistoryKindOffsite;
  return record;
}

// Every 4 hours all week (the longest gap 4 h; a backup of 10 minutes):
// late after 4 h 20 min, critical after 8 h 20 min.
TEST_F(PlanMonitoring, EachDatabaseIsJudgedAgainstItsRhythmAndTheWholeByItsWorst) {
  const TDateTime now = Monday + EncodeTime(12, 0, 0, 0);
  const double hour = 1.0 / 24;
  const std::string db = "/srv/shop.fdb";
  struct Row {
    const char* name;
    std::vector<THistoryRecord> records;
    TPlanRecord plan;
    THealth health;
    std::string says;
  } const rows[] = {
      {"on time",
       {Record(db, HistoryByPlan, now - 3 * hour, 600, true)},
       Rhythm(EveryDay, 6, 6),
       THealth::Ok,
       "succeeded"},
      {"one missing",
       {Record(db, HistoryByPlan, now - 5 * hour, 600, true)},
       Rhythm(EveryDay, 6, 6),
       THealth::Warning,
       "is 5 h 0 min old, more than 4 h 20 min its plan allows"},
      {"two missing",
       {Record(db, HistoryByPlan, now - 9 * hour, 600, true)},
       Rhythm(EveryDay, 6, 6),
       THealth::Critical,
       "more than 8 h 20 min its plan allows"},
      {"failed after a recent success",
       {Record(db, HistoryByPlan, now - 5 * hour, 600, true), Record(db, HistoryByPlan, now - hour, 60, false)},
       Rhythm(EveryDay, 6, 6),
       THealth::Warning,
       "failed at " + FormatIso8601(now - hour + 60.0 / 86400)},
      {"failed long after the last success",
       {Record(db, HistoryByPlan, now - 10 * hour, 600, true), Record(db, HistoryByPlan, now - hour, 60, false)},
       Rhythm(EveryDay, 6, 6),
       THealth::Critical,
       "Unable to complete network request"},
      {"backups by hand only",
       {Record(db, HistoryByUser, now - hour, 60, true)},
       Rhythm(EveryDay, 6, 6),
       THealth::Warning,
       "no plan backup yet"},
      {"another database's",
       {Record(db + "2", HistoryByPlan, now - hour, 60, true)},
       Rhythm(EveryDay, 6, 6),
       THealth::Warning,
       "no plan backup yet"},
      {"on no day", {}, Rhythm({}, 6, 6), THealth::Ok, "makes no plan backups"},
      {"its off-site copy failed",
       {Record(db, HistoryByPlan, now - 3 * hour, 600, true), Offsite(db, now - 3 * hour + 0.01, false)},
       Rhythm(EveryDay, 6, 6),
       THealth::Warning,
       "last off-site copy failed at"},
      {"its off-site copy failed, then one was made",
       {Offsite(db, now - 4 * hour, false), Record(db, HistoryByPlan, now - 3 * hour, 600, true),
        Offsite(db, now - 3 * hour + 0.01, true)},
       Rhythm(EveryDay, 6, 6),
       THealth::Ok,
       "succeeded"},
      {"late, and its off-site copy failed",
       {Record(db, HistoryByPlan, now - 9 * hour, 600, true), Offsite(db, now - 9 * hour + 0.01, false)},
       Rhythm(EveryDay, 6, 6),
       THealth::Critical,
       "more than 8 h 20 min its plan allows"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const std::vector<TEntryHealth> health = PlanHealthOf({Entry(db, row.plan)}, row.records, At(now));
    ASSERT_EQ(health.size(), 1u);
    EXPECT_EQ(health[0].Health, row.health);
    EXPECT_NE(health[0].Reason.find(row.says), std::string::npos) << health[0].Reason;
    EXPECT_EQ(OverallHealth(health, "quorvinctl").Health, row.health);
    EXPECT_EQ(OverallHealth(health, "").Health, THealth::Critical);
  }
  const std::vector<TEntryHealth> fine =
      PlanHealthOf({Entry(db, Rhythm(EveryDay, 6, 6)), Entry("", Rhythm(EveryDay, 6, 6))},
                   {Record(db, HistoryByPlan, now - hour, 600, true)}, At(now));
  EXPECT_EQ(OverallHealth(fine, "quorvinctl (pid 7 on vm)").Summary,
            "QUORVIN OK - plan run by quorvinctl (pid 7 on vm); 1 database backed up on time");
  EXPECT_EQ(OverallHealth({}, "").Summary, "QUORVIN CRITICAL - nothing runs the plan; the plan has no databases");
}

TEST_F(PlanMonitoring, TheMetricsTextIsTheNodeExportersFormat) {
  const TDateTime now = Monday + EncodeTime(12, 0, 0, 0);
  const std::string odd = "C:\\data\\\"odd\".fdb";
  const std::vector<TEntryHealth> entries =
      PlanHealthOf({Entry("/srv/shop.fdb", Rhythm(EveryDay, 6, 6)), Entry(odd, Rhythm(EveryDay, 6, 6))},
                   {Record("/srv/shop.fdb", HistoryByPlan, now - 2.0 / 24, 90, true),
                    Record("/srv/shop.fdb", HistoryByPlan, now - 1.0 / 24, 30, false)},
                   At(now));
  const std::string end = std::to_string(UtcMsOf(now - 2.0 / 24) / 1000 + 90);
  EXPECT_EQ(
      MetricsText(entries, true),
      "# HELP quorvin_plan_running Whether this program runs the plan of its settings file (1) or not (0).\n"
      "# TYPE quorvin_plan_running gauge\nquorvin_plan_running 1\n"
      "# HELP quorvin_last_success_timestamp_seconds End of the last successful plan backup of the database "
      "(Unix time; 0: none yet).\n"
      "# TYPE quorvin_last_success_timestamp_seconds gauge\n"
      "quorvin_last_success_timestamp_seconds{database=\"/srv/shop.fdb\",entry=\"1\"} " +
          end +
          "\n"
          "quorvin_last_success_timestamp_seconds{database=\"C:\\\\data\\\\\\\"odd\\\".fdb\",entry=\"2\"} 0\n"
          "# HELP quorvin_last_duration_seconds Duration of the last successful plan backup of the database.\n"
          "# TYPE quorvin_last_duration_seconds gauge\n"
          "quorvin_last_duration_seconds{database=\"/srv/shop.fdb\",entry=\"1\"} 90\n"
          "# HELP quorvin_last_size_bytes Size of the backup file of the last successful plan backup.\n"
          "# TYPE quorvin_last_size_bytes gauge\nquorvin_last_size_bytes{database=\"/srv/shop.fdb\",entry=\"1\"} 1090\n"
          "# HELP quorvin_last_backup_success Whether the last plan backup of the database succeeded (1) or not (0).\n"
          "# TYPE quorvin_last_backup_success gauge\n"
          "quorvin_last_backup_success{database=\"/srv/shop.fdb\",entry=\"1\"} 0\n"
          "# HELP quorvin_backup_failures_total Failed plan backups of the database in the job history.\n"
          "# TYPE quorvin_backup_failures_total counter\n"
          "quorvin_backup_failures_total{database=\"/srv/shop.fdb\",entry=\"1\"} 1\n"
          "quorvin_backup_failures_total{database=\"C:\\\\data\\\\\\\"odd\\\".fdb\",entry=\"2\"} 0\n"
          "# HELP quorvin_backup_status The verdict of quorvinctl status for the database: 0 OK, 1 WARNING, "
          "2 CRITICAL.\n"
          "# TYPE quorvin_backup_status gauge\n"
          "quorvin_backup_status{database=\"/srv/shop.fdb\",entry=\"1\"} 1\n"
          "quorvin_backup_status{database=\"C:\\\\data\\\\\\\"odd\\\".fdb\",entry=\"2\"} 1\n");
  EXPECT_EQ(MetricsLabel("a\nb"), "a\\nb");
}

}  // namespace
