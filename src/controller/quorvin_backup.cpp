// Backup and restore: the backup file name, the questions that guard a job,
// the runner filled in and run, and the outcome in the operation log.

#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "controller/current_job.h"
#include "controller/job_recorder.h"
#include "controller/job_scope.h"
#include "controller/quorvin.h"
#include "controller/replaced_file.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/text.h"
#include "runner/job_notices.h"
#include "runner/job_paths.h"
#include "runner/local_copy_job.h"
#include "runner/local_copy_writer.h"
#include "runner/log_pane.h"
#include "runner/schedule.h"
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

// Administrator without a password: the server will refuse it unless the
// engine trusts this user; the user decides. Nobody decides for a plan
// backup: it tries, and a refusal is reported like any failure (the embedded
// engine takes no password at all).
bool AdminLoginAccepted(const std::string& user, const std::string& pass) {
  if (!SameTextAscii(user, "SYSDBA") || !pass.empty()) return true;
  return AskJobYesNo("Using administrator log-in requires a password.\nContinue anyway?", true);
}

std::string ErrorText(const std::exception& e) { return std::string("ERROR: ") + e.what(); }
constexpr const char* UnknownErrorText = "ERROR: Unknown error";

}  // namespace

bool TQuorvin::RunJobOf(TSchedule& job) {
  if (!JobRunner) return job.RunJob();
  // A stand-in has no shutdown step and no request: the file is moved out
  // of the way before it, as RunJob would; the caller finishes the file.
  if (job.BeforeRequest) job.BeforeRequest();
  return JobRunner(job);
}

bool TQuorvin::RunAlone(bool (TQuorvin::*job)()) {
  if (FJobRunning) {
    Prompts().ShowMessage(JobAlreadyRunningText);
    return false;
  }
  TJobScope scope(*this);
  return (this->*job)();
}

void TQuorvin::FillJob(TSchedule& job, std::int32_t kind, const char* name, const bool (&options)[7]) const {
  job.JobKind = kind;
  job.SetJobName(name);
  job.SetUserName(User);
  job.SetPassword(Pass);
  job.SetProtocol(static_cast<std::uint8_t>(Protocol & 0xFF));
  job.WriteJobLog = false;
  job.VerboseJobLog = false;
  for (int i = 0; i < 7; ++i) job.SetJobOption(i + 1, options[i]);
}

bool TQuorvin::RunReported(const std::function<bool()>& run, const char* failureText, TErrorOrder order) {
  const auto report = [order](const std::string& text) {
    if (order == TErrorOrder::PaneFirst) AddPaneLine(text);
    ShowJobMessage(text);
    if (order == TErrorOrder::BoxFirst) AddPaneLine(text);
  };
  try {
    const bool ok = run();
    if (!ok) {
      Prompts().Beep();
      ShowJobMessage(failureText);
    }
    return ok;
  } catch (const std::exception& e) {
    report(ErrorText(e));
  } catch (...) {
    report(UnknownErrorText);
  }
  return false;
}

std::string TQuorvin::JobRecordPath() const {
  const std::string suffix = ".INI";
  const bool named =
      IniName.size() > suffix.size() && IniName.compare(IniName.size() - suffix.size(), suffix.size(), suffix) == 0;
  return Locations.SettingsDir + (named ? IniName.substr(0, IniName.size() - suffix.size()) : IniName) + ".job";
}

TJobRecord TQuorvin::NewJobRecord(const char* kind, const std::string& database, const std::string& target,
                                  bool shutDown) const {
  TJobRecord record;
  record.Kind = kind;
  record.Started = LogStamp();
  record.Database = database;
  record.Target = target;
  record.ShutDown = shutDown;
  record.Protocol = static_cast<std::uint8_t>(Protocol & 0xFF);
  record.User = User;
  record.Password = Pass;
  return record;
}

bool TQuorvin::DeleteIfExists(const std::string& path) {
  if (!FileExists(path)) return true;
  return DeleteFile(path);
}

void TQuorvin::SplitDataBaseName() {
  // Derived from the name as written, whether or not this computer can see
  // the file (a server folder the desktop user may not read): names kept
  // from an earlier database would give this backup another database's name.
  BackDir.clear();
  BackBaseName.clear();
  if (IsServerNotation(DataBase)) {
    const std::size_t slash = DataBase.find_last_of('\\');
    if (slash == std::string::npos || slash + 1 == DataBase.size()) return;
    BackDir = DataBase.substr(0, slash + 1);
    BackBaseName = WithoutGdb(DataBase.substr(slash + 1));
    return;
  }
  if (DataBase.empty() || DataBase.back() == PathDelim) return;
  // A relative name is taken from the working folder; the backup goes beside
  // the file, not to the root folder.
  const std::filesystem::path file = std::filesystem::absolute(DataBase);
  const std::string name = file.filename().string();
  if (name == "." || name == "..") return;
  BackDir = IncludeTrailingPathDelimiter(file.parent_path().string());
  BackBaseName = WithoutGdb(name);
}

bool TQuorvin::Backup() { return RunAlone(&TQuorvin::BackupJob); }

void TQuorvin::LogJobOutcome(bool succeeded, const char* done, const char* notDone, const std::string& file) {
  SaveStrToLog(LogStamp() + " " + (succeeded ? done : notDone) + file);
}

bool TQuorvin::BackupCanStart() {
  SplitDataBaseName();
  BackFile =
      BackDir + BackBaseName + (AutoBackName ? FormatDateTime("_dd_mm_yy_hh_nn", Now()) : std::string()) + ".gbk";
  if (DataBase.empty()) {
    ShowJobMessage("Файл не найден!");
    return false;
  }
  if (!AdminLoginAccepted(User, Pass)) return false;
  FRunningJob = {TSchedule::KindBackup, DataBase};
  return true;
}

bool TQuorvin::BackupJob() {
  if (!BackupCanStart()) return false;
  // Nothing is moved or removed before this point: a job that is not
  // started leaves every file as it was. With "copy only" no file is made
  // on the server and none is moved there: the copy's two files are the
  // backup a failure must not cost.
  const bool serverFile = LocalCopyDir.empty() || !LocalCopyOnly;
  const std::string copyPath =
      LocalCopyDir.empty() ? std::string() : LocalCopyPathOf(LocalCopyDir, LastPathComponent(BackFile));
  TReplacedFile previous(serverFile ? BackFile : copyPath);
  TReplacedFile previousChecksum(serverFile ? std::string() : ChecksumFileOf(copyPath));
  const TCopyShape shape = copyPath.empty() ? TCopyShape::None : serverFile ? TCopyShape::Beside : TCopyShape::Only;
  TJobRecorder recorder(HistoryPath(), HistoryKindBackup, JobBy(), DataBase, BackFile, serverFile ? BackFile : "",
                        shape);
  TCurrentJob current(*this, recorder);
  std::optional<TLocalCopyInfo> copy;
  // The record of the job for a crash or a kill: the file this job makes
  // under its final name and the one it moves aside for that.
  const std::string target = serverFile ? BackFile : copyPath;
  TJobRecordFile record(JobRecordPath(), NewJobRecord(TJobRecord::Backup, DataBase, target, BackShutDown));
  previous.OnAside = [&](const std::string& aside) { record.NoteAside(aside); };
  bool started = false;
  std::string failure;
  const bool jobOk = RunReported(
      [&] {
        RemoveJobLog("back.log");
        record.Save();
        previous.MoveAside();
        previousChecksum.MoveAside();
        TSchedule job;
        FillBackupJob(job, copy);
        job.BeforeRequest = [&] { record.NoteRequestStarted(); };
        std::vector<std::string> output;
        WatchJob(recorder, job, VerifyBackup ? &output : nullptr);
        started = true;
        if (!RunJobOf(job)) return false;
        if (copy) recorder.SetCopy(*copy, !serverFile);
        const bool checked =
            serverFile ? CheckServerBackup(recorder, output, failure) : CheckCopyOnlyBackup(copy, failure);
        // Only a backup that passed its verification may cost the earlier one
        // when the program is killed now.
        if (checked && FileExists(target)) record.NoteSucceeded();
        return checked;
      },
      "Errors were encountered during backup", TErrorOrder::PaneFirst);

  if (serverFile && jobOk && !LocalCopyDir.empty() && !copy) {
    Prompts().Beep();
    ShowJobMessage("Errors were encountered during the copy on this computer");
  }
  // A file alone is no proof: a failed job can leave a partial one.
  const bool succeeded = jobOk && (serverFile ? FileExists(BackFile) : copy && FileExists(copy->File));
  if (succeeded) record.NoteSucceeded();
  previous.Finish(succeeded, started);
  previousChecksum.Finish(succeeded, started);
  if (serverFile) {
    if (succeeded) LastBack = BackFile;
    LogJobOutcome(succeeded, "Резервная копия создана. ", "Резервная копия НЕ создана. ", BackFile);
  }
  // With "copy only" the copy is the backup and its outcome the job's.
  if (!LocalCopyDir.empty()) LocalCopyOutcome(copy, serverFile ? jobOk : succeeded);
  FinishBackupRecord(recorder, succeeded, jobOk, failure);
  return succeeded;
}

void TQuorvin::FillBackupJob(TSchedule& job, std::optional<TLocalCopyInfo>& copy) const {
  const bool options[] = {BackParam1, BackParam2, BackParam3, BackParam4, BackParam5, BackParam6, BackParam7};
  FillJob(job, TSchedule::KindBackup, "BACKUP OPERATION", options);
  job.SetJobFile(1, DataBase);
  job.SetJobFile(2, BackFile);
  job.StopDatabase = BackShutDown;
  job.LocalCopyDir = LocalCopyDir;
  job.LocalCopyOnly = LocalCopyOnly;
  job.OnLocalCopyMade = [&copy](const TLocalCopyInfo& made) { copy = made; };
}

bool TQuorvin::CheckServerBackup(TJobRecorder& recorder, const std::vector<std::string>& output, std::string& failure) {
  // A missing file is judged by the caller, without the failure message.
  if (!FileExists(BackFile)) return true;
  const TFileFacts facts = FileFactsOf(BackFile);
  recorder.SetFileFacts(facts);
  return !VerifyBackup || VerifyBackupFile(BackFile, &output, facts, failure);
}

bool TQuorvin::CheckCopyOnlyBackup(const std::optional<TLocalCopyInfo>& copy, std::string& failure) {
  if (!copy || !VerifyBackup) return true;
  // Restored from the copy through the service's standard input; a streamed
  // backup has no row counts to compare with.
  return VerifyBackupFile(copy->File, nullptr, {copy->OutputBytes, copy->Sha256}, failure);
}

void TQuorvin::FinishBackupRecord(TJobRecorder& recorder, bool succeeded, bool jobOk, std::string failure) {
  if (!succeeded && failure.empty() && recorder.ReportedError().empty()) {
    const bool copyOnly = !LocalCopyDir.empty() && LocalCopyOnly;
    failure = jobOk ? (copyOnly ? "The copy on this computer does not exist after the job"
                                : "The backup file does not exist after the job")
                    : "Errors were encountered during backup";
  }
  FinishRecord(recorder, succeeded, failure);
}

bool TQuorvin::Restore() { return RunAlone(&TQuorvin::RestoreJob); }

bool TQuorvin::RestoreCanStart() {
  if (RestoreTarget.empty() || RestoreSource.empty()) {
    ShowJobMessage("Must select both database and restore files");
    return false;
  }
  if (!AdminLoginAccepted(User, Pass)) return false;
  if (!Prompts().ConfirmOkCancel("Make sure all users are disconnected from the database \n"
                                 "before continuing. Click OK to continue")) {
    return false;
  }
  ProcessMessages();
  FRunningJob = {TSchedule::KindRestore, RestoreTarget};
  return true;
}

void TQuorvin::FillRestoreJob(TSchedule& job) const {
  const bool options[] = {RestParam1, RestParam2, RestParam3, RestParam4, RestParam5, RestParam6, RestParam7};
  FillJob(job, TSchedule::KindRestore, "Restore", options);
  job.SetJobFile(2, RestoreTarget);
  job.SetJobFile(1, RestoreSource);
  job.StopDatabase = true;
}

bool TQuorvin::RestoreJob() {
  if (!RestoreCanStart()) return false;
  TJobRecorder recorder(HistoryPath(), HistoryKindRestore, JobBy(), RestoreTarget, RestoreSource);
  TCurrentJob current(*this, recorder);
  // Before anything is shut down: a backup file that is no longer what its
  // backup wrote must not replace a database.
  if (!RestoreSourceUnchanged(recorder)) return false;
  TReplacedFile previous(RestoreTarget);
  TJobRecordFile record(JobRecordPath(), NewJobRecord(TJobRecord::Restore, RestoreTarget, RestoreTarget, true));
  previous.OnAside = [&](const std::string& aside) { record.NoteAside(aside); };
  bool started = false;
  bool finished = false;
  bool succeeded = false;
  const bool jobOk = RunReported(
      [&] {
        RemoveJobLog("rest.log");
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
          succeeded = requestCompleted && FileExists(RestoreTarget);
          if (succeeded) record.NoteSucceeded();
          previous.Finish(succeeded, started);
          finished = true;
        };
        FillRestoreJob(job);
        WatchJob(recorder, job);
        return RunJobOf(job);
      },
      "Errors were encountered during restore", TErrorOrder::BoxFirst);

  if (!finished) {
    succeeded = jobOk && FileExists(RestoreTarget);
    if (succeeded) record.NoteSucceeded();
    previous.Finish(succeeded, started);
  }
  if (RestoreFedFromThisComputer(RestoreSource, RestoreTarget)) {
    SaveStrToLog(LogStamp() + " Восстановление из копии на этом компьютере. " + RestoreSource);
  }
  LogJobOutcome(succeeded, "Резервная копия восстановлена. ", "Резервная копия НЕ восстановлена. ", RestoreTarget);
  // A failure without an error line of its own gets the failure message.
  const bool said = succeeded || !recorder.ReportedError().empty();
  FinishRecord(recorder, succeeded, said ? "" : "Errors were encountered during restore");
  return succeeded;
}

void TQuorvin::AbortJobDestroyed() {
  // Reached only through a caller that ignored JobRunning(); the job below
  // would go on over freed memory, which is worse than stopping here.
  std::fputs("Quorvin: the controller was destroyed while its job was running\n", stderr);
  std::abort();
}
