#pragma once
// A dry run of the plan: the backups its rules would start from a moment on,
// minute by minute, as a plan started at that moment would (the first full
// hour of an hourly rhythm included). Backups run one at a time, so those
// due together start one after the other in the order of the list; that,
// and a level made as its lower one while the lower has never been made,
// are the running plan's to decide.

#include <cstddef>
#include <vector>

#include "controller/settings/settings.h"
#include "platform/clock.h"

struct TPlannedBackup {
  std::size_t Entry = 0;  // index in the list
  TDateTime When = 0;     // local time
  // Of an incremental entry: the level due (the lowest of those due together).
  int Level = 0;
};

// The backups of `entries` due from `from` on within `days` days, in the
// order of time.
std::vector<TPlannedBackup> PlanDryRun(const std::vector<TPlanEntry>& entries, const TClockReading& from, int days);

// The longest time in seconds between two backups `entry` makes in a week
// (from one to the next, the week's last to the next week's first); nullopt
// when it makes none.
std::optional<std::int64_t> LongestPlanGap(const TPlanEntry& entry, const TClockReading& from);
