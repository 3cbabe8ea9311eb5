// What the controller keeps of its jobs: the history records, the progress
// of the job under way, the plan's retention of old backups, and the
// restore's check that its backup file is still the one the history knows.

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "controller/current_job.h"
#include "controller/job_recorder.h"
#include "controller/quorvin.h"
#include "controller/retention.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "runner/local_copy_job.h"
#include "runner/local_copy_reader.h"
#include "runner/local_copy_writer.h"
#include "runner/log_pane.h"
#include "runner/schedule.h"
#include "runner/ui_seams.h"

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

std::optional<TJobProgress> TQuorvin::JobProgress() const {
  if (!FRecorder) return std::nullopt;
  return FRecorder->Progress();
}

void TQuorvin::NotifyProgress() {
  if (!OnJobProgress) return;
  try {
    OnJobProgress();
  } catch (...) {
    // A display that fails to refresh is no reason to stop the job.
  }
}

void TQuorvin::FinishRecord(TJobRecorder& recorder, bool succeeded, const std::string& reason) {
  if (!recorder.Finish(succeeded, reason))
    SaveStrToLog(LogStamp() + " Не удалось записать историю заданий. " + HistoryPath());
}

const char* TQuorvin::JobBy() const { return Busy ? HistoryByPlan : HistoryByUser; }

void TQuorvin::WatchJob(TJobRecorder& recorder, TSchedule& job, std::vector<std::string>* keep) {
  recorder.Watch(
      job, [this] { NotifyProgress(); }, keep);
}

void TQuorvin::ApplyRetention() {
  const TRetentionRule rule{KeepLastBackups, KeepBackupDays};
  if (!rule.Active()) return;
  const auto names = BackDir.empty() ? std::nullopt : FilesInFolder(BackDir);
  if (!names) {
    SaveStrToLog(LogStamp() + " Папка резервных копий недоступна, старые копии не удалены. " + BackDir);
    return;
  }
  const std::string justMade = std::filesystem::path(BackFile).filename().string();
  for (const std::string& name : BackupsToRemove(*names, BackBaseName, justMade, rule, Now())) {
    const std::string path = BackDir + name;
    if (DeleteFile(path)) {
      SaveStrToLog(LogStamp() + " Удалена старая резервная копия. " + path);
    } else {
      SaveStrToLog(LogStamp() + " Не удалось удалить старую резервную копию. " + path + " (" + std::strerror(errno) +
                   ")");
    }
  }
}

bool TQuorvin::RestoreSourceUnchanged(TJobRecorder& recorder) {
  const TFileFacts now = RestoreSourceFacts(RestoreSource, RestoreTarget);
  recorder.SetFileFacts(now);
  // A file this computer cannot read is left to the server to judge.
  if (!now.Size) return true;
  const auto made = RecordedFacts(recorder.History(), RestoreSource);
  if (!made) return true;
  const bool sizeDiffers = made->Size && now.Size != made->Size;
  const bool hashDiffers = !made->Sha256.empty() && !now.Sha256.empty() && now.Sha256 != made->Sha256;
  if (!sizeDiffers && !hashDiffers) return true;
  const std::string text = WithFile(ChangedSourceText, RestoreSource);
  SaveStrToLog(LogStamp() + " Восстановление отменено. " + text);
  AddPaneLine("ERROR: " + text);
  ShowJobMessage(text);
  FinishRecord(recorder, false, text);
  return false;
}
