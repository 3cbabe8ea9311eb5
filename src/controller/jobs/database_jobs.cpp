// Backup and restore: the backup file name, the questions that guard a job,
// the runner filled in and run, and the outcome in the operation log.

#include "controller/jobs/database_jobs.h"

#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "controller/history/job_recorder.h"
#include "controller/jobs/job_fill.h"
#include "controller/jobs/job_scope.h"
#include "controller/jobs/replaced_file.h"
#include "controller/log/operation_log.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/growing_file_hash.h"
#include "platform/text.h"
#include "runner/job_output.h"
#include "runner/job_paths.h"
#include "runner/local_copy_job.h"
#include "runner/local_copy_writer.h"
#include "runner/schedule.h"
#include "runner/ui_seams.h"
#include "service/blocking_call.h"

namespace {

// Every ".gdb" taken out in one pass from left to right, letter case ignored.
std::string WithoutGdb(const std::string& name) {
  static const std::string gdb = ".gdb";
  std::string result;
  std::size_t i = 0;
  while (i < name.size()) {
    if (i + gdb.size() <= name.size() && SameTextAscii(name.substr(i, gdb.size()), gdb)) {
      i += gdb.size();
    } else {
      result += name[i++];
    }
  }
  return result;
}

// Administrator without a password: the server will refuse it unless the
// engine trusts this user; the user decides. Nobody decides for a plan
// backup: it tries, and a refusal is reported like any failure (the embedded
// engine takes no password at all).
bool AdminLoginAccepted(const std::string& user, const std::string& pass, TJobOutput& output) {
  if (!SameTextAscii(user, "SYSDBA") || !pass.empty()) return true;
  return output.AskJobYesNo("Using administrator log-in requires a password.\nContinue anyway?", true);
}

std::string ErrorText(const std::exception& e) { return std::string("ERROR: ") + e.what(); }
constexpr const char* UnknownErrorText = "ERROR: Unknown error";

const char* ByOf(TJobBy by) { return by == TJobBy::Plan ? HistoryByPlan : HistoryByUser; }

// The line of a job's outcome: `done` or `notDone`, then the file.
void LogJobOutcome(TOperationLog& log, bool succeeded, const char* done, const char* notDone, const std::string& file) {
  log.Stamped(std::string(" ") + (succeeded ? done : notDone) + file);
}

enum class TErrorOrder { PaneFirst, BoxFirst };

// Runs `run` (which fills in and runs a job); a job that ends badly gets a
// beep and `failureText`, an error raised on the way is shown in the pane
// and in a box, in `order`. True when the job succeeded.
bool RunReported(TJobOutput& output, const std::function<bool()>& run, const char* failureText, TErrorOrder order) {
  const auto report = [&](const std::string& text) {
    if (order == TErrorOrder::PaneFirst) output.AddPaneLine(text);
    output.ShowJobMessage(text);
    if (order == TErrorOrder::BoxFirst) output.AddPaneLine(text);
  };
  try {
    const bool ok = run();
    if (!ok) {
      output.Prompts().Beep();
      output.ShowJobMessage(failureText);
    }
    return ok;
  } catch (const std::exception& e) {
    report(ErrorText(e));
  } catch (...) {
    report(UnknownErrorText);
  }
  return false;
}

}  // namespace

void FillJob(TSchedule& job, const TDatabaseOptions& db, std::int32_t kind, const char* name, const bool (&options)[7],
             TJobOutput& output) {
  job.JobKind = kind;
  job.SetJobName(name);
  job.SetUserName(db.User);
  job.SetPassword(db.Pass);
  job.SetProtocol(static_cast<std::uint8_t>(db.Protocol & 0xFF));
  job.WriteJobLog = false;
  job.VerboseJobLog = false;
  for (int i = 0; i < 7; ++i) job.SetJobOption(i + 1, options[i]);
  job.Output = &output;
}

TBackupName SplitDataBaseName(const std::string& dataBase) {
  // Derived from the name as written, whether or not this computer can see
  // the file (a server folder the desktop user may not read).
  TBackupName name;
  if (IsServerNotation(dataBase)) {
    const std::size_t slash = dataBase.find_last_of('\\');
    if (slash == std::string::npos || slash + 1 == dataBase.size()) return name;
    name.BackDir = dataBase.substr(0, slash + 1);
    name.BackBaseName = WithoutGdb(dataBase.substr(slash + 1));
    return name;
  }
  if (dataBase.empty() || dataBase.back() == PathDelim) return name;
  // A relative name is taken from the working folder; the backup goes beside
  // the file, not to the root folder.
  const std::filesystem::path file = std::filesystem::absolute(dataBase);
  const std::string base = file.filename().string();
  if (base == "." || base == "..") return name;
  name.BackDir = IncludeTrailingPathDelimiter(file.parent_path().string());
  name.BackBaseName = WithoutGdb(base);
  return name;
}

TDatabaseJobs::~TDatabaseJobs() {
  if (!FJobRunning) return;
  // Reached only through a caller that ignored JobRunning(); the job below
  // would go on over freed memory, which is worse than stopping here.
  std::fputs("Quorvin: the jobs were destroyed while a job was running\n", stderr);
  std::abort();
}

bool TDatabaseJobs::RunJobOf(TSchedule& job) {
  if (!JobRunner) return job.RunJob();
  // A stand-in has no shutdown step and no request: the file is moved out
  // of the way before it, as RunJob would; the caller finishes the file.
  if (job.BeforeRequest) job.BeforeRequest();
  return JobRunner(job);
}

TJobRecord TDatabaseJobs::NewJobRecord(const TDatabaseOptions& db, const char* kind, const std::string& database,
                                       const std::string& target, bool shutDown) const {
  TJobRecord record;
  record.Kind = kind;
  record.Started = TOperationLog::LogStamp();
  record.Database = database;
  record.Target = target;
  record.ShutDown = shutDown;
  record.Protocol = static_cast<std::uint8_t>(db.Protocol & 0xFF);
  record.User = db.User;
  record.Password = db.Pass;
  return record;
}

void TDatabaseJobs::RemoveJobLog(const std::string& name) {
  const std::string path = FPlaces.JobLogDir + name;
  if (FileExists(path)) DeleteFile(path);
}

// One backup job, step by step: what its steps share.
class TDatabaseJobs::TBackupRun {
 public:
  TBackupRun(TDatabaseJobs& jobs, const TDatabaseOptions& db, TJobOutput& output, TJobBy by)
      : FJobs(jobs), FDb(db), FOutput(output), FBy(by) {}

  TBackupOutcome Run();

 private:
  // Names the backup file; false (the user told) when no database is named
  // or the login is refused.
  bool CanStart();
  // After the backup job ran: the new backup's facts for its record and its
  // verification when asked for; false with FFailure set when it fails the
  // verification.
  bool CheckServerBackup(TJobRecorder& recorder, const std::vector<std::string>& output);
  bool CheckCopyOnlyBackup();
  // Size and checksum of the new backup file: hashed while the server wrote
  // it, or read whole when that fell through.
  TFileFacts NewBackupFacts();
  // Appends the record; a failure without a reason of its own gets one from
  // what is known.
  void FinishRecord(TJobRecorder& recorder, bool jobOk);
  void FillJob(TSchedule& job);

  TDatabaseJobs& FJobs;
  const TDatabaseOptions& FDb;
  TJobOutput& FOutput;
  TJobBy FBy;
  TBackupOutcome FOutcome;
  std::string FFailure;
  std::unique_ptr<TGrowingFileHash> FGrowing;
};

bool TDatabaseJobs::TBackupRun::CanStart() {
  FOutcome.Name = SplitDataBaseName(FDb.DataBase);
  FOutcome.BackFile = FOutcome.Name.BackDir + FOutcome.Name.BackBaseName +
                      (FDb.AutoBackName ? FormatDateTime("_dd_mm_yy_hh_nn", Now()) : std::string()) + ".gbk";
  if (FDb.DataBase.empty()) {
    FOutput.ShowJobMessage("Файл не найден!");
    return false;
  }
  return AdminLoginAccepted(FDb.User, FDb.Pass, FOutput);
}

void TDatabaseJobs::TBackupRun::FillJob(TSchedule& job) {
  const bool options[] = {FDb.BackParam1, FDb.BackParam2, FDb.BackParam3, FDb.BackParam4,
                          FDb.BackParam5, FDb.BackParam6, FDb.BackParam7};
  ::FillJob(job, FDb, TSchedule::KindBackup, "BACKUP OPERATION", options, FOutput);
  job.SetJobFile(1, FDb.DataBase);
  job.SetJobFile(2, FOutcome.BackFile);
  job.StopDatabase = FDb.BackShutDown;
  job.LocalCopyDir = FDb.LocalCopyDir;
  job.LocalCopyOnly = FDb.LocalCopyOnly;
  job.OnLocalCopyMade = [this](const TLocalCopyInfo& made) { FOutcome.Copy = made; };
}

TBackupOutcome TDatabaseJobs::TBackupRun::Run() {
  TJobScope scope(FJobs);
  if (!CanStart()) return FOutcome;
  FOutcome.Started = true;
  scope.Name({TSchedule::KindBackup, FDb.DataBase});
  const std::string& backFile = FOutcome.BackFile;
  // Nothing is moved or removed before this point: a job that is not
  // started leaves every file as it was. With "copy only" no file is made
  // on the server and none is moved there: the copy's two files are the
  // backup a failure must not cost.
  const bool serverFile = FDb.LocalCopyDir.empty() || !FDb.LocalCopyOnly;
  const std::string copyPath =
      FDb.LocalCopyDir.empty() ? std::string() : LocalCopyPathOf(FDb.LocalCopyDir, LastPathComponent(backFile));
  TReplacedFile previous(serverFile ? backFile : copyPath, FOutput);
  TReplacedFile previousChecksum(serverFile ? std::string() : ChecksumFileOf(copyPath), FOutput);
  const TCopyShape shape = copyPath.empty() ? TCopyShape::None : serverFile ? TCopyShape::Beside : TCopyShape::Only;
  TJobRecorder recorder(FJobs.FPlaces.HistoryPath, FOutput, HistoryKindBackup, ByOf(FBy), FDb.DataBase, backFile,
                        serverFile ? backFile : "", shape);
  TCurrentJob current(FJobs, recorder);
  // The record of the job for a crash or a kill: the file this job makes
  // under its final name and the one it moves aside for that.
  const std::string target = serverFile ? backFile : copyPath;
  TJobRecordFile record(FJobs.FPlaces.JobRecordPath,
                        FJobs.NewJobRecord(FDb, TJobRecord::Backup, FDb.DataBase, target, FDb.BackShutDown));
  previous.OnAside = [&](const std::string& aside) { record.NoteAside(aside); };
  bool started = false;
  const bool jobOk = RunReported(
      FOutput,
      [&] {
        FJobs.RemoveJobLog("back.log");
        record.Save();
        previous.MoveAside();
        previousChecksum.MoveAside();
        if (serverFile) FGrowing = std::make_unique<TGrowingFileHash>(backFile);
        TSchedule job;
        FillJob(job);
        job.BeforeRequest = [&] { record.NoteRequestStarted(); };
        std::vector<std::string> output;
        FJobs.WatchJob(recorder, job, FDb.VerifyBackup ? &output : nullptr);
        started = true;
        if (!FJobs.RunJobOf(job)) return false;
        if (FOutcome.Copy) recorder.SetCopy(*FOutcome.Copy, !serverFile);
        const bool checked = serverFile ? CheckServerBackup(recorder, output) : CheckCopyOnlyBackup();
        // Only a backup that passed its verification may cost the earlier one
        // when the program is killed now.
        if (checked && FileExists(target)) record.NoteSucceeded();
        return checked;
      },
      "Errors were encountered during backup", TErrorOrder::PaneFirst);

  if (serverFile && jobOk && !FDb.LocalCopyDir.empty() && !FOutcome.Copy) {
    FOutput.Prompts().Beep();
    FOutput.ShowJobMessage("Errors were encountered during the copy on this computer");
  }
  // A file alone is no proof: a failed job can leave a partial one.
  FOutcome.Succeeded = jobOk && (serverFile ? FileExists(backFile) : FOutcome.Copy && FileExists(FOutcome.Copy->File));
  if (FOutcome.Succeeded) record.NoteSucceeded();
  previous.Finish(FOutcome.Succeeded, started);
  previousChecksum.Finish(FOutcome.Succeeded, started);
  if (serverFile)
    LogJobOutcome(FJobs.FLog, FOutcome.Succeeded, "Резервная копия создана. ", "Резервная копия НЕ создана. ",
                  backFile);
  // With "copy only" the copy is the backup and its outcome the job's.
  if (!FDb.LocalCopyDir.empty()) FJobs.LocalCopyOutcome(FDb, FOutcome, serverFile ? jobOk : FOutcome.Succeeded);
  FinishRecord(recorder, jobOk);
  return FOutcome;
}

bool TDatabaseJobs::TBackupRun::CheckServerBackup(TJobRecorder& recorder, const std::vector<std::string>& output) {
  // A missing file is judged by the caller, without the failure message.
  const std::string& backFile = FOutcome.BackFile;
  if (!FileExists(backFile)) return true;
  const TFileFacts facts = NewBackupFacts();
  recorder.SetFileFacts(facts);
  return !FDb.VerifyBackup ||
         FJobs.VerifyBackupFile(FDb, backFile, backFile, &output, facts, FOutput, ByOf(FBy), FFailure);
}

TFileFacts TDatabaseJobs::TBackupRun::NewBackupFacts() {
  std::optional<TGrowingFileHash::TDigest> digest;
  if (FGrowing) RunBlockingCall([&] { digest = FGrowing->Finish(); });
  FGrowing.reset();
  return digest ? TFileFacts{digest->Size, digest->Sha256} : FileFactsOf(FOutcome.BackFile);
}

bool TDatabaseJobs::TBackupRun::CheckCopyOnlyBackup() {
  const std::optional<TLocalCopyInfo>& copy = FOutcome.Copy;
  if (!copy || !FDb.VerifyBackup) return true;
  // Restored from the copy through the service's standard input; a streamed
  // backup has no row counts to compare with.
  return FJobs.VerifyBackupFile(FDb, FOutcome.BackFile, copy->File, nullptr, {copy->OutputBytes, copy->Sha256}, FOutput,
                                ByOf(FBy), FFailure);
}

void TDatabaseJobs::TBackupRun::FinishRecord(TJobRecorder& recorder, bool jobOk) {
  std::string failure = FFailure;
  if (!FOutcome.Succeeded && failure.empty() && recorder.ReportedError().empty()) {
    const bool copyOnly = !FDb.LocalCopyDir.empty() && FDb.LocalCopyOnly;
    failure = jobOk ? (copyOnly ? "The copy on this computer does not exist after the job"
                                : "The backup file does not exist after the job")
                    : "Errors were encountered during backup";
  }
  FJobs.FinishRecord(recorder, FOutcome.Succeeded, failure);
}

TBackupOutcome TDatabaseJobs::Backup(const TDatabaseOptions& db, TJobOutput& output, TJobBy by) {
  if (FJobRunning) {
    output.ShowJobMessage(JobAlreadyRunningText);
    return {};
  }
  return TBackupRun(*this, db, output, by).Run();
}

// One restore job, step by step.
class TDatabaseJobs::TRestoreRun {
 public:
  TRestoreRun(TDatabaseJobs& jobs, const TDatabaseOptions& db, const std::string& source, const std::string& target,
              TJobOutput& output, TJobBy by)
      : FJobs(jobs), FDb(db), FSource(source), FTarget(target), FOutput(output), FBy(by) {}

  bool Run();

 private:
  // False (the user told or asked) when a restore must not start.
  bool CanStart();
  void FillJob(TSchedule& job);

  TDatabaseJobs& FJobs;
  const TDatabaseOptions& FDb;
  const std::string& FSource;
  const std::string& FTarget;
  TJobOutput& FOutput;
  TJobBy FBy;
};

bool TDatabaseJobs::TRestoreRun::CanStart() {
  if (FTarget.empty() || FSource.empty()) {
    FOutput.ShowJobMessage("Must select both database and restore files");
    return false;
  }
  if (!AdminLoginAccepted(FDb.User, FDb.Pass, FOutput)) return false;
  if (!FOutput.Prompts().ConfirmOkCancel("Make sure all users are disconnected from the database \n"
                                         "before continuing. Click OK to continue")) {
    return false;
  }
  ProcessMessages();
  return true;
}

void TDatabaseJobs::TRestoreRun::FillJob(TSchedule& job) {
  const bool options[] = {FDb.RestParam1, FDb.RestParam2, FDb.RestParam3, FDb.RestParam4,
                          FDb.RestParam5, FDb.RestParam6, FDb.RestParam7};
  ::FillJob(job, FDb, TSchedule::KindRestore, "Restore", options, FOutput);
  job.SetJobFile(2, FTarget);
  job.SetJobFile(1, FSource);
  job.StopDatabase = true;
}

bool TDatabaseJobs::TRestoreRun::Run() {
  TJobScope scope(FJobs);
  if (!CanStart()) return false;
  scope.Name({TSchedule::KindRestore, FTarget});
  TJobRecorder recorder(FJobs.FPlaces.HistoryPath, FOutput, HistoryKindRestore, ByOf(FBy), FTarget, FSource);
  TCurrentJob current(FJobs, recorder);
  // Before anything is shut down: a backup file that is no longer what its
  // backup wrote must not replace a database.
  if (!FJobs.RestoreSourceUnchanged(recorder, FSource, FTarget, FOutput)) return false;
  TReplacedFile previous(FTarget, FOutput);
  TJobRecordFile record(FJobs.FPlaces.JobRecordPath,
                        FJobs.NewJobRecord(FDb, TJobRecord::Restore, FTarget, FTarget, true));
  previous.OnAside = [&](const std::string& aside) { record.NoteAside(aside); };
  bool started = false;
  bool finished = false;
  bool succeeded = false;
  const bool jobOk = RunReported(
      FOutput,
      [&] {
        FJobs.RemoveJobLog("rest.log");
        record.Save();
        TSchedule job;
        // The database is moved aside only after the runner has shut it
        // down: a user still attached to it would otherwise go on writing
        // into the moved file. It is put back before the runner brings the
        // database on line again, so after a failed restore it is usable as
        // it was.
        job.BeforeRequest = [&] {
          previous.MoveAside();
          record.NoteRequestStarted();
          started = true;
        };
        job.AfterRequest = [&](bool requestCompleted) {
          succeeded = requestCompleted && FileExists(FTarget);
          if (succeeded) record.NoteSucceeded();
          previous.Finish(succeeded, started);
          finished = true;
        };
        FillJob(job);
        FJobs.WatchJob(recorder, job);
        return FJobs.RunJobOf(job);
      },
      "Errors were encountered during restore", TErrorOrder::BoxFirst);

  if (!finished) {
    succeeded = jobOk && FileExists(FTarget);
    if (succeeded) record.NoteSucceeded();
    previous.Finish(succeeded, started);
  }
  if (RestoreFedFromThisComputer(FSource, FTarget))
    FJobs.FLog.Stamped(" Восстановление из копии на этом компьютере. " + FSource);
  LogJobOutcome(FJobs.FLog, succeeded, "Резервная копия восстановлена. ", "Резервная копия НЕ восстановлена. ",
                FTarget);
  // A failure without an error line of its own gets the failure message.
  const bool said = succeeded || !recorder.ReportedError().empty();
  FJobs.FinishRecord(recorder, succeeded, said ? "" : "Errors were encountered during restore");
  return succeeded;
}

bool TDatabaseJobs::Restore(const TDatabaseOptions& db, const std::string& source, const std::string& target,
                            TJobOutput& output, TJobBy by) {
  if (FJobRunning) {
    output.ShowJobMessage(JobAlreadyRunningText);
    return false;
  }
  return TRestoreRun(*this, db, source, target, output, by).Run();
}
