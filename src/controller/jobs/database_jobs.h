#pragma once
// TDatabaseJobs: the backup and restore jobs, one at a time, each given one
// database and its options: the backup file's name, the questions that guard
// a job, the runner filled in and run, the copy on this computer, the
// verification by a test restore, the outcome in the operation log and the
// history, the record of the job in progress, and the plan's retention. It
// reads no shared settings; the job under way is its own.
//
// Sources: database_jobs.cpp (backup and restore, each on its frame:
// frame/job_frame.h), verification.cpp,
// job_checks.cpp (the history's part: progress, retention, the restore's
// check of its source), local_copy_outcome.cpp.

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "controller/history/job_progress.h"
#include "controller/jobs/job_record.h"
#include "controller/jobs/retention.h"
#include "controller/settings/settings.h"
#include "jobs/job_kind.h"
#include "runner/local_copy_info.h"

class TJobOutput;
class TJobRecordFile;
class TJobRecorder;
class TOperationLog;
class TJobRunner;
struct TFileFacts;

// Who started a job: the history and the job's manners follow from it.
enum class TJobBy { User, Plan };

// The job under way, for the status line: its kind (a backup or a restore;
// none while none runs) and the database it works on.
struct TRunningJob {
  std::optional<TJobKind> Kind;
  std::string File;
};

// Where the backup of a database goes, from the text of its name (whether or
// not this computer can see the file): the folder ending in its separator and
// the name with every ".gdb" taken out.
struct TBackupName {
  std::string BackDir;
  std::string BackBaseName;
};
TBackupName SplitDataBaseName(const std::string& dataBase);

// What a backup job came to.
struct TBackupOutcome {
  bool Succeeded = false;
  // The job has its outcome line in the operation log: it got past its
  // checks and questions, or was refused with a line of its own.
  bool Started = false;
  // The backup file: on the server, or with "copy only" the copy here.
  std::string BackFile;
  TBackupName Name;
  // The copy made on this computer and kept, if any.
  std::optional<TLocalCopyInfo> Copy;
  // Why it failed: the first thing the job said (a server's message, a
  // notice), else what is known; the same text in the history, the
  // operation log and the plan's report.
  std::string Reason;
  // The backup passed its verification by a test restore.
  bool Verified = false;
  // A physical backup's level (none for a logical backup).
  std::optional<int> Level;
  // A physical backup's chain: its level-0 file.
  std::string Chain;
};

// The files of the jobs: the history, the record of the job in progress,
// the folder where stale job logs ("back.log", "rest.log") are removed, and
// the settings file the jobs belong to (their records say so).
struct TJobPlaces {
  std::string HistoryPath;
  std::string JobRecordPath;
  std::string JobLogDir;
  std::string SettingsPath;
};

// Where a verification reports: the backup's output, who started it, and the
// record of the job in progress (which learns the temporary database).
struct TVerifyContext {
  TJobOutput& Output;
  const char* By;
  TJobRecordFile* Record;
};

class TDatabaseJobs {
 public:
  TDatabaseJobs(TOperationLog& log, TJobPlaces places) : FLog(log), FPlaces(std::move(places)) {}
  // A job is still on the stack below: going on would run it on freed memory.
  ~TDatabaseJobs();
  TDatabaseJobs(const TDatabaseJobs&) = delete;
  TDatabaseJobs& operator=(const TDatabaseJobs&) = delete;

  const TJobPlaces& Places() const { return FPlaces; }

  // The backup of `db.DataBase` with `db`'s options; its account, boxes and
  // questions go to `output`.
  TBackupOutcome Backup(const TDatabaseOptions& db, TJobOutput& output, TJobBy by);
  // The physical (nbackup) backup of `level` of `db.DataBase`, written by
  // the server beside the database (incremental/incremental_names.h); a level
  // above 0 builds on the latest backup of the level below, which must be
  // there. Refused before anything is asked of the server when the server
  // cannot make it (too old a server, a read-only database, one already in
  // backup mode: the user is offered to end that mode, never without asking).
  TBackupOutcome IncrementalBackup(const TDatabaseOptions& db, int level, TJobOutput& output, TJobBy by);
  // The level the plan makes when `level` falls due for `db.DataBase`: the
  // lowest level whose lower level the history lacks (a plan's first backup
  // is a level 0, whatever level fell due), or the database's own history
  // of physical backups lacks as a file the program has (a database restored
  // from a logical backup has none), else `level`.
  int PlanLevel(const TDatabaseOptions& db, int level) const;
  // The restore of `source` into `target` with `db`'s login, protocol and
  // switches. True when the restored database exists. A physical backup
  // file restores its whole chain (incremental/chain.h), every link checked
  // before anything is touched.
  bool Restore(const TDatabaseOptions& db, const std::string& source, const std::string& target, TJobOutput& output,
               TJobBy by = TJobBy::User);
  // Removes `db`'s old plan backups (and their copies on this computer) by
  // its KeepLastBackups and KeepBackupDays, one operation log line each;
  // after a successful plan backup `made`. Only files the history records as
  // this database's plan backups are ever removed.
  void ApplyRetention(const TDatabaseOptions& db, const TBackupOutcome& made);
  // The same for physical backups: whole chains only
  // (incremental/chain_retention.h), after a successful plan backup `made`.
  void ApplyChainRetention(const TDatabaseOptions& db, const TBackupOutcome& made);

  // The job under way, read from any thread (the status line's).
  bool JobRunning() const { return FJobRunning.load(); }
  TRunningJob RunningJob() const;
  // The estimate of the job under way, one figure over its phases (backup,
  // copy, verification): nullopt while no job runs; not Estimated for a job
  // whose kind has no earlier successful record on its database.
  std::optional<TJobProgress> JobProgress() const;
  // Called when a job starts, after each line of its output, and when it
  // ends: the place to refresh a display of JobProgress().
  std::function<void()> OnJobProgress;
  // Runs the job's runner; its Run by default. Tests put a stand-in here;
  // the job's BeforeRequest hook runs just before it (a stand-in has no
  // shutdown step), its AfterRequest only if the stand-in calls it.
  std::function<bool(TJobRunner&)> JobRunner;

 private:
  friend class TJobFrame;
  friend class TJobScope;
  friend class TCurrentJob;
  friend class TPhasesScope;
  class TBackupRun;
  class TRestoreRun;
  class TIncrementalRun;

  // False (the user told, `refusal` set) while a job runs, or while the
  // record of a job cut short earlier is there.
  bool Free(TJobOutput& output, std::string& refusal) const;
  bool RunJobOf(TJobRunner& job);
  void NotifyProgress();
  // The job under way moves on to `phase` (its progress says so).
  void EnterPhase(TJobPhase phase);
  // Follows `job` with `recorder` and tells OnJobProgress.
  void WatchJob(TJobRecorder& recorder, TJobRunner& job, std::vector<std::string>* keep = nullptr);
  // Appends the job's history record; a record that cannot be written gets
  // an operation log line instead.
  void FinishRecord(TJobRecorder& recorder, bool succeeded, const std::string& reason);
  // Restores the new backup `source` (the server's file or the copy on this
  // computer) into a temporary database beside `backFile` and compares the
  // tables' row counts with `backupOutput` (null: a streamed backup has
  // none, the restore alone must succeed); false with `reason` set when the
  // backup fails the check.
  bool VerifyBackupFile(const TDatabaseOptions& db, const std::string& backFile, const std::string& source,
                        const std::vector<std::string>* backupOutput, const TFileFacts& facts,
                        const TVerifyContext& context, std::string& reason);
  // Restores the chain `chain` (level 0 first) into a temporary database
  // beside its last file through the server, and checks that the database
  // opens, its user tables give their row counts and the server's validation
  // finds no error; the temporary database is removed whatever happened.
  // False with `reason` set when the backup fails the check.
  bool VerifyChain(const TDatabaseOptions& db, const std::vector<std::string>& chain, const TVerifyContext& context,
                   int level, std::string& reason);
  // Empty when the restored database `database` passes the server's
  // validation and answers its row counts (shown on `output`); otherwise
  // why not.
  std::string CheckRestoredChain(const TDatabaseOptions& db, const std::string& database, TJobOutput& output);
  // The end of a verification: its pane lines, operation log line and
  // history record; true when it passed (`failure` empty).
  bool ReportVerification(TJobRecorder& recorder, const std::string& source, TJobOutput& output,
                          const std::string& failure, std::string& reason);
  // The chain of the physical backup `source` (level 0 first) in `chain`;
  // false (after telling the user, the operation log and the history) when a
  // link is missing or changed.
  bool ChainFit(TJobRecorder& recorder, const std::string& source, const std::string& target, TJobOutput& output,
                std::vector<std::string>& chain);
  // Tells the user, the operation log and the history that a restore into
  // `target` did not start: `text`.
  void RefuseRestore(TJobRecorder& recorder, const std::string& target, TJobOutput& output, const std::string& text);
  // False (after telling the user and the operation log) when the history
  // knows `source` with another size or checksum than it has now.
  bool RestoreSourceUnchanged(TJobRecorder& recorder, const std::string& source, const std::string& target,
                              TJobOutput& output);
  // The operation log's line of a copy on this computer, made and kept or
  // not (a copy that was set aside is none: `outcome.Copy` forgets it); with
  // "copy only" the copy kept is the backup (`outcome.BackFile`).
  void LocalCopyOutcome(const TDatabaseOptions& db, TBackupOutcome& outcome, bool kept);
  // The plan's own backups (`own`: full names) in `folder` that retention
  // removes, each with an operation log line `removedText` + its name.
  struct TRetentionNames {
    std::string Base;
    std::string Extension;
    std::string JustMade;
    TRetentionRule Rule;
  };
  void RemoveOldBackups(const std::string& folder, const std::set<std::string>& own, const TRetentionNames& names,
                        const char* removedText);
  // A record of a job about to start, with its login and protocol.
  TJobRecord NewJobRecord(const TDatabaseOptions& db, const char* kind, const std::string& database,
                          const std::string& target, bool shutDown, TJobBy by) const;
  void RemoveJobLog(const std::string& name);

  TOperationLog& FLog;
  TJobPlaces FPlaces;
  std::atomic<bool> FJobRunning{false};
  // Guards what another thread reads of the job under way: its name and
  // what its progress is measured with (which goes with the job's scopes).
  mutable std::mutex FProgressMutex;
  TRunningJob FRunningJob;
  TJobRecorder* FRecorder = nullptr;
  TPhasedProgress* FPhases = nullptr;
};

// The refusal shown when a job is asked for while another one runs.
inline constexpr const char* JobAlreadyRunningText = "Задание уже выполняется. Дождитесь его окончания.";
// The refusal while the record of a job cut short is not finished yet
// (recovery waits for a password), then the record's name.
inline constexpr const char* LeftJobText =
    "Задание не начато: задание, прерванное при прошлом запуске программы, ещё не завершено (его завершает "
    "следующий запуск программы, когда есть пароль пользователя). Запись о нём: ";
