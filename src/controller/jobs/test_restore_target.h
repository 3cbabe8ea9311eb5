#pragma once
// The temporary database of one test restore (a verification's): a fresh
// name beside the backup, removed when the object goes, and the record of
// the job in progress told, so a crash meanwhile does not leave it behind.

#include <cstdint>
#include <string>

#include "controller/jobs/database_jobs.h"
#include "controller/jobs/job_fill.h"
#include "controller/jobs/job_record.h"
#include "controller/jobs/temporary_database.h"
#include "runner/job_output.h"
#include "runner/schedule.h"

class TTestRestoreTarget {
 public:
  TTestRestoreTarget(const std::string& backupFile, const TDatabaseOptions& db, const TVerifyContext& context)
      : FName(TemporaryDatabaseName(backupFile, TSchedule::FileNameChars)), FDb(db), FContext(context) {}
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
  // `job` as the restore of `source` (a logical backup, or the last file of
  // a chain for KindNRestore) into this database. The database backed up is
  // never touched: nothing to shut down.
  void FillRestore(TSchedule& job, std::int32_t kind, const std::string& source) {
    const bool noOptions[7] = {};
    FillJob(job, FDb, kind, VerifyJobName, noOptions, FContext.Output);
    job.SetJobFile(1, source);
    job.SetJobFile(2, FName);
    job.StopDatabase = false;
    job.KeepPane = true;
    job.BeforeRequest = [this] { Creating(); };
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
    const TRemovalResult result =
        RemoveTemporaryDatabase(FName, static_cast<std::uint8_t>(FDb.Protocol & 0xFF), FDb.User, FDb.Pass);
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
