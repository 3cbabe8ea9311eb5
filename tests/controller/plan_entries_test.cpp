// Several databases in one plan: their sections of the settings file, and a
// simulated week of three databases whose backups fall due together and
// while another runs, checked against a model of the queue written apart
// from the plan's own code.

#include <gtest/gtest.h>

#include <cmath>
#include <deque>
#include <map>
#include <set>

#include "controller/plan_editor/plan_changes.h"
#include "controller/settings/settings_file.h"
#include "job_fixture.h"
#include "platform/files.h"
#include "platform/profile_file.h"

namespace {

using Strings = std::vector<std::string>;

// Monday 7 December 2026.
const TDateTime Monday = EncodeDate(2026, 12, 7);
constexpr double Minute = 1.0 / (24 * 60);

using PlanEntries = JobTest;

// A file as the program writes it for a plan of one database (with the
// later keys of a session and retention) stays byte for byte through a read,
// a save of the plan and a close; three databases likewise, and removing one
// takes its section with it.
TEST_F(PlanEntries, SettingsFilesOfOneAndOfThreeDatabasesRoundTrip) {
  const std::string one =
      "[Main]\r\nDataBase=/srv/shop.fdb\r\nLastBack=\r\nPageSize=4096\r\nPass=\r\nUser=\r\n\r\n"
      "[Parameters]\r\nProtocol=3\r\nBackShutDown=1\r\nBackParam1=0\r\nBackParam2=1\r\nBackParam3=0\r\n"
      "BackParam4=0\r\nBackParam5=0\r\nBackParam6=0\r\nBackParam7=0\r\nRestParam1=0\r\nRestParam2=0\r\n"
      "RestParam3=0\r\nRestParam4=0\r\nRestParam5=1\r\nRestParam6=0\r\nRestParam7=0\r\nAutoBackName=1\r\n"
      "RememberPass=0\r\n\r\n"
      "[Plan]\r\nDay1Back=1\r\nDay2Back=0\r\nDay3Back=0\r\nDay4Back=0\r\nDay5Back=0\r\nDay6Back=0\r\nDay7Back=0\r\n"
      "DayPeriodBack=0\r\nNightPeriodBack=3\r\nQueueBack=1\r\nDayBeginBack=00:00:00\r\nNightBeginBack=00:00:00\r\n"
      "DayClockBack=00:00:00\r\nNightClockBack=00:00:00\r\nKeepLastBackups=3\r\nPlanRunning=0\r\n\r\n"
      "[BDNames]\r\nName0=/srv/shop.fdb\r\nName1=\r\nName2=\r\nName3=\r\nName4=\r\nName5=\r\nName6=\r\nName7=\r\n"
      "Name8=\r\nName9=\r\nName10=\r\n";
  const std::string more =
      "\r\n[Plan2]\r\nDataBase=\\\\dbhost\\D$\\data\\stock.gdb\r\nProtocol=0\r\nBackShutDown=0\r\n"
      "BackParam1=0\r\nBackParam2=1\r\nBackParam3=0\r\nBackParam4=0\r\nBackParam5=0\r\nBackParam6=0\r\n"
      "BackParam7=0\r\nAutoBackName=1\r\nVerifyBackup=1\r\nLocalCopyDir=/home/dba/copies\r\nLocalCopyOnly=0\r\n"
      "Day1Back=1\r\nDay2Back=1\r\nDay3Back=1\r\nDay4Back=1\r\nDay5Back=1\r\nDay6Back=0\r\nDay7Back=0\r\n"
      "DayPeriodBack=2\r\nNightPeriodBack=0\r\nQueueBack=1\r\nDayBeginBack=08:00:00\r\nNightBeginBack=20:00:00\r\n"
      "DayClockBack=00:00:00\r\nNightClockBack=00:00:00\r\nKeepLastBackups=0\r\nKeepBackupDays=14\r\n"
      "Pass=st0ck\r\nUser=STOCK\r\n"
      "\r\n[Plan3]\r\nDataBase=/srv/hr.fdb\r\nProtocol=3\r\nBackShutDown=1\r\nBackParam1=0\r\nBackParam2=1\r\n"
      "BackParam3=0\r\nBackParam4=0\r\nBackParam5=0\r\nBackParam6=0\r\nBackParam7=0\r\nAutoBackName=1\r\n"
      "VerifyBackup=0\r\nLocalCopyDir=\r\nLocalCopyOnly=0\r\nDay1Back=0\r\nDay2Back=0\r\nDay3Back=0\r\n"
      "Day4Back=0\r\nDay5Back=0\r\nDay6Back=1\r\nDay7Back=0\r\nDayPeriodBack=0\r\nNightPeriodBack=7\r\n"
      "QueueBack=1\r\nDayBeginBack=00:00:00\r\nNightBeginBack=00:00:00\r\nDayClockBack=00:00:00\r\n"
      "NightClockBack=03:30:00\r\nKeepLastBackups=0\r\nKeepBackupDays=0\r\n";
  const std::string three = [&] {
    std::string text = one;
    text.insert(text.find("PlanRunning=0"), "DataBase=/srv/shop.fdb\r\n");
    return text + more;
  }();
  for (const std::string& file : {one, three}) {
    SetIni(file);
    TQuorvin& q = Start();
    q.SavePlan();
    Close();
    EXPECT_EQ(Ini(), file);
  }

  SetIni(three);
  TQuorvin& q = Start();
  const std::vector<TPlanEntry> entries = q.PlanEntries();
  ASSERT_EQ(entries.size(), 3u);
  EXPECT_EQ(entries[0].DataBase, "/srv/shop.fdb");
  EXPECT_EQ(entries[0].KeepLastBackups, 3);
  EXPECT_EQ(entries[1].DataBase, "\\\\dbhost\\D$\\data\\stock.gdb");
  EXPECT_TRUE(entries[1].OwnLogin && entries[1].VerifyBackup);
  EXPECT_EQ(JobOptionsOf(entries[1], q.Settings()).User, "STOCK");
  EXPECT_EQ(entries[1].PlanRecord.DayPeriodBack, 2);
  EXPECT_FALSE(entries[2].OwnLogin);
  EXPECT_EQ(entries[2].PlanRecord.NightPeriodBack, 7);
  // A backup by hand of another database leaves entry 1 its own.
  q.Settings().DataBase = "/srv/other.fdb";
  EXPECT_EQ(q.PlanEntries()[0].DataBase, "/srv/shop.fdb");

  SetPlanEntries(q.Settings(), {entries[0], entries[2]});
  q.SavePlan();
  Close();
  const std::string text = Ini();
  EXPECT_EQ(text.find("[Plan3]"), std::string::npos);
  EXPECT_EQ(ReadProfileValue(IniPath(), "Plan2", "DataBase"), "/srv/hr.fdb");
  // The entry that took the section has no login of its own: none is left
  // from the one that had it.
  EXPECT_EQ(ReadProfileValue(IniPath(), "Plan2", "User"), std::nullopt);
  EXPECT_EQ(ReadProfileValue(IniPath(), "Plan2", "Pass"), std::nullopt);
}

// The off-site places of entry 1 ([Plan]) and of entry 2 ([Plan2]) are
// written once used, read back field by field, and turned off: entry 2's
// section then has none of the keys again, [Plan] keeps them, empty. A
// further entry never takes entry 1's place.
TEST_F(PlanEntries, OffsitePlacesAreKeptPerEntryAndTurnedOff) {
  SetIni(
      "[Main]\r\nDataBase=/srv/shop.fdb\r\n\r\n[Plan]\r\nDataBase=/srv/shop.fdb\r\n\r\n"
      "[Plan2]\r\nDataBase=/srv/stock.fdb\r\n");
  const TOffsiteSettings shop{"s3://backups/shop", "https://s3.example.net", "eu-1", true,
                              "/etc/q/keys",       "/etc/q/copies.key"};
  const TOffsiteSettings stock{"s3://backups/stock", "", "", false, "", ""};
  struct TKey {
    const char* Key;
    const char* Shop;
    const char* Stock;  // null: not in [Plan2]
  };
  const TKey keys[] = {
      {"OffsiteUrl", "s3://backups/shop", "s3://backups/stock"},
      {"OffsiteEndpoint", "https://s3.example.net", nullptr},
      {"OffsiteRegion", "eu-1", nullptr},
      {"OffsitePathStyle", "1", nullptr},
      {"OffsiteCredentials", "/etc/q/keys", nullptr},
      {"OffsiteEncryptKey", "/etc/q/copies.key", nullptr},
  };
  {
    TQuorvin& q = Start();
    std::vector<TPlanEntry> entries = q.PlanEntries();
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_FALSE(entries[0].Offsite.Active() || entries[1].Offsite.Active());
    entries[0].Offsite = shop;
    entries[1].Offsite = stock;
    SetPlanEntries(q.Settings(), entries);
    EXPECT_FALSE(NewPlanEntry(q.Settings(), "/srv/hr.fdb").Offsite.Active());
    q.SavePlan();
    Close();
  }
  for (const TKey& key : keys) {
    SCOPED_TRACE(key.Key);
    EXPECT_EQ(ReadProfileValue(IniPath(), "Plan", key.Key), key.Shop);
    EXPECT_EQ(ReadProfileValue(IniPath(), "Plan2", key.Key),
              key.Stock ? std::optional<std::string>(key.Stock) : std::nullopt);
  }
  TQuorvin& q = Start();
  std::vector<TPlanEntry> entries = q.PlanEntries();
  EXPECT_EQ(entries[0].Offsite, shop);
  EXPECT_EQ(entries[1].Offsite, stock);
  TOffsiteChanges off;
  off.Url = "";
  for (TPlanEntry& entry : entries) off.ApplyTo(entry.Offsite);
  SetPlanEntries(q.Settings(), entries);
  q.SavePlan();
  Close();
  for (const TKey& key : keys) {
    SCOPED_TRACE(key.Key);
    EXPECT_EQ(ReadProfileValue(IniPath(), "Plan", key.Key), std::string(key.Key) == "OffsitePathStyle" ? "0" : "");
    EXPECT_EQ(ReadProfileValue(IniPath(), "Plan2", key.Key), std::nullopt);
  }
}

// The weekly plan of one entry, as the model below reads it.
struct TModelEntry {
  std::string Database;
  bool Days[7];
  int DayBeginHour, NightBeginHour;  // equal: the night rhythm all day
  int DayPeriod, NightPeriod;        // 2 every 30 minutes, 3 hourly, 7 at the clock time
  int ClockHour, ClockMinute;
};

// Due by the rhythm table at a whole minute (`weekday` 0 Monday).
bool ModelDue(const TModelEntry& e, int weekday, int hour, int minute) {
  if (!e.Days[weekday]) return false;
  const bool day = e.DayBeginHour < e.NightBeginHour && hour >= e.DayBeginHour && hour < e.NightBeginHour;
  switch (day ? e.DayPeriod : e.NightPeriod) {
    case 2: return minute % 30 == 0;
    case 3: return minute == 0;
    case 7: return hour == e.ClockHour && minute == e.ClockMinute;
    default: return false;
  }
}

// One queue, one job at a time: entries due together queue in list order,
// an entry whose backup runs or waits, or ended in this minute, is not
// queued again; each job takes `minutes(entry, start minute)`.
std::vector<std::pair<int, int>> ModelStarts(const std::vector<TModelEntry>& entries, int days,
                                             const std::function<int(int entry, int start)>& minutes) {
  std::vector<std::pair<int, int>> starts;  // (minute since Monday 00:00, entry)
  std::deque<int> waiting;
  int running = -1, busyUntil = 0;
  for (int t = 0; t < days * 24 * 60; ++t) {
    int ended = -1;
    if (running >= 0 && t >= busyUntil) {
      if (t == busyUntil) ended = running;
      running = -1;
    }
    for (int e = 0; e < static_cast<int>(entries.size()); ++e) {
      const bool held = e == running || e == ended || std::find(waiting.begin(), waiting.end(), e) != waiting.end();
      if (!held && ModelDue(entries[static_cast<std::size_t>(e)], t / (24 * 60), t / 60 % 24, t % 60))
        waiting.push_back(e);
    }
    if (running < 0 && !waiting.empty()) {
      running = waiting.front();
      waiting.pop_front();
      starts.emplace_back(t, running);
      busyUntil = t + minutes(running, t);
    }
  }
  return starts;
}

TEST_F(PlanEntries, AWeekOfThreeDatabasesMakesEveryDueBackupOnceInOrderOneAtATime) {
  // A hourly all day; B every 30 minutes on weekdays from 08:00 to 20:00; C
  // daily at 12:10. A's backup on Wednesday at 12:00 takes 70 minutes: B's
  // 12:00 backup waits past its 12:30 and 13:00 slots (it runs once), C's
  // 12:10 after it, A's own 13:00 passes while A runs.
  const std::vector<TModelEntry> model = {
      {"A.fdb", {1, 1, 1, 1, 1, 1, 1}, 0, 0, 0, 3, 0, 0},
      {"B.fdb", {1, 1, 1, 1, 1, 0, 0}, 8, 20, 2, 0, 0, 0},
      {"C.fdb", {1, 1, 1, 1, 1, 1, 1}, 0, 0, 0, 7, 12, 10},
  };
  const int longStart = 2 * 24 * 60 + 12 * 60;
  const auto minutes = [&](int entry, int start) { return entry == 0 && start == longStart ? 70 : 2; };

  TQuorvin& q = StartWithStandIn();
  q.Settings().AutoBackName = true;
  std::vector<TPlanEntry> entries;
  for (const TModelEntry& m : model) {
    WriteFileBytes(Dir / m.Database, "LIVE");
    TPlanEntry entry = entries.empty() ? q.PlanEntries().front() : NewPlanEntry(q.Settings(), {});
    entry.DataBase = Dir / m.Database;
    TPlanRecord& p = entry.PlanRecord;
    bool* days[] = {&p.Day1Back, &p.Day2Back, &p.Day3Back, &p.Day4Back, &p.Day5Back, &p.Day6Back, &p.Day7Back};
    for (int d = 0; d < 7; ++d) *days[d] = m.Days[d];
    p.DayBeginBack = EncodeTime(static_cast<std::uint16_t>(m.DayBeginHour), 0, 0, 0);
    p.NightBeginBack = EncodeTime(static_cast<std::uint16_t>(m.NightBeginHour), 0, 0, 0);
    p.DayPeriodBack = static_cast<std::uint8_t>(m.DayPeriod);
    p.NightPeriodBack = static_cast<std::uint8_t>(m.NightPeriod);
    p.NightClockBack =
        EncodeTime(static_cast<std::uint16_t>(m.ClockHour), static_cast<std::uint16_t>(m.ClockMinute), 0, 0);
    entries.push_back(entry);
  }
  SetPlanEntries(q.Settings(), entries);

  // The stand-in job lets the clock run for its minutes, with the timer's
  // ticks coming in meanwhile as the event loop lets them.
  const auto tickEvery5s = [&](TDateTime until) {
    while (Clock.Now() < until) {
      Tick();
      Clock.Set(std::round((Clock.Now() + 5.0 / 86400.0) * 86400.0) / 86400.0);
    }
  };
  std::vector<std::pair<int, int>> starts;
  int running = 0, mostAtOnce = 0;
  Job = [&](TJobRunner& job) {
    mostAtOnce = std::max(mostAtOnce, ++running);
    const int minute = static_cast<int>(std::floor((Clock.Now() - Monday) / Minute + 1e-6));
    int entry = 0;
    while (Dir / model[static_cast<std::size_t>(entry)].Database != SourceOf(job.Job()).Get()) ++entry;
    starts.emplace_back(minute, entry);
    WriteFileBytes(TargetOf(job.Job()).Get(), "gbk");
    tickEvery5s(Monday + (minute + minutes(entry, minute)) * Minute);
    --running;
    return true;
  };
  Clock.Set(Monday + 1.0 / 86400);
  q.Execute();
  tickEvery5s(Monday + 7);

  EXPECT_EQ(mostAtOnce, 1);
  const auto expected = ModelStarts(model, 7, minutes);
  EXPECT_EQ(starts, expected);
  // The long Wednesday, as the comment above tells it.
  const auto at = [&](int hour, int minute) { return 2 * 24 * 60 + hour * 60 + minute; };
  const std::vector<std::pair<int, int>> wednesday = {
      {at(12, 0), 0}, {at(13, 10), 1}, {at(13, 12), 2}, {at(13, 30), 1}};
  EXPECT_NE(std::search(starts.begin(), starts.end(), wednesday.begin(), wednesday.end()), starts.end());
  // Every one a plan backup of its own database, in the history.
  EXPECT_EQ(ReadHistory(q.HistoryPath()).size(), expected.size());
}

// A backup asked for by hand while a plan backup runs waits for it and runs
// after it, with its questions asked then, rather than being refused.
TEST_F(PlanEntries, ABackupByHandWaitsForThePlansRunningBackup) {
  TQuorvin& q = StartWithStandIn();
  q.Settings().AutoBackName = false;
  WriteFileBytes(Dir / "A.fdb", "LIVE");
  WriteFileBytes(Dir / "B.fdb", "LIVE");
  q.Settings().DataBase = Dir / "A.fdb";
  std::optional<TBackupOutcome> asked;
  std::optional<TBackupOutcome> heard;
  Strings order;
  Job = [&](TJobRunner& job) {
    order.push_back(SourceOf(job.Job()).Get());
    if (SourceOf(job.Job()).Get() == Dir / "A.fdb") {
      OnFrontEnd([&] { asked = q.Backup(Dir / "B.fdb", [&](const TBackupOutcome& outcome) { heard = outcome; }); });
      EXPECT_TRUE(q.PlanBackupRunning());
      EXPECT_EQ(q.Queue().Waiting().size(), 1u);
    }
    WriteFileBytes(TargetOf(job.Job()).Get(), "gbk");
    return true;
  };
  OnFrontEnd([&] { q.RunPlanBackup(q.PlanEntries().front()); });
  EXPECT_FALSE(asked.has_value());
  EXPECT_EQ(order, (Strings{Dir / "A.fdb", Dir / "B.fdb"}));
  ASSERT_TRUE(heard.has_value());
  EXPECT_TRUE(heard->Succeeded);
  EXPECT_EQ(heard->BackFile, Dir / "B.fdb.gbk");
  EXPECT_FALSE(q.JobRunning());
  const std::vector<THistoryRecord> history = ReadHistory(q.HistoryPath());
  ASSERT_EQ(history.size(), 2u);
  EXPECT_EQ(history[0].By, HistoryByPlan);
  EXPECT_EQ(history[1].By, HistoryByUser);
}

}  // namespace
