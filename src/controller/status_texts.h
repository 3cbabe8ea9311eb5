#pragma once
// What the program is doing, in a few short lines for the status bar, the
// tray icon's tool tip and the command line's status: the job under way and
// those waiting, the failed backups nobody has seen yet, the plan's next
// backup of each database, and how the newest backup of each database ended.

#include <optional>
#include <string>

#include "controller/history/job_progress.h"
#include "controller/messages/messages.h"

class TBackupOutcomes;
class TQuorvin;

struct TStatusLines {
  std::string Job;  // empty while no job runs
  // Every failed backup not seen yet, by database, with its reason; empty
  // while there is none (or no outcomes were given).
  std::string Failures;
  std::string Waiting;         // empty while no job waits
  std::string NextPlanBackup;  // empty while the plan is stopped
  // With outcomes: the newest backup of each database of the plan, by
  // whomever made it; without: the last plan backup of this run (or of the
  // program that runs the plan). Empty while there is none.
  std::string LastPlanBackup;
};

// `shortNames`: the short forms of a tool tip (at most 127 characters):
// databases by their file name, dates without the year, shorter captions.
// `progress`: the job's progress as a display shows it beside (so text and
// bar tell one figure); null: the jobs' own estimate now. `outcomes`: what
// the history says (null: the plan's own reports alone).
TStatusLines StatusLinesOf(const TQuorvin& q, bool shortNames, const std::optional<TJobProgress>* progress = nullptr,
                           const TBackupOutcomes* outcomes = nullptr);

// The job under way in `language` as the long status line says it; empty
// while none runs.
std::string JobStatusLine(const TQuorvin& q, TLanguage language);

// Something wants the user's attention: a failed backup not seen yet, or the
// newest backup of a database of the plan made with a warning.
bool NeedsAttention(const TQuorvin& q, const TBackupOutcomes& outcomes);

// The lines that are not empty, joined by `separator`.
std::string JoinStatusLines(const TStatusLines& lines, const std::string& separator);
