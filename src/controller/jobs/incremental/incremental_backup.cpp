// Physical (nbackup) backups: the file's name, the level below it builds on,
// what the server must be able to do before it is asked (Firebird 3.0's
// nbackup service, failing, closes a descriptor of the process it runs in),
// the runner filled in and run, the check of the file made, and the outcome
// in the operation log and the history.

#include <filesystem>
#include <optional>

#include "controller/history/job_recorder.h"
#include "controller/jobs/database_jobs.h"
#include "controller/jobs/incremental/chain.h"
#include "controller/jobs/incremental/incremental_names.h"
#include "controller/jobs/job_fill.h"
#include "controller/jobs/job_scope.h"
#include "controller/jobs/replaced_file.h"
#include "controller/log/operation_log.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/mount_table.h"
#include "runner/job_output.h"
#include "runner/job_paths.h"
#include "runner/log_pane.h"
#include "runner/physical_backup.h"
#include "runner/schedule.h"
#include "service/nbackup_file.h"

namespace {

constexpr const char* BackupFailedText = "Errors were encountered during backup";
constexpr const char* EndBackupModeQuestion =
    "База данных %s уже в режиме резервного копирования (его мог оставить прерванный сбоем или снятый "
    "процесс копирования).\nЗавершить этот режим (ALTER DATABASE END BACKUP) и продолжить?";
constexpr const char* InBackupModeReason =
    "база данных уже в режиме резервного копирования; его завершает ALTER DATABASE END BACKUP: %s";

std::string WithText(std::string_view text, const std::string& value) {
  const std::size_t at = text.find("%s");
  return std::string(text.substr(0, at)) + value + std::string(text.substr(at + 2));
}

// The latest successful physical backup of `level` of `database`.
std::optional<THistoryRecord> LatestOfLevel(const std::vector<THistoryRecord>& history, const std::string& database,
                                            int level) {
  for (auto it = history.rbegin(); it != history.rend(); ++it)
    if (it->Succeeded() && it->Kind == HistoryKindNBackup && it->Level == level && it->Database == database) return *it;
  return std::nullopt;
}

}  // namespace

// One physical backup, step by step: what its steps share.
class TDatabaseJobs::TIncrementalRun {
 public:
  TIncrementalRun(TDatabaseJobs& jobs, const TDatabaseOptions& db, int level, TJobOutput& output, TJobBy by)
      : FJobs(jobs), FDb(db), FLevel(level), FOutput(output), FBy(by) {}

  TBackupOutcome Run();

 private:
  // The file's name, the login, the level below; false (the user told) when
  // the backup must not start.
  bool CanStart();
  bool FindBase();
  // The server's side: the service offered, the database writable and not in
  // backup mode already (that mode ended when the user agrees).
  bool ServerCanBackUp();
  bool EndBackupMode(const TServerPath& database);
  // False after telling the user why.
  bool Refuse(const std::string& reason);
  // The file made: its facts, its place in the chain, its verification.
  bool CheckMade(TJobRecorder& recorder);
  void FillJob(TSchedule& job);
  std::uint8_t Protocol() const { return static_cast<std::uint8_t>(FDb.Protocol & 0xFF); }

  TDatabaseJobs& FJobs;
  const TDatabaseOptions& FDb;
  const int FLevel;
  TJobOutput& FOutput;
  TJobBy FBy;
  TBackupOutcome FOutcome;
  // The file of the level below and its chain's level-0 file.
  std::string FBase;
  std::string FFailure;
  TJobRecordFile* FRecord = nullptr;
};

bool TDatabaseJobs::TIncrementalRun::Refuse(const std::string& reason) {
  FOutput.AddPaneLine("ERROR: " + reason);
  FOutput.Prompts().Beep();
  FOutput.ShowJobMessage(reason);
  return false;
}

bool TDatabaseJobs::TIncrementalRun::CanStart() {
  FOutcome.Name = SplitDataBaseName(FDb.DataBase);
  FOutcome.Level = FLevel;
  if (FDb.DataBase.empty()) {
    FOutput.ShowJobMessage("Файл не найден!");
    return false;
  }
  if (FLevel < 0 || FLevel > MaxIncrementalLevel)
    return Refuse("Уровень инкрементной копии от 0 до " + std::to_string(MaxIncrementalLevel) + ": " +
                  std::to_string(FLevel));
  FOutcome.BackFile = NewIncrementalFileName(FOutcome.Name, FLevel, Now(), FJobs.FPlaces.HistoryPath);
  FOutcome.Chain = FLevel == 0 ? FOutcome.BackFile : std::string();
  if (!AdminLoginAccepted(FDb.User, FDb.Pass, FOutput)) return false;
  return FindBase() && ServerCanBackUp();
}

bool TDatabaseJobs::TIncrementalRun::FindBase() {
  if (FLevel == 0) return true;
  const auto base = LatestOfLevel(ReadHistory(FJobs.FPlaces.HistoryPath), FDb.DataBase, FLevel - 1);
  const std::string below = std::to_string(FLevel - 1);
  if (!base)
    return Refuse("Копия уровня " + std::to_string(FLevel) + " строится на копии уровня " + below +
                  ", а её у этой базы данных нет: сначала сделайте копию уровня " + below + ". " + FDb.DataBase);
  // A file this computer cannot see is left to the server to find.
  if (FolderSearchable(std::filesystem::path(base->File).parent_path().string()) && !FileExists(base->File))
    return Refuse("Копия уровня " + below + ", на которой строится новая копия, отсутствует: " + base->File);
  FBase = base->File;
  FOutcome.Chain = base->Chain.empty() ? base->File : base->Chain;
  return true;
}

bool TDatabaseJobs::TIncrementalRun::ServerCanBackUp() {
  const TServerPath db = ServerPathOf(FDb.DataBase, LocalComputerName(), ReadMountTable());
  const TPhysicalState state = ReadPhysicalState(db.ServerName, db.LocalPath, Protocol(), FDb.User, FDb.Pass);
  // Every failed request harms the server (see above): nothing is asked of
  // it while the database's state is unknown.
  if (!state.Known) return Refuse("Состояние базы данных не прочитано, инкрементная копия не начата: " + state.Error);
  if (!state.ServiceOffered)
    return Refuse("Сервер не делает инкрементных копий через менеджер сервисов (нужен Firebird 2.5 или новее): " +
                  state.ServerVersion);
  if (state.ReadOnly)
    return Refuse("База данных только для чтения: сервер не может сделать её инкрементную копию. " + FDb.DataBase);
  if (state.BackupMode) return EndBackupMode(db);
  return true;
}

bool TDatabaseJobs::TIncrementalRun::EndBackupMode(const TServerPath& database) {
  if (!FOutput.AskJobYesNo(WithText(EndBackupModeQuestion, FDb.DataBase), false))
    return Refuse(WithText(InBackupModeReason, FDb.DataBase));
  try {
    EndPhysicalBackupMode(database.ServerName, database.LocalPath, Protocol(), FDb.User, FDb.Pass);
  } catch (const std::exception& error) {
    return Refuse(std::string("Режим резервного копирования не завершён: ") + error.what());
  }
  FOutput.AddPaneLine("Backup mode ended (ALTER DATABASE END BACKUP): " + FDb.DataBase);
  FJobs.FLog.Stamped(" Режим резервного копирования завершён по согласию пользователя. " + FDb.DataBase);
  return true;
}

void TDatabaseJobs::TIncrementalRun::FillJob(TSchedule& job) {
  const bool noOptions[7] = {};
  ::FillJob(job, FDb, TSchedule::KindNBackup, "INCREMENTAL BACKUP", noOptions, FOutput);
  job.NBackupLevel = FLevel;
  job.SetJobFile(1, FDb.DataBase);
  job.SetJobFile(2, FOutcome.BackFile);
  // Users go on working during a physical backup.
  job.StopDatabase = false;
}

bool TDatabaseJobs::TIncrementalRun::CheckMade(TJobRecorder& recorder) {
  const std::string& file = FOutcome.BackFile;
  // A missing file is judged by the caller.
  if (!FileExists(file)) return true;
  recorder.SetFileFacts(FileFactsOf(file));
  // The server builds on the latest backup of the level below it knows of;
  // a backup made meanwhile by another tool would be another base.
  const auto header = ReadNBackupHeader(file);
  if (FLevel > 0 && header && header->Level == FLevel) {
    const TChain chain = FindChain(file, {});
    if (!chain.Refusal.empty() || chain.Links.size() < 2 || chain.Links[chain.Links.size() - 2].File != FBase) {
      FOutput.AddPaneLine("WARNING: the server built this backup on another file than " + FBase +
                          (chain.Refusal.empty() ? "" : ": " + chain.Refusal));
      FBase.clear();
      FOutcome.Chain = chain.Refusal.empty() && !chain.Links.empty() ? chain.Links.front().File : std::string();
    }
  }
  recorder.SetLevel(FLevel, FOutcome.Chain, FBase);
  if (!FDb.VerifyBackup) return true;
  const TChain chain = FindChain(file, {});
  if (!chain.Refusal.empty()) {
    FFailure = "Verification by test restore failed: " + chain.Refusal;
    FOutput.AddPaneLine("ERROR: " + FFailure);
    return false;
  }
  std::vector<std::string> files;
  for (const TChainLink& link : chain.Links) files.push_back(link.File);
  FOutcome.Verified = FJobs.VerifyChain(FDb, files, {FOutput, ByOf(FBy), FRecord}, FLevel, FFailure);
  return FOutcome.Verified;
}

TBackupOutcome TDatabaseJobs::TIncrementalRun::Run() {
  TJobScope scope(FJobs);
  const std::size_t mark = FOutput.Collected().size();
  if (!CanStart()) {
    FOutcome.Reason = FOutput.ReasonSince(mark);
    if (FOutcome.Reason.empty()) FOutcome.Reason = BackupFailedText;
    return FOutcome;
  }
  FOutcome.Started = true;
  scope.Name({TSchedule::KindBackup, FDb.DataBase});
  const std::string& backFile = FOutcome.BackFile;
  TJobRecordFile record(FJobs.FPlaces.JobRecordPath,
                        FJobs.NewJobRecord(FDb, TJobRecord::NBackup, FDb.DataBase, backFile, false));
  FRecord = &record;
  TReplacedFile previous(backFile, FOutput, &record);
  TJobRecorder recorder(FJobs.FPlaces.HistoryPath, FOutput, HistoryKindNBackup, ByOf(FBy), FDb.DataBase, backFile,
                        backFile);
  recorder.SetLevel(FLevel, FOutcome.Chain, FBase);
  std::vector<TJobPhase> phases{TJobPhase::Backup};
  if (FDb.VerifyBackup) phases.push_back(TJobPhase::Verify);
  TPhasedProgress progress(Now(), phases, PhaseWeights(phases, recorder.Baseline(), recorder.History()));
  TPhasesScope phasesScope(FJobs, progress);
  TCurrentJob current(FJobs, recorder);
  bool started = false;
  const bool jobOk = RunReported(
      FOutput,
      [&] {
        record.Save();
        previous.MoveAside();
        TSchedule job;
        FillJob(job);
        job.BeforeRequest = [&] { record.NoteRequestStarted(); };
        FJobs.WatchJob(recorder, job);
        started = true;
        if (!FJobs.RunJobOf(job)) return false;
        const bool checked = CheckMade(recorder);
        if (checked && FileExists(backFile)) record.NoteSucceeded();
        return checked;
      },
      BackupFailedText, TErrorOrder::PaneFirst);
  FOutcome.Succeeded = jobOk && FileExists(backFile);
  if (FOutcome.Succeeded) record.NoteSucceeded();
  previous.Finish(FOutcome.Succeeded, started);
  LogJobOutcome(FJobs.FLog, FOutcome.Succeeded,
                ("Инкрементная копия уровня " + std::to_string(FLevel) + " создана. ").c_str(),
                ("Инкрементная копия уровня " + std::to_string(FLevel) + " НЕ создана. ").c_str(), backFile);
  recorder.SetPhaseSeconds(std::nullopt, progress.SecondsIn(TJobPhase::Verify, Now()));
  if (!FOutcome.Succeeded) {
    const std::string said = recorder.ReportedError();
    FOutcome.Reason = !FFailure.empty() ? FFailure
                      : !said.empty()   ? said
                      : jobOk           ? "файл копии не найден на этом компьютере"
                                        : BackupFailedText;
    FJobs.FLog.Stamped(" Причина: " + FOutcome.Reason);
  }
  FJobs.FinishRecord(recorder, FOutcome.Succeeded, FOutcome.Reason);
  return FOutcome;
}

TBackupOutcome TDatabaseJobs::IncrementalBackup(const TDatabaseOptions& db, int level, TJobOutput& output, TJobBy by) {
  if (FJobRunning) {
    output.ShowJobMessage(JobAlreadyRunningText);
    return {};
  }
  return TIncrementalRun(*this, db, level, output, by).Run();
}

int TDatabaseJobs::PlanLevel(const std::string& database, int level) const {
  const std::vector<THistoryRecord> history = ReadHistory(FPlaces.HistoryPath);
  for (int below = 0; below < level; ++below) {
    const auto record = LatestOfLevel(history, database, below);
    if (!record ||
        (FolderSearchable(std::filesystem::path(record->File).parent_path().string()) && !FileExists(record->File)))
      return below;
  }
  return level;
}
