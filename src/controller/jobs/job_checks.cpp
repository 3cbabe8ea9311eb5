// What the jobs keep of themselves: the history records, the progress of the
// job under way, the plan's retention of old backups, and the restore's check
// that its backup file is still the one the history knows.

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "controller/history/job_recorder.h"
#include "controller/jobs/database_jobs.h"
#include "controller/jobs/job_scope.h"
#include "controller/jobs/retention.h"
#include "controller/log/operation_log.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "runner/job_output.h"
#include "runner/local_copy_job.h"
#include "runner/local_copy_reader.h"
#include "runner/local_copy_writer.h"
#include "runner/schedule.h"

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

std::optional<TJobProgress> TDatabaseJobs::JobProgress() const {
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

void TDatabaseJobs::WatchJob(TJobRecorder& recorder, TSchedule& job, std::vector<std::string>* keep) {
  recorder.Watch(
      job, [this] { NotifyProgress(); }, keep);
}

void TDatabaseJobs::ApplyRetention(const TDatabaseOptions& db, const TBackupOutcome& made) {
  const TRetentionRule rule{db.KeepLastBackups, db.KeepBackupDays};
  if (!rule.Active()) return;
  const std::string& backDir = made.Name.BackDir;
  const auto names = backDir.empty() ? std::nullopt : FilesInFolder(backDir);
  if (!names) {
    FLog.Stamped(" Папка резервных копий недоступна, старые копии не удалены. " + backDir);
    return;
  }
  const std::string justMade = std::filesystem::path(made.BackFile).filename().string();
  for (const std::string& name : BackupsToRemove(*names, made.Name.BackBaseName, justMade, rule, Now())) {
    const std::string path = backDir + name;
    if (DeleteFile(path)) {
      FLog.Stamped(" Удалена старая резервная копия. " + path);
    } else {
      FLog.Stamped(" Не удалось удалить старую резервную копию. " + path + " (" + std::strerror(errno) + ")");
    }
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
  const std::string text = WithFile(ChangedSourceText, source);
  FLog.Stamped(" Восстановление отменено. " + text);
  output.AddPaneLine("ERROR: " + text);
  output.ShowJobMessage(text);
  FinishRecord(recorder, false, text);
  return false;
}
