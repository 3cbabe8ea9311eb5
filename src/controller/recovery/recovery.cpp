#include "controller/recovery/recovery.h"

#include <cerrno>
#include <string>
#include <vector>

#include "controller/jobs/database_jobs.h"
#include "controller/jobs/incremental/engine_history.h"
#include "controller/jobs/temporary_database.h"
#include "controller/log/operation_log.h"
#include "controller/recovery/interrupted_history.h"
#include "platform/exception.h"
#include "platform/file_aside.h"
#include "platform/files.h"
#include "platform/mount_table.h"
#include "runner/database_control.h"
#include "runner/job_outcome.h"
#include "runner/job_output.h"
#include "runner/job_paths.h"
#include "runner/local_copy_job.h"
#include "runner/local_copy_writer.h"
#include "runner/log_pane.h"
#include "runner/physical_backup.h"
#include "service/nbackup_file.h"

namespace {

constexpr const char* LogPrefix = " Восстановление после прерванного задания: ";
constexpr std::int64_t NsPerSecond = 1000000000;

// The notice's lines in English, phrase by phrase (the operation log keeps
// the Russian ones); a longer phrase comes before one it holds.
// clang-format off
constexpr TPhrase NoticePhrases[] = {
  {"восстановление базы данных ", "restore of the database "},
  {"инкрементное резервное копирование ", "incremental backup of "},
  {"резервное копирование ", "backup of "},
  {", начато ", ", started "},
  {"запись относится к другому файлу настроек: ", "the record belongs to another settings file: "},
  {"в записи нет базы данных или файла задания", "the record names no database or no file of the job"},
  {"восстанавливаемая база данных не та, что названа в записи",
   "the database restored is not the one the record names"},
  {"файл задания не резервная копия этой базы данных", "the job's file is no backup of this database"},
  {"чужой файл в записи: ", "a file not the job's own in the record: "},
  {"чужое имя отложенного файла: ", "a set-aside file's name not the job's own: "},
  {"чужое имя временной базы данных: ", "a temporary database's name not the job's own: "},
  {"файл изменён после задания (его могла закончить программа сервера) и оставлен как есть: ",
   "the file changed after the job (the server's program may have finished it) and is left as it is: "},
  {"не доказано, что файл записало это задание (его файловая система не хранит время создания), он оставлен как "
   "есть: ",
   "not proven that this job wrote the file (its file system keeps no creation time); it is left as it is: "},
  {"файл создан не во время задания и оставлен как есть: ",
   "the file was not made while the job ran and is left as it is: "},
  {"не проверено, закончил ли сервер копию (нет пароля пользователя ",
   "not checked whether the server finished the backup (no password of user "},
  {"не проверено, закончил ли сервер копию (", "not checked whether the server finished the backup ("},
  {"); файл оставлен под своим именем: ", "); the file is left under its name: "},
  {"копия закончена сервером и записана в историю копий базы данных (RDB$BACKUP_HISTORY), файл сохранён под своим "
   "именем: ",
   "the server finished the backup and listed it in the database's backup history (RDB$BACKUP_HISTORY); the file "
   "is kept under its name: "},
  {"прежний файл того же имени оставлен как есть: ", "the earlier file of the same name is left as it is: "},
  {"прежний файл изменён после задания и оставлен как есть: ",
   "the earlier file changed after the job and is left as it is: "},
  {"прежний файл удалён: ", "the earlier file was deleted: "},
  {"; прежний файл сохранён как ", "; the earlier file is kept as "},
  {"неполный файл переименован: ", "the incomplete file was renamed: "},
  {"прежний файл возвращён под своё имя: ", "the earlier file is back under its name: "},
  {"временный файл удалён: ", "the temporary file was deleted: "},
  {"временная база данных проверки не удалена: нет пароля пользователя ",
   "the verification's temporary database was not dropped: no password of user "},
  {"временная база данных проверки НЕ удалена: ", "the verification's temporary database was NOT dropped: "},
  {"временная база данных проверки удалена: ", "the verification's temporary database was dropped: "},
  {"база данных недоступна с этого компьютера, её режим не проверен и не изменён: ",
   "the database cannot be reached from this computer; its state was neither checked nor changed: "},
  {"база данных недоступна с этого компьютера, её режим не проверен: ",
   "the database cannot be reached from this computer; its state was not checked: "},
  {"база данных изменена после задания и оставлена в своём режиме: ",
   "the database changed after the job and is left in its state: "},
  {"база данных не переведена в рабочий режим: нет пароля пользователя ",
   "the database was not brought on line: no password of user "},
  {"база данных НЕ переведена в рабочий режим: ", "the database was NOT brought on line: "},
  {"база данных в рабочем режиме: ", "the database is on line: "},
  {"режим резервного копирования базы данных не проверен: нет пароля пользователя ",
   "the database's backup mode was not checked: no password of user "},
  {"режим резервного копирования базы данных не проверен: ", "the database's backup mode was not checked: "},
  {"база данных в режиме резервного копирования, но его оставило не это задание; режим не изменён (его завершает "
   "ALTER DATABASE END BACKUP): ",
   "the database is in backup mode, but not by this job; the mode is left as it is (ALTER DATABASE END BACKUP "
   "ends it): "},
  {"база данных оставлена в режиме резервного копирования по решению пользователя: ",
   "the database is left in backup mode as the user chose: "},
  {"режим резервного копирования завершён (ALTER DATABASE END BACKUP): ",
   "the backup mode was ended (ALTER DATABASE END BACKUP): "},
  {"ОШИБКА: ", "ERROR: "},
  {"запись в истории заданий не сделана: ", "no entry was written to the job history: "},
  {"запись о задании не читается", "the job's record cannot be read"},
  {"; ничего не изменено: ", "; nothing was changed: "},
  {"запись о задании не удалена: ", "the job's record was not removed: "},
  {"запись о задании оставлена до следующего запуска: ", "the job's record stays for the next start: "},
  {"запись: ", "record: "},
  {": нет пароля пользователя ", ": no password of user "},
  {" в ", " to "},
};
// clang-format on

std::string JobDescription(const TJobRecord& record) {
  const std::string what = record.Kind == TJobRecord::Restore ? "восстановление базы данных " + record.Target
                           : record.Kind == TJobRecord::NBackup
                               ? "инкрементное резервное копирование " + record.Database + " в " + record.Target
                           : record.Target.empty() ? "резервное копирование " + record.Database
                                                   : "резервное копирование " + record.Database + " в " + record.Target;
  return what + ", начато " + record.Started;
}

bool OnlyLettersAndDigits(const std::string& text) {
  for (char c : text)
    if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))) return false;
  return true;
}

// `name` is `base` followed by `suffix` and `count` letters or digits.
bool NamedAfter(const std::string& name, const std::string& base, const std::string& suffix, std::size_t count) {
  const std::string head = base + suffix;
  return name.size() == head.size() + count && name.compare(0, head.size(), head) == 0 &&
         OnlyLettersAndDigits(name.substr(head.size()));
}

// The names a backup job's files may have: the backup file beside the
// database, its compressed copy in any folder and the copy's checksum file.
bool BackupFileOf(const TJobRecord& record, const std::string& file) {
  const TBackupName name = SplitDataBaseName(record.Database);
  const std::string base = LastPathComponent(file);
  if (base.rfind(name.BackBaseName, 0) != 0) return false;
  const auto endsWith = [&](const std::string& end) {
    return base.size() >= end.size() && base.compare(base.size() - end.size(), end.size(), end) == 0;
  };
  if (endsWith(".gbk") || endsWith(".nbk")) return file == name.BackDir + base;
  return endsWith(".gbk.zst") || endsWith(".gbk.zst.sha256");
}

// A record's text on one line for the operation log.
std::string OnOneLineRecord(const std::string& text) {
  std::string line;
  for (char c : text) line += c == '\n' ? std::string("; ") : std::string(1, c);
  return line;
}

// The backup file a backup job names (with "copy only" the server's name of
// the copy's backup, beside the database).
std::string BackupFileNamed(const TJobRecord& record) {
  const std::string zst = ".zst";
  const std::string& target = record.Target;
  if (target.size() < zst.size() || target.compare(target.size() - zst.size(), zst.size(), zst) != 0) return target;
  const std::string base = LastPathComponent(target);
  return SplitDataBaseName(record.Database).BackDir + base.substr(0, base.size() - zst.size());
}

}  // namespace

std::string RecordRefusal(const TJobRecord& record, const std::string& settingsPath) {
  if (!record.Settings.empty() && record.Settings != settingsPath)
    return "запись относится к другому файлу настроек: " + record.Settings;
  if (record.Database.empty() || record.Target.empty()) return "в записи нет базы данных или файла задания";
  const bool restore = record.Kind == TJobRecord::Restore;
  if (restore && record.Target != record.Database) return "восстанавливаемая база данных не та, что названа в записи";
  if (!restore && !BackupFileOf(record, record.Target)) return "файл задания не резервная копия этой базы данных";
  for (const TReplacedPair& pair : record.Replaced) {
    const bool own = pair.Target == record.Target || (!restore && BackupFileOf(record, pair.Target));
    if (!own) return "чужой файл в записи: " + pair.Target;
    if (!pair.Aside.empty() && !NamedAfter(pair.Aside, pair.Target, ".aside-", 8))
      return "чужое имя отложенного файла: " + pair.Aside;
  }
  if (!record.VerifyDatabase.empty() && !IsTemporaryDatabaseOf(record.VerifyDatabase, BackupFileNamed(record)))
    return "чужое имя временной базы данных: " + record.VerifyDatabase;
  return {};
}

// One recovery: the record, what was done and what was left.
class TRecovery::TRun {
 public:
  TRun(TRecovery& owner, const TJobRecord& record, TJobOutput& output)
      : FOwner(owner), FRecord(record), FOutput(output) {}

  void Finish() {
    Done(JobDescription(FRecord));
    // Before the unfinished file is renamed: it proves whose backup mode it is.
    if (FRecord.Kind == TJobRecord::NBackup) EndBackupModeLeft();
    JudgeServerFinished();
    for (const TReplacedPair& pair : FRecord.Replaced) ResolvePair(pair);
    if (FRecord.Replaced.empty() || FRecord.Replaced.front().Target != FRecord.Target) ResolveTargetAlone();
    for (const TReplacedPair& pair : FRecord.Replaced) RemoveTemporaries(pair.Target);
    DropVerifyDatabase();
    StartDatabase();
  }
  const std::vector<std::string>& Lines() const { return FLines; }
  // A step waited for a password nobody gave: the record stays.
  bool LeftForLater() const { return FLeftForLater; }
  // A physical backup's file that its server finished (and kept its name).
  bool TargetFinished() const { return FFinished == TFinished::Yes; }

 private:
  void Done(const std::string& line) { FLines.push_back(line); }

  // Not changed after the job's last sign of life (give or take its last
  // writes).
  bool UnchangedSince(const TFileIdentity& file, std::int64_t since) const {
    return file.ModifiedNs <= (since + GraceSeconds) * NsPerSecond;
  }

  // Created while the job's request ran (from its start to the job's last
  // sign of life); nullopt when the file system does not keep the time. A
  // record of an earlier version does not say when its request started.
  std::optional<bool> CreatedWhileRequestRan(const std::string& file) const {
    if (FRecord.RequestStart == 0) return true;
    const std::optional<std::int64_t> created = CreationTimeNs(file);
    if (!created) return std::nullopt;
    return *created >= (FRecord.RequestStart - 1) * NsPerSecond &&
           *created <= (FRecord.Alive + GraceSeconds) * NsPerSecond;
  }

  // Empty when the file under the target's name is the one the request
  // wrote, as the job left it: the same file as the last sign of life saw
  // (before that: one created while the request ran), not written since; a
  // restored database also still shut down (one on line is a finished
  // restore). Otherwise why it is left as it is.
  std::string NotJobsOwn(const std::string& target, const TFileIdentity& now) {
    const std::string changed =
        "файл изменён после задания (его могла закончить программа сервера) и оставлен как есть: ";
    if (!FRecord.RequestStarted) return changed;
    const bool seen = target == FRecord.Target && FRecord.TargetIdentity;
    if (seen && !FRecord.TargetIdentity->SameFile(now)) return changed;
    if (!seen) {
      const std::optional<bool> created = CreatedWhileRequestRan(target);
      if (!created)
        return "не доказано, что файл записало это задание (его файловая система не хранит время создания), он "
               "оставлен как есть: ";
      if (!*created) return "файл создан не во время задания и оставлен как есть: ";
    }
    if (!UnchangedSince(now, FRecord.Alive)) return changed;
    if (FRecord.Kind != TJobRecord::Restore) return {};
    const std::optional<std::string> state = ShutdownState(target);
    return !state || !state->empty() ? std::string() : changed;
  }

  // A physical backup's file its server finished is listed in its database's
  // own history, and the next level builds on it: it keeps its name, and the
  // verification the kill cut short is what failed. Judged before anything
  // is renamed; a file whose fate is not known keeps its name too.
  void JudgeServerFinished() {
    if (FRecord.Kind != TJobRecord::NBackup || FRecord.Succeeded || !FRecord.RequestStarted ||
        !IdentityOf(FRecord.Target))
      return;
    FFinished = TFinished::Unknown;
    if (FRecord.Made) {
      FFinished = TFinished::Yes;
      return;
    }
    const auto password = Password();
    if (!password) {
      Left("не проверено, закончил ли сервер копию (нет пароля пользователя " + FRecord.User +
           "); файл оставлен под своим именем: " + FRecord.Target);
      return;
    }
    const TEngineHistory engine = ReadEngineHistory(FRecord.Database, FRecord.Protocol, FRecord.User, *password);
    if (!engine.Known) {
      Done("не проверено, закончил ли сервер копию (" + engine.Error +
           "); файл оставлен под своим именем: " + FRecord.Target);
      return;
    }
    FFinished = EngineListsFile(engine.Backups, FRecord.Target) ? TFinished::Yes : TFinished::No;
  }

  void KeepFinishedTarget(const TReplacedPair& pair) {
    if (FFinished == TFinished::Yes)
      Done(
          "копия закончена сервером и записана в историю копий базы данных (RDB$BACKUP_HISTORY), файл сохранён под "
          "своим именем: " +
          pair.Target);
    if (!pair.Aside.empty() && IdentityOf(pair.Aside))
      Done("прежний файл того же имени оставлен как есть: " + pair.Aside);
  }

  void ResolvePair(const TReplacedPair& pair) {
    if (pair.Target == FRecord.Target && (FFinished == TFinished::Yes || FFinished == TFinished::Unknown)) {
      KeepFinishedTarget(pair);
      return;
    }
    const std::optional<TFileIdentity> aside = pair.Aside.empty() ? std::nullopt : IdentityOf(pair.Aside);
    // Noted, but gone: never moved, or back already.
    const bool asideOwn = aside && (!pair.AsideIdentity || *aside == *pair.AsideIdentity);
    const std::optional<TFileIdentity> target = IdentityOf(pair.Target);
    if (aside && !asideOwn) {
      Done("прежний файл изменён после задания и оставлен как есть: " + pair.Aside);
      return;
    }
    if (FRecord.Succeeded) {
      if (aside && target && DeleteFile(pair.Aside)) Done("прежний файл удалён: " + pair.Aside);
      return;
    }
    if (target) {
      if (!aside && !(pair.Aside.empty() && FRecord.RequestStarted)) return;
      const std::string notOwn = NotJobsOwn(pair.Target, *target);
      if (!notOwn.empty()) {
        Done(notOwn + pair.Target + (aside ? "; прежний файл сохранён как " + pair.Aside : std::string()));
        return;
      }
      Try([&] {
        const std::string failed = MoveToFreeName(pair.Target, pair.Target + ".failed");
        Done("неполный файл переименован: " + pair.Target + " -> " + failed);
      });
    }
    if (!aside) return;
    Try([&] {
      if (!RenameNoReplace(pair.Aside, pair.Target))
        throw EOSError(errno, "Cannot put " + pair.Aside + " back as " + pair.Target);
      Done("прежний файл возвращён под своё имя: " + pair.Aside + " -> " + pair.Target);
    });
  }

  // A job whose target had no earlier file (nothing was moved aside).
  void ResolveTargetAlone() { ResolvePair({FRecord.Target, {}, {}}); }

  // The temporary files of a copy ("<name>.part-XXXXXX") the job wrote.
  void RemoveTemporaries(const std::string& target) {
    const std::string folder = IncludeTrailingPathDelimiter(FolderOf(target));
    const auto names = FilesInFolder(folder);
    if (!names) return;
    for (const std::string& name : *names) {
      const std::string path = folder + name;
      if (!NamedAfter(path, target, ".part-", 6)) continue;
      const auto identity = IdentityOf(path);
      if (identity && UnchangedSince(*identity, FRecord.Alive) && DeleteFile(path))
        Done("временный файл удалён: " + path);
    }
  }

  void DropVerifyDatabase() {
    if (FRecord.VerifyDatabase.empty()) return;
    const auto password = Password();
    if (!password) {
      Left("временная база данных проверки не удалена: нет пароля пользователя " + FRecord.User + ": " +
           FRecord.VerifyDatabase);
      return;
    }
    const TRemovalResult result =
        RemoveTemporaryDatabase(FRecord.VerifyDatabase, FRecord.Protocol, FRecord.User, *password);
    if (result.Outcome == TRemoval::Failed)
      Done("временная база данных проверки НЕ удалена: " + FRecord.VerifyDatabase + " (" + result.Error + ")");
    else if (result.Outcome != TRemoval::NothingThere)
      Done("временная база данных проверки удалена: " + FRecord.VerifyDatabase);
  }

  // The database the job shut down, back on line through the same service
  // path a job takes, when nothing has changed it since the job (a backup's
  // request may still have read it on the server until its file was done).
  void StartDatabase() {
    if (!FRecord.ShutDown || !FRecord.RequestStarted) return;
    const std::string& database = FRecord.DatabaseToStart();
    const std::optional<TFileIdentity> file = IdentityOf(database);
    if (!file) {
      Done("база данных недоступна с этого компьютера, её режим не проверен и не изменён: " + database);
      return;
    }
    std::int64_t lastWork = FRecord.Alive;
    if (FRecord.Kind == TJobRecord::Backup) {
      for (const std::string& output : {FRecord.Target, FRecord.Target + ".failed"})
        if (const auto written = IdentityOf(output)) lastWork = std::max(lastWork, written->ModifiedNs / NsPerSecond);
    }
    if (!UnchangedSince(*file, lastWork)) {
      Done("база данных изменена после задания и оставлена в своём режиме: " + database);
      return;
    }
    const auto password = Password();
    if (!password) {
      Left("база данных не переведена в рабочий режим: нет пароля пользователя " + FRecord.User + ": " + database);
      return;
    }
    const TServerPath path = ServerPathOf(database, LocalComputerName(), ReadMountTable());
    const TStepResult result =
        BringDatabaseOnline(path.ServerName, path.LocalPath, FRecord.User, *password, FRecord.Protocol, FOutput);
    switch (result.Outcome) {
      case TStepOutcome::Done: Done("база данных в рабочем режиме: " + database); break;
      case TStepOutcome::Skipped:
        Done("база данных недоступна с этого компьютера, её режим не проверен: " + database);
        break;
      case TStepOutcome::Failed:
        Done("база данных НЕ переведена в рабочий режим: " + database + " (" + result.Error + ")");
        break;
    }
  }

  // A physical backup cut short leaves its database in backup mode (the
  // embedded engine died with the program). That mode is the job's own when
  // the database's backup GUID is the one the job's unfinished file carries;
  // ending it is offered, never done without asking.
  void EndBackupModeLeft() {
    if (!FRecord.RequestStarted || FRecord.Succeeded) return;
    const std::string& database = FRecord.Database;
    const auto password = Password();
    if (!password) {
      Left("режим резервного копирования базы данных не проверен: нет пароля пользователя " + FRecord.User + ": " +
           database);
      return;
    }
    const TServerPath path = ServerPathOf(database, LocalComputerName(), ReadMountTable());
    const TPhysicalState state =
        ReadPhysicalState(path.ServerName, path.LocalPath, FRecord.Protocol, FRecord.User, *password);
    if (!state.Known) {
      Done("режим резервного копирования базы данных не проверен: " + database + " (" + state.Error + ")");
      return;
    }
    if (!state.BackupMode) return;
    if (!FileIsBackup(FRecord.Target, state.BackupGuid)) {
      Done(
          "база данных в режиме резервного копирования, но его оставило не это задание; режим не изменён "
          "(его завершает ALTER DATABASE END BACKUP): " +
          database);
      return;
    }
    if (!FOutput.AskJobYesNo(Message(TMessage::RecoveryEndBackup, FOwner.FLanguage, {database}), false)) {
      Done("база данных оставлена в режиме резервного копирования по решению пользователя: " + database);
      return;
    }
    Try([&] {
      EndPhysicalBackupMode(path.ServerName, path.LocalPath, FRecord.Protocol, FRecord.User, *password);
      Done("режим резервного копирования завершён (ALTER DATABASE END BACKUP): " + database);
    });
  }

  std::optional<std::string> ShutdownState(const std::string& database) {
    const auto password = Password();
    if (!password) return std::nullopt;
    const TServerPath path = ServerPathOf(database, LocalComputerName(), ReadMountTable());
    return ReadShutdownState(path.ServerName, path.LocalPath, FRecord.Protocol, FRecord.User, *password);
  }

  // Asked for once; the embedded engine takes no password.
  std::optional<std::string> Password() {
    if (!FPasswordAsked) {
      FPasswordAsked = true;
      FPasswordGiven = static_cast<TProtocol>(FRecord.Protocol) == TProtocol::Local ? std::optional<std::string>("")
                       : FOwner.FPassword                                           ? FOwner.FPassword(FRecord)
                                                                                    : std::nullopt;
    }
    return FPasswordGiven;
  }

  void Left(const std::string& line) {
    Done(line);
    FLeftForLater = true;
  }

  template <typename TStep>
  void Try(TStep step) {
    try {
      step();
    } catch (const std::exception& e) {
      Done(std::string("ОШИБКА: ") + e.what());
    }
  }

  static std::string FolderOf(const std::string& file) {
    const std::size_t slash = file.find_last_of(PathDelim);
    return slash == std::string::npos ? std::string(".") : file.substr(0, slash);
  }

  // Whether a physical backup's server finished its file (None: no such
  // question, the job's files are judged as any job's).
  enum class TFinished { None, No, Yes, Unknown };

  TRecovery& FOwner;
  const TJobRecord& FRecord;
  TJobOutput& FOutput;
  TFinished FFinished = TFinished::None;
  std::vector<std::string> FLines;
  bool FPasswordAsked = false;
  std::optional<std::string> FPasswordGiven;
  bool FLeftForLater = false;
};

void TRecovery::AddToHistory(const TJobRecord& record, bool targetFinished, std::vector<std::string>& lines) {
  for (const THistoryRecord& entry : InterruptedJobRecords(record, targetFinished, lines, ReadHistory(FHistoryPath)))
    if (!AppendHistory(FHistoryPath, entry)) lines.push_back("запись в истории заданий не сделана: " + FHistoryPath);
}

bool TRecovery::FinishInterruptedJob(TJobOutput& output) {
  bool exists = false;
  const std::optional<std::string> text = ReadWholeFile(FPath, exists);
  if (!exists) return false;
  const std::optional<TJobRecord> record = text ? TJobRecord::Parse(*text) : std::nullopt;
  const std::string refusal = !record ? "запись о задании не читается" : RecordRefusal(*record, FSettingsPath);
  std::vector<std::string> lines;
  bool keep = false;
  if (refusal.empty()) {
    TRun run(*this, *record, output);
    run.Finish();
    lines = run.Lines();
    keep = run.LeftForLater();
    if (!keep) AddToHistory(*record, run.TargetFinished(), lines);
  } else {
    // Nothing is touched on the word of a record that is not the job's own;
    // what it said stays in the log and beside it.
    lines.push_back(refusal + "; ничего не изменено: " + FPath);
    if (text) lines.push_back("запись: " + OnOneLineRecord(*text));
    const std::string ignored = FPath + ".ignored";
    if (!RenameNoReplace(FPath, ignored) && !DeleteFile(FPath))
      lines.push_back("запись о задании не удалена: " + FPath);
  }
  if (keep)
    lines.push_back("запись о задании оставлена до следующего запуска: " + FPath);
  else if (refusal.empty() && !DeleteFile(FPath))
    lines.push_back("запись о задании не удалена: " + FPath);
  std::string notice = Message(keep ? TMessage::RecoveryUnfinished : TMessage::RecoveryFinished, FLanguage);
  for (const std::string& line : lines) {
    FLog.Stamped(LogPrefix + line);
    notice += "\n" + TranslatePhrases(line, NoticePhrases, TLanguage::Russian, FLanguage);
  }
  // Told once the work is done: the notice holds nothing up.
  output.Prompts().ShowNotice(notice);
  return true;
}
