#pragma once
// What the program is doing, in a few short lines for the status bar, the
// tray icon's tool tip and the command line's status: the job under way and
// those waiting, the plan's next backup of each database, and how the last
// plan backup ended.

#include <optional>
#include <string>

#include "controller/history/job_progress.h"

class TQuorvin;

struct TStatusLines {
  std::string Job;             // empty while no job runs
  std::string Waiting;         // empty while no job waits
  std::string NextPlanBackup;  // empty while the plan is stopped
  std::string LastPlanBackup;  // empty before the first plan backup of the run
};

// `shortNames`: the short forms of a tool tip (at most 127 characters):
// databases by their file name, dates without the year, shorter captions.
// `progress`: the job's progress as a display shows it beside (so text and
// bar tell one figure); null: the jobs' own estimate now.
TStatusLines StatusLinesOf(const TQuorvin& q, bool shortNames, const std::optional<TJobProgress>* progress = nullptr);

// The lines that are not empty, joined by `separator`.
std::string JoinStatusLines(const TStatusLines& lines, const std::string& separator);
