// The outcome of a copy on this computer and its lines in the operation log.

#include "controller/jobs/database_jobs.h"
#include "controller/log/operation_log.h"
#include "platform/files.h"
#include "runner/job_paths.h"
#include "runner/local_copy_job.h"

void TDatabaseJobs::LocalCopyOutcome(const TDatabaseOptions& db, TBackupOutcome& outcome, bool kept) {
  if (!kept) {
    const std::string copyPath = LocalCopyPathOf(db.LocalCopyDir, LastPathComponent(outcome.BackFile));
    FLog.Stamped(" Копия на этом компьютере НЕ создана. " + copyPath);
    // What stands under the copy's name now is the earlier copy (or
    // nothing), never this one.
    outcome.Copy.reset();
    return;
  }
  FLog.Stamped(" Копия на этом компьютере создана. " + outcome.Copy->File);
  // With "copy only" the copy is the backup: the window offers it for a
  // restore.
  if (db.LocalCopyOnly) outcome.BackFile = outcome.Copy->File;
}
