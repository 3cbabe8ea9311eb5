#pragma once
// The commands an administrator has run after each plan backup ([Hooks] of
// the settings file): one after a backup that failed, one after a backup that
// succeeded — the way mail, chat or monitoring are told. A command runs
// through /bin/sh with the backup's facts in its environment:
//
//   QUORVIN_EVENT        backup-failed or backup-succeeded; offsite-failed
//                        when a plan backup's off-site copy failed (the
//                        backup was made: its own event came before)
//   QUORVIN_OUTCOME      failure or success (as the history names them)
//   QUORVIN_DATABASE     the database backed up
//   QUORVIN_BACKUP_FILE  the backup file (or the copy, with "copy only"; the
//                        off-site copy's s3:// URL)
//   QUORVIN_REASON       why it failed (empty on success)
//   QUORVIN_WARNINGS     warnings of a backup made all the same, "; " between
//   QUORVIN_ENDED        when the backup ended, ISO 8601
//   QUORVIN_LOG          the operation log of this run
//
// Its output goes to the operation log line by line. A command that fails,
// cannot be started or outlives its time limit (then it is killed with
// everything it started) is logged and changes nothing else: the plan goes on.

#include <string>
#include <vector>

#include "runner/job_notices.h"

class TJobStop;
class TOperationLog;
struct TSettings;

// The environment of the command for `report`, "NAME=value" each.
std::vector<std::string> HookEnvironment(const TJobReport& report, const std::string& logFile);

// Runs the command that `settings` name for `report`'s outcome, if any, and
// waits for it (events handled meanwhile). A stop requested through `stop`
// ends the command at once.
void RunPlanHook(const TSettings& settings, const TJobReport& report, TOperationLog& log, const TJobStop* stop);
