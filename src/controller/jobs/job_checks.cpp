// What the jobs keep of themselves: the history records, the progress of the
// job under way, the plan's retention of old backups, and the restore's check
// that its backup file is still the one the history knows.

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <set>

#include "controller/history/job_recorder.h"
#include "controller/jobs/database_jobs.h"
#include "controller/jobs/job_scope.h"
#include "controller/jobs/retention.h"
#include "controller/log/operation_log.h"
#include "jobs/job_runner.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "runner/job_output.h"
#include "runner/local_copy_job.h"
#include "runner/local_copy_reader.h"
#include "runner/local_copy_writer.h"

namespace {

constexpr const char* ChangedSourceText = "Файл резервной копии изменён или обрезан после создания: %s";

std::string WithFile(std::string_view text, const std::string& file) {
  const std::size_t at = text.find("%s");
  return std::string(text.substr(0, at)) + file + std::string(text.substr(at + 2));
}

// A file the job feeds from this computer is checked against its checksum
// file before anything is touched: that digest stands for the file's own,
// so a large file is read once per restore.
TFileFacts RestoreSourceFacts(const std::string& source, const std::string& target) {
  if (RestoreFedFromThisComputer(source, target)) {
    if (const auto digest = ReadChecksumFile(ChecksumFileOf(source))) {
      if (const auto size = FileSize(source)) return {size, *digest};
    }
  }
  return FileFactsOf(source);
}

}  // namespace

TRunningJob TDatabaseJobs::RunningJob() const {
  std::lock_guard<std::mutex> guard(FProgressMutex);
  return FRunningJob;
}

std::optional<TJobProgress> TDatabaseJobs::JobProgress() const {
  std::lock_guard<std::mutex> guard(FProgressMutex);
  if (!FRecorder) return std::nullopt;
  if (!FPhases) {
    TJobProgress unknown;
    unknown.Estimated = false;
    return FRecorder->Progress().value_or(unknown);
  }
  // The copy prints no lines and grows no file the job can name: its time
  // against the earlier copy's tells.
  const bool byTime = FPhases->Current() == TJobPhase::Copy;
  return FPhases->Estimate(Now(), byTime ? std::nullopt : FRecorder->Fraction());
}

void TDatabaseJobs::EnterPhase(TJobPhase phase) {
  if (!FPhases) return;
  FPhases->Enter(phase, Now());
  NotifyProgress();
}

void TDatabaseJobs::NotifyProgress() {
  if (!OnJobProgress) return;
  try {
    OnJobProgress();
  } catch (...) {
    // A display that fails to refresh is no reason to stop the job.
  }
}

void TDatabaseJobs::FinishRecord(TJobRecorder& recorder, bool succeeded, const std::string& reason) {
  if (!recorder.Finish(succeeded, reason)) FLog.Stamped(" Не удалось записать историю заданий. " + FPlaces.HistoryPath);
}

void TDatabaseJobs::WatchJob(TJobRecorder& recorder, TJobRunner& job, std::vector<std::string>* keep) {
  recorder.Watch(
      job, [this] { NotifyProgress(); }, keep);
}

void TDatabaseJobs::ApplyRetention(const TDatabaseOptions& db, const TBackupOutcome& made) {
  const TRetentionRule rule{db.KeepLastBackups, db.KeepBackupDays};
  if (!rule.Active()) return;
  // The plan's own backups of this database, as the history knows them.
  // Their failed backups, renamed ".failed", go by the same rules: a database
  // that fails night after night does not fill its folder with them.
  std::set<std::string> own;
  std::set<std::string> failed;
  for (const THistoryRecord& record : ReadHistory(FPlaces.HistoryPath)) {
    if (record.Kind != HistoryKindBackup || record.By != HistoryByPlan || record.Database != db.DataBase) continue;
    if (!record.Succeeded() && !record.File.empty()) failed.insert(record.File + ".failed");
    if (!record.Succeeded()) continue;
    for (const std::string& file : {record.File, record.Copy})
      if (!file.empty()) own.insert(file);
  }
  const std::string& base = made.Name.BackBaseName;
  const bool serverFile = db.LocalCopyDir.empty() || !db.LocalCopyOnly;
  if (serverFile) {
    const std::string justMade = std::filesystem::path(made.BackFile).filename().string();
    RemoveOldBackups(made.Name.BackDir, own, {base, ".gbk", justMade, rule}, " Удалена старая резервная копия. ");
    RemoveOldBackups(made.Name.BackDir, failed, {base, ".gbk.failed", {}, rule},
                     " Удалена старая неудачная резервная копия. ");
  }
  if (!db.LocalCopyDir.empty()) {
    const std::string justMade = made.Copy ? std::filesystem::path(made.Copy->File).filename().string() : "";
    RemoveOldBackups(IncludeTrailingPathDelimiter(db.LocalCopyDir), own, {base, ".gbk.zst", justMade, rule},
                     " Удалена старая копия на этом компьютере. ");
  }
}

void TDatabaseJobs::RemoveOldBackups(const std::string& folder, const std::set<std::string>& own,
                                     const TRetentionNames& names, const char* removedText) {
  const auto files = folder.empty() ? std::nullopt : FilesInFolder(folder);
  if (!files) {
    FLog.Stamped(" Папка резервных копий недоступна, старые копии не удалены. " + folder);
    return;
  }
  std::vector<std::string> plans;
  for (const std::string& name : *files)
    if (own.count(folder + name) > 0) plans.push_back(name);
  for (const std::string& name :
       BackupsToRemove(plans, names.Base, names.JustMade, names.Rule, Now(), names.Extension)) {
    const std::string path = folder + name;
    if (!DeleteFile(path)) {
      FLog.Stamped(" Не удалось удалить старую резервную копию. " + path + " (" + std::strerror(errno) + ")");
      continue;
    }
    FLog.Stamped(removedText + path);
    // A copy's checksum file goes with it.
    const std::string checksum = ChecksumFileOf(path);
    if (names.Extension != std::string_view(".gbk") && FileExists(checksum)) DeleteFile(checksum);
  }
}

bool TDatabaseJobs::RestoreSourceUnchanged(TJobRecorder& recorder, const std::string& source, const std::string& target,
                                           TJobOutput& output) {
  const TFileFacts now = RestoreSourceFacts(source, target);
  recorder.SetFileFacts(now);
  // A file this computer cannot read is left to the server to judge.
  if (!now.Size) return true;
  const auto made = RecordedFacts(recorder.History(), source);
  if (!made) return true;
  const bool sizeDiffers = made->Size && now.Size != made->Size;
  const bool hashDiffers = !made->Sha256.empty() && !now.Sha256.empty() && now.Sha256 != made->Sha256;
  if (!sizeDiffers && !hashDiffers) return true;
  RefuseRestore(recorder, target, output, WithFile(ChangedSourceText, source));
  return false;
}

void TDatabaseJobs::RefuseRestore(TJobRecorder& recorder, const std::string& target, TJobOutput& output,
                                  const std::string& text) {
  FLog.Stamped(" Восстановление отменено. " + text);
  FLog.Stamped(" Резервная копия НЕ восстановлена. " + target);
  FLog.Stamped(" Причина: " + text);
  output.AddPaneLine("ERROR: " + text);
  output.ShowJobMessage(text);
  FinishRecord(recorder, false, text);
}
