#pragma once
// One physical (nbackup) backup, step by step, and what its steps share:
// incremental_base.cpp finds the level below it builds on and what the
// server must be able to do before it is asked (Firebird 3.0's nbackup
// service, failing, closes a descriptor of the process it runs in);
// incremental_backup.cpp runs the request, checks the file made and tells
// the outcome.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "controller/history/job_history.h"
#include "controller/jobs/database_jobs.h"
#include "controller/jobs/frame/job_frame.h"
#include "jobs/job.h"

struct TServerPath;

class TDatabaseJobs::TIncrementalRun {
 public:
  TIncrementalRun(TDatabaseJobs& jobs, const TDatabaseOptions& db, int level, TJobOutput& output, TJobBy by)
      : FJobs(jobs), FDb(db), FLevel(level), FOutput(output), FBy(by), FFrame(jobs, output) {}

  TBackupOutcome Run();

 private:
  // The file's name, the login, the level below; false (the user told) when
  // the backup must not start.
  bool CanStart();
  // The program's own latest backup of the level below.
  bool FindBase();
  // The server's side: the service offered, the database writable and not in
  // backup mode already (that mode ended when the user agrees).
  bool ServerCanBackUp();
  bool EndBackupMode(const TServerPath& database);
  // The database's own history: the server builds on its latest backup of
  // the level below, which must be there and be a file of a chain the
  // program can restore (it becomes the base when it is not FindBase's).
  bool EngineBuildsOnBase();
  // False after telling the user why.
  bool Refuse(const std::string& reason);
  // The same for a level that cannot be built, with its outcome line in the
  // operation log and a history record.
  bool RefuseLevel(const std::string& reason);

  // The record of the job, the file it recreates, its history record and
  // its progress.
  void SetUp();
  // The request and the checks of the file made; true when both passed.
  bool MakeFile();
  // The file made: its facts, its place in the chain, its verification.
  bool CheckMade();
  // False (the job's failure set) when the server built the file on a base
  // the program does not have.
  bool CheckBuiltOnBase(const std::vector<THistoryRecord>& history);
  // After a request that did not end well: whether the server finished the
  // file all the same (its database's history lists it); nullopt when that
  // history could not be read.
  std::optional<bool> ServerFinished();
  // The same noted: a file the server finished gets its facts and its place
  // in the chain.
  void NoteFinishedAfterAll();
  // The operation log, the history and the outcome's reason.
  void Report(bool jobOk);
  TJob Describe() const;
  TProtocol Protocol() const { return JobProtocolOf(FDb.Protocol); }

  TDatabaseJobs& FJobs;
  const TDatabaseOptions& FDb;
  const int FLevel;
  TJobOutput& FOutput;
  TJobBy FBy;
  TJobFrame FFrame;
  TBackupOutcome FOutcome;
  // The file of the level below and its chain's level-0 file (in
  // FOutcome.Chain); the latest of that level the program made.
  std::string FBase;
  std::string FLatestBase;
  std::string FFailure;
  // The earlier file of the new file's name.
  TReplacedFile* FPrevious = nullptr;
  // The request was asked for.
  bool FStarted = false;
  // The server finished the file: it is a link of its database's chain.
  bool FMade = false;
  // Whether it did could not be told: the file keeps its name all the same.
  bool FMadeUnknown = false;
  // The file builds on a base the program has.
  bool FBaseKnown = true;
};

// The latest successful physical backup of `level` of `database` in the
// program's history.
std::optional<THistoryRecord> LatestOfLevel(const std::vector<THistoryRecord>& history, const std::string& database,
                                            int level);
