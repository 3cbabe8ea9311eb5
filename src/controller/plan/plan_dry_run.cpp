#include "controller/plan/plan_dry_run.h"

#include <algorithm>
#include <optional>

#include "controller/plan/plan_rules.h"

namespace {

constexpr std::int64_t MsPerMinute = 60 * 1000;
constexpr std::int64_t MinutesPerDay = 24 * 60;

// One rhythm of an entry as a running plan keeps it between ticks.
struct TRhythmRun {
  explicit TRhythmRun(const TPlanRecord& plan) : Plan(&plan) {}
  const TPlanRecord* Plan;
  TPlanState State;
  TDateTime LastRun = 0;
  TPlanVerdict Verdict;
};

// The rhythms an entry is checked by: its own, then its levels'.
std::vector<TRhythmRun> RhythmsOf(const TPlanEntry& entry) {
  std::vector<TRhythmRun> runs{TRhythmRun(entry.PlanRecord)};
  for (int level = 1; entry.Incremental() && level <= PlanLevels; ++level)
    runs.emplace_back(entry.LevelPlans.Level[level - 1]);
  return runs;
}

// One tick at `utcMs`: the lowest level due, each due rhythm recorded as
// started (the lower level's backup stands for the others); nullopt when
// none is due.
std::optional<int> Tick(std::vector<TRhythmRun>& runs, std::int64_t utcMs, std::int64_t steadyMs) {
  const TDateTime local = LocalDateTimeOf(utcMs);
  std::optional<int> due;
  for (std::size_t level = 0; level < runs.size(); ++level) {
    TRhythmRun& run = runs[level];
    run.Verdict = {};
    if (PlanDayEnabled(*run.Plan, local))
      run.Verdict = CheckPlanRules(*run.Plan, run.State, run.LastRun, local, steadyMs);
    RecordPlanTick(run.State, local, steadyMs);
    if (run.Verdict.Due && !due) due = static_cast<int>(level);
  }
  for (TRhythmRun& run : runs) {
    if (!run.Verdict.Due) continue;
    run.LastRun = local;
    RecordPlanStart(run.State, run.Verdict, local);
  }
  return due;
}

}  // namespace

std::vector<TPlannedBackup> PlanDryRun(const std::vector<TPlanEntry>& entries, const TClockReading& from, int days) {
  std::vector<std::vector<TRhythmRun>> runs;
  for (const TPlanEntry& entry : entries) runs.push_back(RhythmsOf(entry));
  std::vector<TPlannedBackup> planned;
  const auto tick = [&](std::int64_t utcMs) {
    const std::int64_t steadyMs = from.SteadyMs + (utcMs - from.UtcMs);
    for (std::size_t i = 0; i < entries.size(); ++i) {
      if (const auto level = Tick(runs[i], utcMs, steadyMs)) planned.push_back({i, LocalDateTimeOf(utcMs), *level});
    }
  };
  tick(from.UtcMs);
  const std::int64_t minuteStart = from.UtcMs - ((from.UtcMs % MsPerMinute) + MsPerMinute) % MsPerMinute;
  for (std::int64_t k = 1; k <= days * MinutesPerDay; ++k) tick(minuteStart + k * MsPerMinute);
  return planned;
}

std::optional<std::int64_t> LongestPlanGap(const TPlanEntry& entry, const TClockReading& from) {
  // Two weeks: the first backups of a started plan (the first full hour)
  // are left behind, and the second week repeats the first.
  const std::vector<TPlannedBackup> planned = PlanDryRun({entry}, from, 14);
  std::vector<TDateTime> week;
  for (const TPlannedBackup& backup : planned)
    if (backup.When >= LocalDateTimeOf(from.UtcMs) + 7) week.push_back(backup.When);
  if (week.empty()) return std::nullopt;
  double longest = week.front() + 7 - week.back();
  for (std::size_t i = 1; i < week.size(); ++i) longest = std::max(longest, week[i] - week[i - 1]);
  return static_cast<std::int64_t>(longest * 86400.0 + 0.5);
}
