// The weekly plan: a tick every 5000 ms checks the wall clock's minute against
// each entry's plan and starts at most one backup of an entry per minute (the
// rules themselves are in plan_rules.cpp).

#include "controller/plan/plan.h"

#include <algorithm>

#include "controller/log/operation_log.h"

namespace {

// hour × 100000 + minute × 1000
std::int32_t StampOfMinute(TDateTime value) {
  const TDateParts t = DecodeDateTime(value);
  return t.Hour * 100000 + t.Minute * 1000;
}

constexpr std::int64_t MsPerHour = 60 * 60 * 1000;

}  // namespace

bool DateChanged(TDateTime a, TDateTime b) {
  const TDateParts x = DecodeDateTime(a);
  const TDateParts y = DecodeDateTime(b);
  return x.Year != y.Year || x.Month != y.Month || x.Day != y.Day;
}

void TPlan::Execute() {
  FLog.Stamped(" Сервис запущен.");
  FRunning = true;
}

void TPlan::Stop() {
  FLog.Stamped(" Сервис остановлен.");
  FRunning = false;
}

bool TPlan::CheckRun(const TPlanRecord& plan, TEntryRun& run) {
  const TDateTime now = Now();
  const std::int64_t steadyMs = ReadClock().SteadyMs;
  run.Verdict = {};
  if (!PlanDayEnabled(plan, now)) {
    RecordPlanTick(run.State, now, steadyMs);
    return false;
  }
  // Any other minute is a new one: after the clock went back (summer time
  // ending, set back by hand) the minutes that come again are new as well;
  // the wall-clock minutes that saw a start keep them from a second one.
  const std::int32_t stamp = StampOfMinute(now);
  if (stamp != run.LastTickStamp || DateChanged(now, run.LastPlanRun)) {
    run.FiredThisMinute = false;
    run.LastTickStamp = stamp;
  }
  run.Verdict = CheckPlanRules(plan, run.State, run.LastPlanRun, now, steadyMs);
  RecordPlanTick(run.State, now, steadyMs);
  return run.Verdict.Due;
}

bool TPlan::IsPlanDue(const TPlanEntry& entry) {
  TEntryRun& run = FRuns[entry.Id];
  const bool due = CheckRun(entry.PlanRecord, run);
  run.DueLevel = 0;
  if (!entry.Incremental()) return due;
  // Every level is checked, so each keeps its own state; the lowest wins.
  int dueLevel = due ? 0 : -1;
  for (int level = 1; level <= PlanLevels; ++level) {
    const TPlanRecord& plan = entry.LevelPlans.Level[level - 1];
    if (CheckRun(plan, LevelRun(entry.Id, level)) && dueLevel < 0) dueLevel = level;
  }
  run.DueLevel = dueLevel < 0 ? 0 : dueLevel;
  return dueLevel >= 0;
}

bool TPlan::StartRun(TEntryRun& run) {
  if (run.FiredThisMinute) return false;
  const TDateTime now = Now();
  if (run.State.StartedMinutes.count(WallMinuteOf(now)) > 0) return false;
  run.LastPlanRun = now;
  run.FiredThisMinute = true;
  RecordPlanStart(run.State, run.Verdict, now);
  return true;
}

bool TPlan::RecordStart(const TPlanEntry& entry) {
  TEntryRun& run = FRuns[entry.Id];
  if (!entry.Incremental()) return StartRun(run);
  bool started = false;
  if (run.Verdict.Due) started = StartRun(run);
  for (int level = 1; level <= PlanLevels; ++level) {
    TEntryRun& levelRun = LevelRun(entry.Id, level);
    if (levelRun.Verdict.Due) started = StartRun(levelRun) || started;
  }
  return started;
}

void TPlan::ServeRun(TEntryRun& run) {
  if (!run.Verdict.Due || run.FiredThisMinute) return;
  run.FiredThisMinute = true;
  RecordPlanStart(run.State, run.Verdict, Now());
}

void TPlan::ServeHeld(const TPlanEntry& entry, int level) {
  if (!IsPlanDue(entry)) return;
  TEntryRun& run = FRuns[entry.Id];
  if (!entry.Incremental()) {
    ServeRun(run);
    return;
  }
  if (run.DueLevel < level) return;
  ServeRun(run);
  for (int above = 1; above <= PlanLevels; ++above) ServeRun(LevelRun(entry.Id, above));
}

std::vector<const TPlanEntry*> TPlan::DueEntries(const std::vector<TPlanEntry>& entries,
                                                 const std::function<bool(std::uint64_t id)>& held) {
  std::vector<const TPlanEntry*> due;
  for (const TPlanEntry& entry : entries) {
    if (held && held(entry.Id)) {
      ServeHeld(entry, FRuns[entry.Id].HeldLevel);
      continue;
    }
    if (IsPlanDue(entry) && RecordStart(entry)) {
      TEntryRun& run = FRuns[entry.Id];
      run.HeldLevel = run.DueLevel;
      due.push_back(&entry);
    }
  }
  // An entry no longer in the list takes what the plan remembered of it.
  const auto gone = [&](std::uint64_t id) {
    return std::none_of(entries.begin(), entries.end(), [&](const TPlanEntry& e) { return e.Id == id; });
  };
  std::erase_if(FRuns, [&](const auto& run) { return gone(run.first); });
  std::erase_if(FLevelRuns, [&](const auto& run) { return gone(run.first.first); });
  return due;
}

std::optional<TDateTime> TPlan::NextOf(const TPlanRecord& plan, std::uint64_t key, const TEntryRun& run,
                                       const TClockReading& now) const {
  TNextCache& cache = FNextCache[key];
  const bool stale =
      !(cache.Plan == plan) || cache.Run.LastPlanRun != run.LastPlanRun ||
      !(cache.Run.State.StartedMinutes == run.State.StartedMinutes) ||
      cache.Run.State.ClockTimeDates[0] != run.State.ClockTimeDates[0] ||
      cache.Run.State.ClockTimeDates[1] != run.State.ClockTimeDates[1] || cache.ComputedAtMs == 0 ||
      now.UtcMs < cache.ComputedAtMs ||
      (cache.Next ? LocalDateTimeOf(now.UtcMs) >= *cache.Next : now.UtcMs - cache.ComputedAtMs >= MsPerHour);
  if (stale) {
    cache.Plan = plan;
    cache.Run = run;
    cache.ComputedAtMs = now.UtcMs;
    cache.Next = ::NextPlanBackup(plan, run.State, run.LastPlanRun, now);
  }
  return cache.Next;
}

std::vector<TNextBackup> TPlan::NextBackups(const std::vector<TPlanEntry>& entries) const {
  const TClockReading now = ReadClock();
  std::vector<TNextBackup> next;
  const TEntryRun fresh;
  for (const TPlanEntry& entry : entries) {
    const auto found = FRuns.find(entry.Id);
    // The cache keys: the entry's own rhythm, then its levels'.
    std::optional<TDateTime> when =
        NextOf(entry.PlanRecord, entry.Id * (PlanLevels + 1), found == FRuns.end() ? fresh : found->second, now);
    for (int level = 1; entry.Incremental() && level <= PlanLevels; ++level) {
      const auto levelRun = FLevelRuns.find({entry.Id, level});
      const auto levelNext = NextOf(entry.LevelPlans.Level[level - 1], entry.Id * (PlanLevels + 1) + level,
                                    levelRun == FLevelRuns.end() ? fresh : levelRun->second, now);
      if (levelNext && (!when || *levelNext < *when)) when = levelNext;
    }
    if (when) next.push_back({entry.Id, entry.DataBase, *when});
  }
  std::stable_sort(next.begin(), next.end(),
                   [](const TNextBackup& a, const TNextBackup& b) { return a.When < b.When; });
  return next;
}

const TEntryRun* TPlan::RunOf(std::uint64_t id) const {
  const auto found = FRuns.find(id);
  return found == FRuns.end() ? nullptr : &found->second;
}

void TPlan::NoteReport(std::uint64_t id, TJobReport report) {
  FLastPlanBackup = report;
  FReports[id] = std::move(report);
}

const TJobReport* TPlan::LastReportOf(std::uint64_t id) const {
  const auto found = FReports.find(id);
  return found == FReports.end() ? nullptr : &found->second;
}
