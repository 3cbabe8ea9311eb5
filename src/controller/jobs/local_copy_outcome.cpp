// The outcome of a copy on this computer and its lines in the operation log.

#include "controller/jobs/database_jobs.h"
#include "controller/log/operation_log.h"
#include "platform/files.h"
#include "runner/job_paths.h"
#include "runner/local_copy_job.h"

void TDatabaseJobs::LocalCopyOutcome(const TDatabaseOptions& db, TBackupOutcome& outcome, bool jobOk) {
  const std::optional<TLocalCopyInfo>& copy = outcome.Copy;
  if (!copy || !FileExists(copy->File)) {
    const std::string copyPath = LocalCopyPathOf(db.LocalCopyDir, LastPathComponent(outcome.BackFile));
    FLog.Stamped(" Копия на этом компьютере НЕ создана. " + copyPath);
    return;
  }
  FLog.Stamped(" Копия на этом компьютере создана. " + copy->File);
  // With "copy only" the copy is the backup: the window offers it for a
  // restore.
  if (db.LocalCopyOnly && jobOk) outcome.BackFile = copy->File;
}
