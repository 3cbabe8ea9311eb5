#pragma once
// The temporary database of one test restore (a verification's): a fresh
// name beside the backup, removed when the object goes, and the record of
// the job in progress told, so a crash meanwhile does not leave it behind.

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "controller/jobs/database_jobs.h"
#include "controller/jobs/job_fill.h"
#include "controller/jobs/job_record.h"
#include "controller/jobs/temporary_database.h"
#include "jobs/job.h"
#include "jobs/job_runner.h"
#include "runner/job_output.h"

class TTestRestoreTarget {
 public:
  TTestRestoreTarget(const std::string& backupFile, const TDatabaseOptions& db, const TVerifyContext& context)
      : FName(TemporaryDatabaseName(backupFile, FileNameChars)), FDb(db), FContext(context) {}
  ~TTestRestoreTarget() {
    try {
      Remove();
    } catch (...) {
    }
  }
  TTestRestoreTarget(const TTestRestoreTarget&) = delete;
  TTestRestoreTarget& operator=(const TTestRestoreTarget&) = delete;

  // Empty when no free name fits the job's limit.
  const std::string& Name() const { return FName; }
  // The restore of `source` (a logical backup, or the last file of `chain`
  // for a physical restore) into this database. The database backed up is
  // never touched: nothing to shut down.
  TJob Restore(TJobKind kind, const std::string& source, std::vector<std::string> chain = {}) const {
    TJob job = DescribeJob(FDb, kind, VerifyJobName);
    job.BackupFile.Set(source);
    job.Database.Set(FName);
    job.ChainFiles = std::move(chain);
    job.StopDatabase = false;
    job.KeepPane = true;
    return job;
  }
  // The runner of that restore reports to the verification's output and
  // tells when it is about to create the database.
  void Follow(TJobRunner& runner) {
    runner.Output = &FContext.Output;
    runner.BeforeRequest = [this] { Creating(); };
  }

  // The restore is about to create it.
  void Creating() {
    FCreated = true;
    if (FContext.Record) FContext.Record->NoteVerifyDatabase(FName);
  }

  // Here when this computer can remove the file, otherwise through the
  // server that made it. False (with a pane line) when it stays.
  bool Remove() {
    if (!FCreated || FRemoved) return true;
    FRemoved = true;
    const TRemovalResult result = RemoveTemporaryDatabase(FName, JobProtocolOf(FDb.Protocol), FDb.User, FDb.Pass);
    TJobOutput& output = FContext.Output;
    switch (result.Outcome) {
      case TRemoval::NothingThere: break;
      case TRemoval::Removed: output.AddPaneLine("Temporary database removed: " + FName); break;
      case TRemoval::Dropped: output.AddPaneLine("Temporary database dropped through the server: " + FName); break;
      case TRemoval::Failed:
        output.AddPaneLine("ERROR: The temporary database " + FName + " could not be removed: " + result.Error);
        return false;
    }
    if (FContext.Record) FContext.Record->NoteVerifyDatabase({});
    return true;
  }

 private:
  std::string FName;
  const TDatabaseOptions& FDb;
  const TVerifyContext& FContext;
  bool FCreated = false;
  bool FRemoved = false;
};
