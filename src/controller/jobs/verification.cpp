// Verification of a new backup by a test restore: the backup is restored
// through the same server (same protocol and login) into a temporary
// database beside the server's backup file, the row counts of the user
// tables that the restore reports are compared with those the backup
// reported, and the temporary database is removed whatever happened. A copy
// on this computer is restored through the service's standard input, as any
// restore from such a copy.

#include <filesystem>

#include "controller/history/job_recorder.h"
#include "controller/jobs/database_jobs.h"
#include "controller/jobs/job_fill.h"
#include "controller/jobs/job_record.h"
#include "controller/jobs/job_scope.h"
#include "controller/jobs/temporary_database.h"
#include "controller/jobs/test_restore_target.h"
#include "controller/log/operation_log.h"
#include "jobs/job_runner.h"
#include "platform/file_aside.h"
#include "platform/files.h"
#include "platform/mount_table.h"
#include "platform/text.h"
#include "runner/job_output.h"
#include "runner/job_paths.h"
#include "runner/log_pane.h"
#include "runner/table_counts.h"
#include "service/database_drop.h"

namespace {

std::string Joined(const std::vector<std::string>& texts) {
  std::string all;
  for (const std::string& text : texts) all += (all.empty() ? "" : "; ") + text;
  return all;
}

// Empty (with a pane line) when every table has the rows the backup wrote;
// otherwise the differences.
std::string CompareRowCounts(const std::vector<std::string>& backupOutput,
                             const std::vector<std::string>& restoreOutput, TJobOutput& output) {
  const TTableCounts written = TableCountsOf(backupOutput, false);
  const std::vector<std::string> differences = TableCountDifferences(written, TableCountsOf(restoreOutput, true));
  if (!differences.empty()) return "row counts differ: " + Joined(differences);
  output.AddPaneLine("Row counts match the backup: " + std::to_string(written.size()) + " tables, " +
                     std::to_string(TotalRows(written)) + " rows");
  return {};
}

// A backup streamed to this computer carries no verbose output: what the
// restore read is shown, the restore itself having run to its end.
void ShowRestoredRowCounts(const std::vector<std::string>& restoreOutput, TJobOutput& output) {
  const TTableCounts restored = TableCountsOf(restoreOutput, true);
  output.AddPaneLine("Row counts not compared: a backup streamed to this computer reports none. Restored: " +
                     std::to_string(restored.size()) + " tables, " + std::to_string(TotalRows(restored)) + " rows");
}

}  // namespace

bool TDatabaseJobs::VerifyBackupFile(const TDatabaseOptions& db, const std::string& backFile, const std::string& source,
                                     const std::vector<std::string>* backupOutput, const TFileFacts& facts,
                                     const TVerifyContext& context, std::string& reason) {
  EnterPhase(TJobPhase::Verify);
  TJobOutput& output = context.Output;
  TJobRecorder recorder(FPlaces.HistoryPath, output, HistoryKindVerify, context.By, db.DataBase, source);
  TCurrentJob current(*this, recorder);
  recorder.SetFileFacts(facts);
  bool passed = false;
  std::string failure;
  try {
    // Beside the server's backup file, also when only a copy was made: a
    // folder the server writes to.
    TTestRestoreTarget target(backFile, db, context);
    if (target.Name().empty()) {
      failure = "no name for the temporary database beside " + backFile + " (in its folder as the server sees it, " +
                std::to_string(FileNameChars) + " characters at most)";
    } else {
      output.AddPaneLine("Test restore into: " + target.Name());
      TJobRunner job(target.Restore(TJobKind::Restore, source));
      target.Follow(job);
      std::vector<std::string> restoreOutput;
      WatchJob(recorder, job, &restoreOutput);
      if (!RunJobOf(job)) {
        failure = "the test restore failed" + (recorder.ReportedError().empty() ? "" : ": " + recorder.ReportedError());
      } else {
        if (backupOutput) {
          failure = CompareRowCounts(*backupOutput, restoreOutput, output);
        } else {
          ShowRestoredRowCounts(restoreOutput, output);
        }
        passed = failure.empty();
      }
    }
    if (!target.Remove()) {
      FLog.Stamped(" Не удалось удалить временную базу данных проверки. " + target.Name());
      recorder.SetLeftover(target.Name());
    }
  } catch (const std::exception& error) {
    passed = false;
    failure = error.what();
  }
  if (passed) failure.clear();
  if (!passed && failure.empty()) failure = "the test restore failed";
  return ReportVerification(recorder, source, output, failure, reason);
}
