#pragma once
// TPlan: the weekly plan of every database of the list. A tick of the plan
// timer (every 5000 ms) checks each entry against its own weekly plan by the
// wall clock's minute (plan_rules.h); an entry that is due is recorded as
// started and handed to the caller, which queues its backup. What the plan
// remembers between ticks is its own, per entry, for one program run.

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "controller/plan/plan_rules.h"
#include "controller/settings/settings.h"
#include "platform/clock.h"
#include "runner/job_notices.h"

class TOperationLog;

// What the plan remembers of one entry between ticks.
struct TEntryRun {
  // hour × 100000 + minute × 1000 of the last minute the check took as new.
  std::int32_t LastTickStamp = 0;
  // The moment the plan last started a backup of the entry; 0: never.
  TDateTime LastPlanRun = 0;
  // A backup of the entry has started in the current minute.
  bool FiredThisMinute = false;
  TPlanState State;
  // The verdict of the entry's latest check.
  TPlanVerdict Verdict;
  // Of an incremental entry: the level its latest check found due (the
  // lowest of those due together).
  int DueLevel = 0;
  // Of an incremental entry: the level of the backup the plan queued last
  // (it serves the slots of its own and higher levels while it waits or
  // runs, not those of a lower level).
  int HeldLevel = 0;
};

// The next backup of one entry.
struct TNextBackup {
  std::uint64_t EntryId = 0;
  std::string DataBase;
  TDateTime When = 0;
};

class TPlan {
 public:
  explicit TPlan(TOperationLog& log) : FLog(log) {}
  TPlan(const TPlan&) = delete;
  TPlan& operator=(const TPlan&) = delete;

  // " Сервис запущен." / " Сервис остановлен." in the operation log; the
  // plan runs from one to the other.
  void Execute();
  void Stop();
  bool Running() const { return FRunning; }

  // The plan check of `entry` at the clock's moment (its state updated). A
  // weekday switched off changes nothing. An incremental entry's levels are
  // checked each against its own plan, with a state of its own; when levels
  // fall due together the lowest wins (RunOf(id)->DueLevel).
  bool IsPlanDue(const TPlanEntry& entry);
  // Records a plan backup of `entry` as started now (for an incremental
  // entry every level that fell due: the lower level's backup stands for
  // them); false when one already started in this minute.
  bool RecordStart(const TPlanEntry& entry);
  // One tick: the entries due now, each recorded as started, in the order of
  // the list. An entry `held` (its backup runs or waits) is not queued again:
  // a slot that falls meanwhile is served by that backup (ServeHeld), so a
  // backup that waits longer than its rhythm's period runs once.
  std::vector<const TPlanEntry*> DueEntries(const std::vector<TPlanEntry>& entries,
                                            const std::function<bool(std::uint64_t id)>& held);
  // A backup of `entry` (of `level`, for an incremental entry) waits or runs,
  // or has just ended: a slot due now is served by it. Its minute is marked
  // as one that saw a start, so it starts no second backup once that backup
  // has ended within it; the moment of the last plan backup, from which the
  // hourly rhythms count, stays the backup's own. A due slot of a level
  // below `level` is left due: a higher level does not stand for it.
  void ServeHeld(const TPlanEntry& entry, int level);
  // The next backup of each entry that has one within 8 days, the earliest
  // first; the rules alone, as if the plan ran.
  std::vector<TNextBackup> NextBackups(const std::vector<TPlanEntry>& entries) const;

  // What the plan remembers of an entry; nullptr before its first check.
  const TEntryRun* RunOf(std::uint64_t id) const;
  // The outcome of an entry's plan backup, and the last of all.
  void NoteReport(std::uint64_t id, TJobReport report);
  const TJobReport* LastReportOf(std::uint64_t id) const;
  // The last plan backup of this run (Ended 0: none yet).
  const TJobReport& LastPlanBackup() const { return FLastPlanBackup; }

 private:
  // An entry's next backup, computed again only when the clock has passed
  // it, the entry's plan or state changed, or an hour went by without one.
  struct TNextCache {
    TPlanRecord Plan;
    TEntryRun Run;
    std::int64_t ComputedAtMs = 0;
    std::optional<TDateTime> Next;
  };
  std::optional<TDateTime> NextOf(const TPlanRecord& plan, std::uint64_t key, const TEntryRun& run,
                                  const TClockReading& now) const;
  // One rhythm's check and start (the entry's own, or one of its levels').
  bool CheckRun(const TPlanRecord& plan, TEntryRun& run);
  bool StartRun(TEntryRun& run);
  void ServeRun(TEntryRun& run);
  // The runs of an incremental entry's levels above 0.
  TEntryRun& LevelRun(std::uint64_t id, int level) { return FLevelRuns[{id, level}]; }

  TOperationLog& FLog;
  bool FRunning = false;
  std::map<std::uint64_t, TEntryRun> FRuns;
  std::map<std::pair<std::uint64_t, int>, TEntryRun> FLevelRuns;
  std::map<std::uint64_t, TJobReport> FReports;
  TJobReport FLastPlanBackup;
  mutable std::map<std::uint64_t, TNextCache> FNextCache;
};

// True when the two moments fall on different calendar days.
bool DateChanged(TDateTime a, TDateTime b);
