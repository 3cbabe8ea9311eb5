// Physical (nbackup) backups: the runner filled in and run, the check of the
// file made, and the outcome in the operation log and the history. A file
// the server has finished is listed in its database's own history and the
// next level builds on it, so it keeps its name whatever follows (a
// verification that fails or is stopped, a stop as the request ends): that
// is reported, the file stays a link of its chain.

#include "controller/history/job_recorder.h"
#include "controller/jobs/database_jobs.h"
#include "controller/jobs/incremental/chain.h"
#include "controller/jobs/incremental/engine_history.h"
#include "controller/jobs/incremental/incremental_run.h"
#include "controller/jobs/job_fill.h"
#include "controller/jobs/replaced_file.h"
#include "controller/log/operation_log.h"
#include "jobs/job_runner.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/mount_table.h"
#include "runner/job_output.h"
#include "runner/job_paths.h"
#include "runner/log_pane.h"
#include "runner/physical_backup.h"
#include "service/nbackup_file.h"

namespace {

constexpr const char* BackupFailedText = "Errors were encountered during backup";
constexpr const char* KeptText =
    " Файл копии сохранён под своим именем: сервер закончил его и записал в историю копий базы данных "
    "(RDB$BACKUP_HISTORY), следующий уровень строится на нём. ";
constexpr const char* KeptUnknownText =
    " Файл копии оставлен под своим именем: не удалось узнать, закончил ли его сервер. ";

}  // namespace

TJob TDatabaseJobs::TIncrementalRun::Describe() const {
  TJob job = DescribeJob(FDb, TJobKind::PhysicalBackup, "INCREMENTAL BACKUP");
  job.Level = FLevel;
  job.Database.Set(FDb.DataBase);
  job.BackupFile.Set(FOutcome.BackFile);
  // Users go on working during a physical backup.
  job.StopDatabase = false;
  return job;
}

void TDatabaseJobs::TIncrementalRun::SetUp() {
  const std::string& backFile = FOutcome.BackFile;
  FFrame.Keep(FJobs.NewJobRecord(FDb, TJobRecord::NBackup, FDb.DataBase, backFile, false, FBy));
  FPrevious = &FFrame.Replace(backFile);
  FFrame.Begin({HistoryKindNBackup, FBy, FDb.DataBase, backFile, backFile}).SetLevel(FLevel, FOutcome.Chain, FBase);
  std::vector<TJobPhase> phases{TJobPhase::Backup};
  if (FDb.VerifyBackup) phases.push_back(TJobPhase::Verify);
  FFrame.Follow(phases);
}

bool TDatabaseJobs::TIncrementalRun::MakeFile() {
  TJobRecordFile& record = FFrame.RecordFile();
  record.Save();
  FPrevious->MoveAside();
  TJobRunner job(Describe());
  job.Output = &FOutput;
  job.BeforeRequest = [&record] { record.NoteRequestStarted(); };
  FFrame.Watch(job);
  FStarted = true;
  if (!FJobs.RunJobOf(job)) return false;
  // The request ended well: the server has finished the file.
  FMade = FileExists(FOutcome.BackFile);
  if (FMade) record.NoteMade();
  const bool checked = CheckMade();
  if (checked && FMade) record.NoteSucceeded();
  return checked;
}

bool TDatabaseJobs::TIncrementalRun::CheckBuiltOnBase(const std::vector<THistoryRecord>& history) {
  // The server builds on the latest backup of the level below it knows of;
  // a backup made meanwhile by another tool would be another base.
  const auto header = ReadNBackupHeader(FOutcome.BackFile);
  if (FLevel == 0 || !header || header->Level != FLevel) return true;
  const TChain chain = FindChain(FOutcome.BackFile, history);
  if (chain.Refusal.empty() && chain.Links.size() >= 2) {
    const std::string& base = chain.Links[chain.Links.size() - 2].File;
    if (base != FLatestBase)
      FOutput.AddPaneLine("WARNING: the server built this backup on " + base + ", the latest level " +
                          std::to_string(FLevel - 1) + " in the database's own backup history, not on " + FLatestBase +
                          ", the latest the program made");
    FBase = base;
    FOutcome.Chain = chain.Links.front().File;
    return true;
  }
  FBaseKnown = false;
  FBase.clear();
  FOutcome.Chain.clear();
  FFailure = "Сервер построил копию уровня " + std::to_string(FLevel) + " на копии уровня " +
             std::to_string(FLevel - 1) + ", которой у программы нет: программа не сможет её восстановить" +
             (chain.Refusal.empty() ? std::string() : " (" + chain.Refusal + ")");
  FOutput.AddPaneLine("ERROR: " + FFailure);
  return false;
}

bool TDatabaseJobs::TIncrementalRun::CheckMade() {
  TJobRecorder& recorder = FFrame.Recorder();
  const std::string& file = FOutcome.BackFile;
  // A missing file is judged by the caller.
  if (!FileExists(file)) return true;
  recorder.SetFileFacts(FileFactsOf(file));
  const bool known = CheckBuiltOnBase(recorder.History());
  recorder.SetLevel(FLevel, FOutcome.Chain, FBase);
  if (!known || !FDb.VerifyBackup) return known;
  const TChain chain = FindChain(file, recorder.History());
  if (!chain.Refusal.empty()) {
    FFailure = "Verification by test restore failed: " + chain.Refusal;
    FOutput.AddPaneLine("ERROR: " + FFailure);
    return false;
  }
  std::vector<std::string> files;
  for (const TChainLink& link : chain.Links) files.push_back(link.File);
  FOutcome.Verified = FJobs.VerifyChain(FDb, files, {FOutput, ByOf(FBy), &FFrame.RecordFile()}, FLevel, FFailure);
  return FOutcome.Verified;
}

std::optional<bool> TDatabaseJobs::TIncrementalRun::ServerFinished() {
  const std::string& file = FOutcome.BackFile;
  if (!FStarted || !FileExists(file)) return false;
  const TEngineHistory engine = ReadEngineHistory(FDb.DataBase, Protocol(), FDb.User, FDb.Pass);
  if (engine.Known && EngineListsFile(engine.Backups, file)) return true;
  std::string unknown = engine.Error;
  if (engine.Known) {
    // A request given up (stopped) may still be under way in its server: the
    // file is the server's while its database is in backup mode for it.
    const TServerPath db = ServerPathOf(FDb.DataBase, LocalComputerName(), ReadMountTable());
    const TPhysicalState state = ReadPhysicalState(db.ServerName, db.LocalPath, Protocol(), FDb.User, FDb.Pass);
    if (state.Known && !(state.BackupMode && FileIsBackup(file, state.BackupGuid))) return false;
    unknown = state.Known ? "the server may still be writing it" : state.Error;
  }
  FOutput.AddPaneLine("WARNING: whether the server finished the file cannot be told (" + unknown +
                      "): it keeps its name, it may be unfinished: " + file);
  return std::nullopt;
}

void TDatabaseJobs::TIncrementalRun::NoteFinishedAfterAll() {
  TJobRecorder& recorder = FFrame.Recorder();
  const std::optional<bool> finished = ServerFinished();
  FMade = finished.value_or(false);
  FMadeUnknown = !finished;
  if (!FMade) return;
  recorder.SetFileFacts(FileFactsOf(FOutcome.BackFile));
  // What stopped the job stays its reason.
  const std::string failure = FFailure;
  FBaseKnown = CheckBuiltOnBase(recorder.History());
  if (!failure.empty()) FFailure = failure;
  recorder.SetLevel(FLevel, FOutcome.Chain, FBase);
}

void TDatabaseJobs::TIncrementalRun::Report(bool jobOk) {
  const std::string& backFile = FOutcome.BackFile;
  // A level the program cannot restore is never a success.
  const bool made = FMade && FBaseKnown;
  const std::string level = "Инкрементная копия уровня " + std::to_string(FLevel);
  FFrame.LogOutcome(made, level + " создана. ", level + " НЕ создана. ", backFile);
  if (!FOutcome.Succeeded) {
    const std::string said = FFrame.Recorder().ReportedError();
    FOutcome.Reason = !FFailure.empty() ? FFailure
                      : !said.empty()   ? said
                      : jobOk           ? "файл копии не найден на этом компьютере"
                                        : BackupFailedText;
    if (FMade || FMadeUnknown) FJobs.FLog.Stamped((FMade ? KeptText : KeptUnknownText) + backFile);
  }
  // The reason, written when it failed, is the history's when the file is
  // not a link of its chain.
  FFrame.Finish(made, FOutcome.Reason);
}

TBackupOutcome TDatabaseJobs::TIncrementalRun::Run() {
  const std::size_t mark = FOutput.Collected().size();
  if (!CanStart()) {
    FOutcome.Reason = FOutput.ReasonSince(mark);
    if (FOutcome.Reason.empty()) FOutcome.Reason = BackupFailedText;
    return FOutcome;
  }
  FOutcome.Started = true;
  FFrame.Name({TJobKind::Backup, FDb.DataBase});
  SetUp();
  const bool jobOk = FFrame.Run([this] { return MakeFile(); }, BackupFailedText, TErrorOrder::PaneFirst);
  if (!FMade) NoteFinishedAfterAll();
  FOutcome.Succeeded = jobOk && FileExists(FOutcome.BackFile);
  if (FOutcome.Succeeded) FFrame.RecordFile().NoteSucceeded();
  FPrevious->Finish(FOutcome.Succeeded || FMade || FMadeUnknown, FStarted);
  Report(jobOk);
  return FOutcome;
}

TBackupOutcome TDatabaseJobs::IncrementalBackup(const TDatabaseOptions& db, int level, TJobOutput& output, TJobBy by) {
  TBackupOutcome refused;
  if (!Free(output, refused.Reason)) return refused;
  return TIncrementalRun(*this, db, level, output, by).Run();
}
