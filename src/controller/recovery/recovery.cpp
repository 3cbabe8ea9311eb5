#include "controller/recovery/recovery.h"

#include <cerrno>
#include <string>
#include <vector>

#include "controller/jobs/job_record.h"
#include "controller/log/operation_log.h"
#include "platform/exception.h"
#include "platform/file_aside.h"
#include "platform/files.h"
#include "platform/mount_table.h"
#include "runner/database_control.h"
#include "runner/job_output.h"
#include "runner/job_paths.h"
#include "runner/log_pane.h"

namespace {

constexpr const char* LogPrefix = " Восстановление после прерванного задания: ";

std::string JobDescription(const TJobRecord& record) {
  const std::string what = record.Kind == TJobRecord::Restore ? "восстановление базы данных " + record.Target
                           : record.Target.empty() ? "резервное копирование " + record.Database
                                                   : "резервное копирование " + record.Database + " в " + record.Target;
  return what + ", начато " + record.Started;
}

// The files as the job would have left them: after a success the earlier
// file goes; otherwise whatever the request wrote under the target's name
// becomes ".failed" (never replacing a file) and the earlier file comes back.
// One line for each thing done.
void RestoreFiles(const TJobRecord& record, std::vector<std::string>& done) {
  const bool asideThere = !record.Aside.empty() && FileExists(record.Aside);
  if (record.Succeeded) {
    if (asideThere && FileExists(record.Target) && DeleteFile(record.Aside))
      done.push_back("прежний файл удалён: " + record.Aside);
    return;
  }
  // With the earlier file still aside, the file under its name is the
  // job's; without one noted, it is the job's once the request had begun.
  // An aside noted but gone was never moved, or is back already.
  const bool partial = asideThere || (record.Aside.empty() && record.RequestStarted);
  try {
    if (partial && FileExists(record.Target)) {
      const std::string failed = MoveToFreeName(record.Target, record.Target + ".failed");
      done.push_back("неполный файл переименован: " + record.Target + " -> " + failed);
    }
    if (asideThere) {
      if (!RenameNoReplace(record.Aside, record.Target)) {
        throw EOSError(errno, "Cannot put " + record.Aside + " back as " + record.Target);
      }
      done.push_back("прежний файл возвращён под своё имя: " + record.Aside + " -> " + record.Target);
    }
  } catch (const std::exception& e) {
    done.push_back(std::string("ОШИБКА: ") + e.what());
  }
}

// The database the job shut down, back on line through the same service
// path a job takes.
void StartDatabase(const TJobRecord& record, std::vector<std::string>& done, TJobOutput& output) {
  if (!record.ShutDown) return;
  const std::string& database = record.DatabaseToStart();
  const TServerPath path = ServerPathOf(database, LocalComputerName(), ReadMountTable());
  const TStepResult result =
      BringDatabaseOnline(path.ServerName, path.LocalPath, record.User, record.Password, record.Protocol, output);
  switch (result.Outcome) {
    case TStepOutcome::Done: done.push_back("база данных в рабочем режиме: " + database); break;
    case TStepOutcome::Skipped:
      done.push_back("база данных недоступна с этого компьютера, её режим не проверен: " + database);
      break;
    case TStepOutcome::Failed:
      done.push_back("база данных НЕ переведена в рабочий режим: " + database + " (" + result.Error + ")");
      break;
  }
}

}  // namespace

bool TRecovery::FinishInterruptedJob(TJobOutput& output) {
  bool exists = false;
  const std::optional<std::string> text = ReadWholeFile(FPath, exists);
  if (!exists) return false;
  std::string notice = "Задание, прерванное при прошлом запуске программы, завершено:";
  std::vector<std::string> done;
  const std::optional<TJobRecord> record = text ? TJobRecord::Parse(*text) : std::nullopt;
  if (record) {
    done.push_back(JobDescription(*record));
    RestoreFiles(*record, done);
    StartDatabase(*record, done, output);
  } else {
    done.push_back("запись о задании не читается: " + FPath);
  }
  if (!DeleteFile(FPath)) done.push_back("запись о задании не удалена: " + FPath);
  for (const std::string& line : done) {
    FLog.Stamped(LogPrefix + line);
    notice += "\n" + line;
  }
  // Told once the work is done: the notice holds nothing up.
  output.Prompts().ShowNotice(notice);
  return true;
}
