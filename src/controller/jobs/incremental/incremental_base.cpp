// The checks before a physical backup is asked for: the level below it
// builds on, in the program's history and in the database's own, and what
// the server must be able to do. Every failed nbackup request harms a
// Firebird 3.0 server, so whatever the server would refuse is refused here.

#include <filesystem>

#include "controller/history/job_recorder.h"
#include "controller/jobs/incremental/chain.h"
#include "controller/jobs/incremental/engine_history.h"
#include "controller/jobs/incremental/incremental_names.h"
#include "controller/jobs/incremental/incremental_run.h"
#include "controller/jobs/job_fill.h"
#include "controller/log/operation_log.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/mount_table.h"
#include "runner/job_output.h"
#include "runner/job_paths.h"
#include "runner/log_pane.h"
#include "runner/physical_backup.h"
#include "runner/ui_seams.h"

namespace {

constexpr const char* EndBackupModeQuestion =
    "База данных %s уже в режиме резервного копирования (его мог оставить прерванный сбоем или снятый "
    "процесс копирования).\nЗавершить этот режим (ALTER DATABASE END BACKUP) и продолжить?";
constexpr const char* InBackupModeReason =
    "база данных уже в режиме резервного копирования; его завершает ALTER DATABASE END BACKUP: %s";

std::string WithText(std::string_view text, const std::string& value) {
  const std::size_t at = text.find("%s");
  return std::string(text.substr(0, at)) + value + std::string(text.substr(at + 2));
}

std::string FolderOf(const std::string& file) { return std::filesystem::path(file).parent_path().string(); }

}  // namespace

std::optional<THistoryRecord> LatestOfLevel(const std::vector<THistoryRecord>& history, const std::string& database,
                                            int level) {
  for (auto it = history.rbegin(); it != history.rend(); ++it)
    if (it->Succeeded() && it->Kind == HistoryKindNBackup && it->Level == level && it->Database == database) return *it;
  return std::nullopt;
}

bool TDatabaseJobs::TIncrementalRun::Refuse(const std::string& reason) {
  FOutput.AddPaneLine("ERROR: " + reason);
  FOutput.Prompts().Beep();
  FOutput.ShowJobMessage(reason);
  return false;
}

bool TDatabaseJobs::TIncrementalRun::RefuseLevel(const std::string& reason) {
  Refuse(reason);
  TJobRecorder recorder(FJobs.FPlaces.HistoryPath, FOutput, HistoryKindNBackup, ByOf(FBy), FDb.DataBase, {});
  recorder.SetLevel(FLevel, {}, {});
  FJobs.FLog.Stamped(" Инкрементная копия уровня " + std::to_string(FLevel) + " НЕ создана. " + FDb.DataBase);
  FJobs.FLog.Stamped(" Причина: " + reason);
  FJobs.FinishRecord(recorder, false, reason);
  // Its outcome line is written.
  FOutcome.Started = true;
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
  return FindBase() && ServerCanBackUp() && EngineBuildsOnBase();
}

bool TDatabaseJobs::TIncrementalRun::FindBase() {
  if (FLevel == 0) return true;
  const auto base = LatestOfLevel(ReadHistory(FJobs.FPlaces.HistoryPath), FDb.DataBase, FLevel - 1);
  const std::string below = std::to_string(FLevel - 1);
  if (!base)
    return RefuseLevel("Копия уровня " + std::to_string(FLevel) + " строится на копии уровня " + below +
                       ", а её у этой базы данных нет: сначала сделайте копию уровня " + below + ". " + FDb.DataBase);
  // A file this computer cannot see is left to the server to find.
  if (FolderSearchable(FolderOf(base->File)) && !FileExists(base->File))
    return RefuseLevel("Копия уровня " + below + ", на которой строится новая копия, отсутствует: " + base->File);
  FBase = FLatestBase = base->File;
  FOutcome.Chain = base->Chain.empty() ? base->File : base->Chain;
  return true;
}

bool TDatabaseJobs::TIncrementalRun::EngineBuildsOnBase() {
  if (FLevel == 0) return true;
  const TEngineHistory engine = ReadEngineHistory(FDb.DataBase, Protocol(), FDb.User, FDb.Pass);
  if (!engine.Known)
    return Refuse("История копий базы данных (RDB$BACKUP_HISTORY) не прочитана, инкрементная копия не начата: " +
                  engine.Error);
  const std::string level = std::to_string(FLevel);
  const std::string below = std::to_string(FLevel - 1);
  const std::optional<TEngineBackup> row = LatestEngineBackup(engine.Backups, FLevel - 1);
  if (!row)
    return RefuseLevel("В истории копий самой базы данных (RDB$BACKUP_HISTORY) нет копии уровня " + below +
                       ": сервер не может сделать копию уровня " + level +
                       " (так бывает с базой данных, восстановленной из логической копии); сначала сделайте копию "
                       "уровня " +
                       below + ". " + FDb.DataBase);
  const std::string base = FileOfEngineBackup(*row, FBase, FOutcome.Name.BackDir);
  // A base this computer cannot see is the program's by its server's name.
  const bool seen = !base.empty() && FileExists(base);
  const TChain chain = seen ? FindChain(base, ReadHistory(FJobs.FPlaces.HistoryPath)) : TChain{};
  if (base.empty() || !chain.Refusal.empty())
    return RefuseLevel("Сервер построил бы копию уровня " + level + " на копии уровня " + below + " " + row->FileName +
                       ", которой у программы нет (её сделала другая программа, или она перенесена или удалена)" +
                       (chain.Refusal.empty() ? std::string() : ": " + chain.Refusal) +
                       "; сначала сделайте копию уровня " + below + ". " + FDb.DataBase);
  FBase = base;
  if (seen) FOutcome.Chain = chain.Links.front().File;
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

int TDatabaseJobs::PlanLevel(const TDatabaseOptions& db, int level) const {
  const std::vector<THistoryRecord> history = ReadHistory(FPlaces.HistoryPath);
  std::optional<TEngineHistory> engine;
  for (int below = 0; below < level; ++below) {
    const auto record = LatestOfLevel(history, db.DataBase, below);
    if (!record || (FolderSearchable(FolderOf(record->File)) && !FileExists(record->File))) return below;
    // The server builds on the latest level below in the database's own
    // history: a database restored from a logical backup has none, and one
    // the program does not have would make a level it cannot restore.
    if (!engine) engine = ReadEngineHistory(db.DataBase, JobProtocolOf(db.Protocol), db.User, db.Pass);
    if (!engine->Known) return level;
    const std::optional<TEngineBackup> row = LatestEngineBackup(engine->Backups, below);
    if (!row || FileOfEngineBackup(*row, record->File, SplitDataBaseName(db.DataBase).BackDir).empty()) return below;
  }
  return level;
}
