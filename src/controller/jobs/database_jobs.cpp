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
#include "controller/jobs/backup_names.h"
#include "controller/jobs/frame/job_frame.h"
#include "controller/jobs/incremental/incremental_names.h"
#include "controller/jobs/job_fill.h"
#include "controller/jobs/replaced_file.h"
#include "controller/log/operation_log.h"
#include "jobs/job_runner.h"
#include "jobs/job_switches.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/growing_file_hash.h"
#include "platform/iso_time.h"
#include "platform/text.h"
#include "runner/backup_source.h"
#include "runner/job_output.h"
#include "runner/job_paths.h"
#include "runner/local_copy_job.h"
#include "runner/local_copy_writer.h"
#include "runner/ui_seams.h"

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

}  // namespace

// Administrator without a password: the server will refuse it unless the
// engine trusts this user; the user decides. Nobody decides for a plan
// backup: it tries, and a refusal is reported like any failure (the embedded
// engine takes no password at all).
bool AdminLoginAccepted(const std::string& user, const std::string& pass, TJobOutput& output) {
  if (!SameTextAscii(user, "SYSDBA") || !pass.empty()) return true;
  return output.AskJobYesNo("Using administrator log-in requires a password.\nContinue anyway?", true);
}

// Why a plan backup failed when nothing in the job said so.
constexpr const char* NoBackupFileReason = "файл копии не найден на этом компьютере";

namespace {
std::string ErrorText(const std::exception& e) { return std::string("ERROR: ") + e.what(); }
constexpr const char* UnknownErrorText = "ERROR: Unknown error";
constexpr const char* RestoreFailedText = "Errors were encountered during restore";
constexpr const char* BackupFailedText = "Errors were encountered during backup";
}  // namespace

const char* ByOf(TJobBy by) { return by == TJobBy::Plan ? HistoryByPlan : HistoryByUser; }

// The line of a job's outcome: `done` or `notDone`, then the file.
void LogJobOutcome(TOperationLog& log, bool succeeded, const char* done, const char* notDone, const std::string& file) {
  log.Stamped(std::string(" ") + (succeeded ? done : notDone) + file);
}

// Runs `run` (which describes and runs a job); a job that ends badly gets a
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

TJob DescribeJob(const TDatabaseOptions& db, TJobKind kind, const char* name) {
  TJob job;
  job.Kind = kind;
  job.Name.Set(name);
  job.UserName.Set(db.User);
  job.Password.Set(db.Pass);
  job.Protocol = JobProtocolOf(db.Protocol);
  job.WriteJobLog = false;
  job.VerboseJobLog = false;
  return job;
}

TBackupOptions BackupOptionsOf(const TDatabaseOptions& db) {
  const bool on[] = {db.BackParam1, db.BackParam2, db.BackParam3, db.BackParam4,
                     db.BackParam5, db.BackParam6, db.BackParam7};
  return OptionsOfSwitches(BackupSwitches, on);
}

TRestoreOptions RestoreOptionsOf(const TDatabaseOptions& db) {
  const bool on[] = {db.RestParam1, db.RestParam2, db.RestParam3, db.RestParam4,
                     db.RestParam5, db.RestParam6, db.RestParam7};
  return OptionsOfSwitches(RestoreSwitches, on);
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

bool TDatabaseJobs::RunJobOf(TJobRunner& job) {
  if (!JobRunner) return job.Run();
  // A stand-in has no shutdown step and no request: the file is moved out
  // of the way before it, as the runner would; the caller finishes the file.
  if (job.BeforeRequest) job.BeforeRequest();
  return JobRunner(job);
}

TJobRecord TDatabaseJobs::NewJobRecord(const TDatabaseOptions& db, const char* kind, const std::string& database,
                                       const std::string& target, bool shutDown, TJobBy by) const {
  TJobRecord record;
  record.Kind = kind;
  record.Started = TOperationLog::LogStamp();
  record.StartedAt = FormatIso8601(Now());
  record.By = ByOf(by);
  record.Verify = db.VerifyBackup;
  record.Database = database;
  record.Target = target;
  record.ShutDown = shutDown;
  record.Settings = FPlaces.SettingsPath;
  record.Protocol = JobProtocolOf(db.Protocol);
  record.User = db.User;
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
      : FJobs(jobs), FDb(db), FOutput(output), FBy(by), FFrame(jobs, output) {}

  TBackupOutcome Run();

 private:
  // Names the backup file; false (the user told) when no database is named
  // or the login is refused.
  bool CanStart();
  // Where the files go, the record of the job, the files it recreates, its
  // history record and its progress.
  void SetUp();
  // The earlier files moved aside, the request run, the new backup checked.
  bool Request();
  // After the backup job ran: the new backup's facts for its record and its
  // verification when asked for; false with FFailure set when it fails the
  // verification.
  bool CheckServerBackup(const std::vector<std::string>& output);
  bool CheckCopyOnlyBackup();
  // The new files kept, or the earlier ones put back.
  void Settle(bool jobOk);
  // The operation log and the history.
  void Report(bool jobOk);
  // Why the backup failed: the first thing the job said, or what is known.
  std::string FailureReason(bool jobOk);
  // Size and checksum of the new backup file: hashed while the server wrote
  // it, or read whole when that fell through.
  TFileFacts NewBackupFacts();
  TJob Describe() const;
  // The job's phases in the order they run.
  std::vector<TJobPhase> PhasesOf(bool serverFile, bool copy) const;
  TVerifyContext VerifyContext() { return {FOutput, ByOf(FBy), &FFrame.RecordFile()}; }

  TDatabaseJobs& FJobs;
  const TDatabaseOptions& FDb;
  TJobOutput& FOutput;
  TJobBy FBy;
  TJobFrame FFrame;
  TBackupOutcome FOutcome;
  std::string FFailure;
  std::unique_ptr<TGrowingFileHash> FGrowing;
  // The server writes the backup file (not so with "copy only"); the copy
  // on this computer (none without a copy); the file the job makes.
  bool FServerFile = true;
  std::string FCopyPath;
  std::string FTarget;
  TReplacedFile* FPrevious = nullptr;
  TReplacedFile* FPreviousCopy = nullptr;
  TReplacedFile* FPreviousChecksum = nullptr;
  // The request was asked for; the copy made is kept.
  bool FStarted = false;
  bool FCopyKept = false;
};

bool TDatabaseJobs::TBackupRun::CanStart() {
  FOutcome.Name = SplitDataBaseName(FDb.DataBase);
  if (FDb.DataBase.empty()) {
    FOutput.ShowJobMessage("Файл не найден!");
    return false;
  }
  // A dated name is never one a backup already has; the name without a date
  // is the one the user keeps replacing (the earlier file goes only when the
  // new one succeeds).
  FOutcome.BackFile = FDb.AutoBackName
                          ? NewDatedBackupFile(FOutcome.Name, Now(), FDb.LocalCopyDir, FJobs.FPlaces.HistoryPath)
                          : FOutcome.Name.BackDir + FOutcome.Name.BackBaseName + ".gbk";
  return AdminLoginAccepted(FDb.User, FDb.Pass, FOutput);
}

TJob TDatabaseJobs::TBackupRun::Describe() const {
  TJob job = DescribeJob(FDb, TJobKind::Backup, "BACKUP OPERATION");
  job.BackupOptions = BackupOptionsOf(FDb);
  job.Database.Set(FDb.DataBase);
  job.BackupFile.Set(FOutcome.BackFile);
  job.StopDatabase = FDb.BackShutDown;
  job.Destination = {FDb.LocalCopyDir, FDb.LocalCopyOnly};
  return job;
}

void TDatabaseJobs::TBackupRun::SetUp() {
  const std::string& backFile = FOutcome.BackFile;
  // Nothing is moved or removed before this point: a job that is not
  // started leaves every file as it was. With "copy only" no file is made
  // on the server and none is moved there: the copy's two files are the
  // backup a failure must not cost.
  FServerFile = FDb.LocalCopyDir.empty() || !FDb.LocalCopyOnly;
  if (!FDb.LocalCopyDir.empty()) FCopyPath = LocalCopyPathOf(FDb.LocalCopyDir, LastPathComponent(backFile));
  FTarget = FServerFile ? backFile : FCopyPath;
  // The record of the job for a crash or a kill: every file the job makes
  // under its final name and where the earlier file of that name is kept.
  FFrame.Keep(FJobs.NewJobRecord(FDb, TJobRecord::Backup, FDb.DataBase, FTarget, FDb.BackShutDown, FBy));
  FPrevious = &FFrame.Replace(FServerFile ? backFile : std::string());
  FPreviousCopy = &FFrame.Replace(FCopyPath);
  FPreviousChecksum = &FFrame.Replace(FCopyPath.empty() ? std::string() : ChecksumFileOf(FCopyPath));
  const TCopyShape shape = FCopyPath.empty() ? TCopyShape::None : FServerFile ? TCopyShape::Beside : TCopyShape::Only;
  FFrame.Begin({HistoryKindBackup, FBy, FDb.DataBase, backFile, FServerFile ? backFile : "", shape});
  FFrame.Follow(PhasesOf(FServerFile, !FCopyPath.empty()));
}

bool TDatabaseJobs::TBackupRun::Request() {
  FJobs.RemoveJobLog("back.log");
  TJobRecordFile& record = FFrame.RecordFile();
  record.Save();
  for (TReplacedFile* file : {FPrevious, FPreviousCopy, FPreviousChecksum}) file->MoveAside();
  if (FServerFile) FGrowing = std::make_unique<TGrowingFileHash>(FOutcome.BackFile);
  TJobRunner job(Describe());
  job.Output = &FOutput;
  job.OnLocalCopyMade = [this](const TLocalCopyInfo& made) { FOutcome.Copy = made; };
  job.OnLocalCopyStarting = [this] { FJobs.EnterPhase(TJobPhase::Copy); };
  job.BeforeRequest = [&record] { record.NoteRequestStarted(); };
  std::vector<std::string> output;
  FFrame.Watch(job, FDb.VerifyBackup ? &output : nullptr);
  FStarted = true;
  if (!FJobs.RunJobOf(job)) return false;
  if (FOutcome.Copy) FFrame.Recorder().SetCopy(*FOutcome.Copy, !FServerFile);
  const bool checked = FServerFile ? CheckServerBackup(output) : CheckCopyOnlyBackup();
  // Only a backup that passed its verification may cost the earlier one
  // when the program is killed now.
  if (checked && FileExists(FTarget)) record.NoteSucceeded();
  return checked;
}

void TDatabaseJobs::TBackupRun::Settle(bool jobOk) {
  if (FServerFile && jobOk && !FDb.LocalCopyDir.empty() && !FOutcome.Copy) {
    FOutput.Prompts().Beep();
    FOutput.ShowJobMessage("Errors were encountered during the copy on this computer");
  }
  // A file alone is no proof: a failed job can leave a partial one.
  FOutcome.Succeeded =
      jobOk && (FServerFile ? FileExists(FOutcome.BackFile) : FOutcome.Copy && FileExists(FOutcome.Copy->File));
  // The copy of a backup that failed (its verification included) goes with
  // it: the earlier copy comes back.
  FCopyKept = FOutcome.Succeeded && FOutcome.Copy && FileExists(FOutcome.Copy->File);
  if (FOutcome.Succeeded) FFrame.RecordFile().NoteSucceeded();
  FPrevious->Finish(FOutcome.Succeeded, FStarted);
  FPreviousCopy->Finish(FCopyKept, FStarted);
  FPreviousChecksum->Finish(FCopyKept, FStarted);
}

void TDatabaseJobs::TBackupRun::Report(bool jobOk) {
  if (FServerFile)
    FFrame.LogOutcome(FOutcome.Succeeded, "Резервная копия создана. ", "Резервная копия НЕ создана. ",
                      FOutcome.BackFile);
  if (!FDb.LocalCopyDir.empty()) FJobs.LocalCopyOutcome(FDb, FOutcome, FCopyKept);
  if (!FOutcome.Succeeded) FOutcome.Reason = FailureReason(jobOk);
  FFrame.Finish(FOutcome.Succeeded, FOutcome.Reason);
}

TBackupOutcome TDatabaseJobs::TBackupRun::Run() {
  const std::size_t mark = FOutput.Collected().size();
  if (!CanStart()) {
    FOutcome.Reason = FOutput.ReasonSince(mark);
    return FOutcome;
  }
  FOutcome.Started = true;
  FFrame.Name({TJobKind::Backup, FDb.DataBase});
  SetUp();
  const bool jobOk = FFrame.Run([this] { return Request(); }, BackupFailedText, TErrorOrder::PaneFirst);
  Settle(jobOk);
  Report(jobOk);
  return FOutcome;
}

std::vector<TJobPhase> TDatabaseJobs::TBackupRun::PhasesOf(bool serverFile, bool copy) const {
  std::vector<TJobPhase> phases;
  if (serverFile) phases.push_back(TJobPhase::Backup);
  if (copy) phases.push_back(TJobPhase::Copy);
  if (FDb.VerifyBackup) phases.push_back(TJobPhase::Verify);
  return phases;
}

bool TDatabaseJobs::TBackupRun::CheckServerBackup(const std::vector<std::string>& output) {
  // A missing file is judged by the caller, without the failure message.
  const std::string& backFile = FOutcome.BackFile;
  if (!FileExists(backFile)) return true;
  const TFileFacts facts = NewBackupFacts();
  FFrame.Recorder().SetFileFacts(facts);
  if (!FDb.VerifyBackup) return true;
  FOutcome.Verified = FJobs.VerifyBackupFile(FDb, backFile, backFile, &output, facts, VerifyContext(), FFailure);
  return FOutcome.Verified;
}

TFileFacts TDatabaseJobs::TBackupRun::NewBackupFacts() {
  std::optional<TGrowingFileHash::TDigest> digest;
  if (FGrowing) digest = FGrowing->Finish();
  FGrowing.reset();
  return digest ? TFileFacts{digest->Size, digest->Sha256} : FileFactsOf(FOutcome.BackFile);
}

bool TDatabaseJobs::TBackupRun::CheckCopyOnlyBackup() {
  const std::optional<TLocalCopyInfo>& copy = FOutcome.Copy;
  if (!copy || !FDb.VerifyBackup) return true;
  // Restored from the copy through the service's standard input; a streamed
  // backup has no row counts to compare with.
  FOutcome.Verified = FJobs.VerifyBackupFile(FDb, FOutcome.BackFile, copy->File, nullptr,
                                             {copy->OutputBytes, copy->Sha256}, VerifyContext(), FFailure);
  return FOutcome.Verified;
}

std::string TDatabaseJobs::TBackupRun::FailureReason(bool jobOk) {
  // A verification that failed says why, with the first error of its
  // restore; otherwise what the job said first.
  if (!FFailure.empty()) return FFailure;
  const std::string said = FFrame.Recorder().ReportedError();
  if (!said.empty()) return said;
  if (!jobOk) return BackupFailedText;
  // The job ran to its end, but its file is not to be seen here (the
  // server wrote it where this computer does not look).
  const bool copyOnly = !FDb.LocalCopyDir.empty() && FDb.LocalCopyOnly;
  return copyOnly ? "копия на этом компьютере не найдена" : NoBackupFileReason;
}

bool TDatabaseJobs::Free(TJobOutput& output, std::string& refusal) const {
  if (FJobRunning) {
    refusal = JobAlreadyRunningText;
  } else if (FileExists(FPlaces.JobRecordPath)) {
    // The record of a job cut short is that job's until recovery has
    // finished it: a new job would write over it and remove it.
    refusal = std::string(LeftJobText) + FPlaces.JobRecordPath;
  } else {
    return true;
  }
  output.ShowJobMessage(refusal);
  return false;
}

TBackupOutcome TDatabaseJobs::Backup(const TDatabaseOptions& db, TJobOutput& output, TJobBy by) {
  TBackupOutcome refused;
  if (!Free(output, refused.Reason)) return refused;
  return TBackupRun(*this, db, output, by).Run();
}

// One restore job, step by step.
class TDatabaseJobs::TRestoreRun {
 public:
  TRestoreRun(TDatabaseJobs& jobs, const TDatabaseOptions& db, const std::string& source, const std::string& target,
              TJobOutput& output, TJobBy by)
      : FJobs(jobs), FDb(db), FSource(source), FTarget(target), FOutput(output), FBy(by), FFrame(jobs, output) {}

  bool Run();

 private:
  // False (the user told or asked) when a restore must not start.
  bool CanStart();
  // The checks of the backup file that need nobody's answer, before the
  // question: false (the user, the operation log and the history told) when
  // it is changed, cut short or a damaged copy.
  bool SourceFit();
  // The question about users still attached; false when declined.
  bool UsersDisconnected();
  // The record of the job and the database it replaces.
  void KeepRecord();
  // The request, the database moved aside and settled around it.
  bool Request();
  // The database restored (`succeeded`) or the earlier one put back.
  void Settle(bool succeeded);
  // The operation log and the history.
  void Report();
  TJob Describe() const;

  TDatabaseJobs& FJobs;
  const TDatabaseOptions& FDb;
  const std::string& FSource;
  const std::string& FTarget;
  TJobOutput& FOutput;
  TJobBy FBy;
  TJobFrame FFrame;
  TReplacedFile* FPrevious = nullptr;
  // A physical backup's chain, level 0 first (empty for a logical backup).
  std::vector<std::string> FChain;
  // The database was moved aside; it was settled; the restore succeeded.
  bool FStarted = false;
  bool FSettled = false;
  bool FSucceeded = false;
};

bool TDatabaseJobs::TRestoreRun::CanStart() {
  if (FTarget.empty() || FSource.empty()) {
    FOutput.ShowJobMessage("Must select both database and restore files");
    return false;
  }
  return AdminLoginAccepted(FDb.User, FDb.Pass, FOutput);
}

bool TDatabaseJobs::TRestoreRun::UsersDisconnected() {
  return FOutput.Prompts().ConfirmOkCancel(
      "Make sure all users are disconnected from the database \n"
      "before continuing. Click OK to continue");
}

bool TDatabaseJobs::TRestoreRun::SourceFit() {
  TJobRecorder& recorder = FFrame.Recorder();
  // A physical backup restores with its whole chain, every link checked.
  if (IsIncrementalFile(FSource)) return FJobs.ChainFit(recorder, FSource, FTarget, FOutput, FChain);
  // A backup file that is no longer what its backup wrote must not replace
  // a database.
  if (!FJobs.RestoreSourceUnchanged(recorder, FSource, FTarget, FOutput)) return false;
  const std::optional<TSourceRefusal> refusal = RestoreSourceRefusal(FSource, FTarget);
  if (!refusal) return true;
  std::string firstLine = refusal->Text.substr(0, refusal->Text.find('\n'));
  FJobs.FLog.Stamped(" Восстановление отменено. " + firstLine + " " + FSource);
  FJobs.FLog.Stamped(" Резервная копия НЕ восстановлена. " + FTarget);
  FJobs.FLog.Stamped(" Причина: " + refusal->Reason);
  FOutput.AddPaneLine("ERROR: " + refusal->Reason);
  FOutput.Prompts().Beep();
  FOutput.ShowJobMessage(refusal->Text);
  FJobs.FinishRecord(recorder, false, refusal->Reason);
  return false;
}

TJob TDatabaseJobs::TRestoreRun::Describe() const {
  TJob job = DescribeJob(FDb, FChain.empty() ? TJobKind::Restore : TJobKind::PhysicalRestore, "Restore");
  job.RestoreOptions = RestoreOptionsOf(FDb);
  job.Database.Set(FTarget);
  job.BackupFile.Set(FSource);
  job.StopDatabase = true;
  job.ChainFiles = FChain;
  return job;
}

void TDatabaseJobs::TRestoreRun::KeepRecord() {
  TJobRecord restoring = FJobs.NewJobRecord(FDb, TJobRecord::Restore, FTarget, FTarget, true, FBy);
  restoring.Source = FSource;
  FFrame.Keep(std::move(restoring));
  FPrevious = &FFrame.Replace(FTarget);
}

bool TDatabaseJobs::TRestoreRun::Request() {
  FJobs.RemoveJobLog("rest.log");
  FFrame.RecordFile().Save();
  TJobRunner job(Describe());
  job.Output = &FOutput;
  // The database is moved aside only after the runner has shut it down: a
  // user still attached to it would otherwise go on writing into the moved
  // file. It is put back before the runner brings the database on line
  // again, so after a failed restore it is usable as it was.
  job.BeforeRequest = [this] {
    FPrevious->MoveAside();
    FFrame.RecordFile().NoteRequestStarted();
    FStarted = true;
  };
  job.AfterRequest = [this](bool requestCompleted) { Settle(requestCompleted && FileExists(FTarget)); };
  FFrame.Watch(job);
  return FJobs.RunJobOf(job);
}

void TDatabaseJobs::TRestoreRun::Settle(bool succeeded) {
  FSucceeded = succeeded;
  if (FSucceeded) FFrame.RecordFile().NoteSucceeded();
  FPrevious->Finish(FSucceeded, FStarted);
  FSettled = true;
}

void TDatabaseJobs::TRestoreRun::Report() {
  if (FChain.empty() && RestoreFedFromThisComputer(FSource, FTarget))
    FJobs.FLog.Stamped(" Восстановление из копии на этом компьютере. " + FSource);
  FFrame.LogOutcome(FSucceeded, "Резервная копия восстановлена. ", "Резервная копия НЕ восстановлена. ", FTarget);
  // A failure without a word of its own gets the failure message.
  const std::string said = FFrame.Recorder().ReportedError();
  FFrame.Finish(FSucceeded, FSucceeded ? std::string() : said.empty() ? RestoreFailedText : said);
}

bool TDatabaseJobs::TRestoreRun::Run() {
  if (!CanStart()) return false;
  FFrame.Begin({HistoryKindRestore, FBy, FTarget, FSource});
  // Before anything is asked or shut down.
  if (!SourceFit() || !UsersDisconnected()) return false;
  FFrame.Name({TJobKind::Restore, FTarget});
  FFrame.Follow({TJobPhase::Restore});
  KeepRecord();
  const bool jobOk = FFrame.Run([this] { return Request(); }, RestoreFailedText, TErrorOrder::BoxFirst);
  if (!FSettled) Settle(jobOk && FileExists(FTarget));
  Report();
  return FSucceeded;
}

bool TDatabaseJobs::Restore(const TDatabaseOptions& db, const std::string& source, const std::string& target,
                            TJobOutput& output, TJobBy by) {
  std::string refusal;
  if (!Free(output, refusal)) return false;
  return TRestoreRun(*this, db, source, target, output, by).Run();
}
