#include "controller/history/job_recorder.h"

#include "jobs/job_runner.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/iso_time.h"
#include "platform/sha256.h"
#include "platform/text.h"

TFileFacts FileFactsOf(const std::string& path) {
  TFileFacts facts;
  facts.Size = FileSize(path);
  if (!facts.Size) return facts;
  try {
    facts.Sha256 = Sha256OfFile(path);
  } catch (const std::exception&) {
    // Not readable here: the record goes without a checksum.
  }
  return facts;
}

TJobRecorder::TJobRecorder(std::string historyPath, TJobOutput& output, const char* kind, const char* by,
                           std::string database, std::string file, std::string grownFile, TCopyShape copy)
    : FHistoryPath(std::move(historyPath)),
      FHistory(ReadHistory(FHistoryPath)),
      FBaseline(LastSuccessful(FHistory, kind, database, copy)),
      FProgress(Now(), FBaseline, std::move(grownFile), copy == TCopyShape::Only),
      FOutput(output),
      FMark(output.Collected().size()) {
  FRecord.Start = FormatIso8601(Now());
  FRecord.Kind = kind;
  FRecord.By = by;
  FRecord.Database = std::move(database);
  FRecord.File = std::move(file);
}

void TJobRecorder::Watch(TJobRunner& job, std::function<void()> notify, std::vector<std::string>* keep) {
  FWatching = true;
  job.OnOutputLine = [this, notify = std::move(notify), keep](const std::string& line) {
    FProgress.AddLine();
    if (keep) keep->push_back(line);
    if (notify) notify();
  };
}

std::optional<TJobProgress> TJobRecorder::Progress() const { return FProgress.Estimate(Now()); }

std::optional<double> TJobRecorder::Fraction() const {
  // Before the job runs, the file it will grow may still be the earlier
  // one, about to be moved aside.
  if (!FWatching) return std::nullopt;
  return FProgress.Fraction(Now());
}

void TJobRecorder::SetPhaseSeconds(std::optional<std::int64_t> copy, std::optional<std::int64_t> verify) {
  FRecord.CopySeconds = copy;
  FRecord.VerifySeconds = verify;
}

void TJobRecorder::SetFileFacts(const TFileFacts& facts) {
  FRecord.Size = facts.Size;
  FRecord.Sha256 = facts.Sha256;
}

void TJobRecorder::SetCopy(const TLocalCopyInfo& copy, bool isTheBackup) {
  FRecord.Copy = copy.File;
  FRecord.CopySize = copy.OutputBytes;
  FRecord.CopySha256 = copy.Sha256;
  if (isTheBackup) {
    FRecord.File = copy.File;
    SetFileFacts({copy.OutputBytes, copy.Sha256});
  }
}

bool TJobRecorder::Finish(bool succeeded, const std::string& reason) {
  if (FFinished) return true;
  FFinished = true;
  FRecord.End = FormatIso8601(Now());
  FRecord.Outcome = succeeded ? HistorySuccess : HistoryFailure;
  if (!succeeded) FRecord.Reason = reason.empty() ? ReportedError() : reason;
  FRecord.Lines = FProgress.Lines();
  // A history that cannot be written costs this record only; the job's
  // outcome stands and is in the operation log.
  return AppendHistory(FHistoryPath, FRecord);
}
