#include "controller/recovery/interrupted_history.h"

#include "controller/history/job_recorder.h"
#include "controller/jobs/incremental/chain.h"
#include "platform/clock.h"
#include "platform/iso_time.h"
#include "service/nbackup_file.h"

namespace {

const char* HistoryKindOf(const TJobRecord& record) {
  if (record.Kind == TJobRecord::Restore) return HistoryKindRestore;
  if (record.Kind == TJobRecord::NBackup) return HistoryKindNBackup;
  return HistoryKindBackup;
}

THistoryRecord CommonRecord(const TJobRecord& record, const char* kind) {
  THistoryRecord common;
  const std::string now = FormatIso8601(Now());
  common.Start = record.StartedAt.empty() ? now : record.StartedAt;
  common.End = now;
  common.Kind = kind;
  common.By = record.By.empty() ? HistoryByUser : record.By;
  common.Database = record.Database;
  common.File = record.Kind == TJobRecord::Restore ? record.Source : record.Target;
  return common;
}

// A physical backup's file with its facts and its place in its chain; a
// failure when the program cannot restore it.
THistoryRecord MadeLevel(const TJobRecord& record, const std::vector<THistoryRecord>& history) {
  THistoryRecord made = CommonRecord(record, HistoryKindNBackup);
  const TFileFacts facts = FileFactsOf(record.Target);
  made.Size = facts.Size;
  made.Sha256 = facts.Sha256;
  const TChain chain = FindChain(record.Target, history);
  if (!chain.Links.empty()) made.Level = chain.Links.back().Level;
  made.Outcome = chain.Refusal.empty() ? HistorySuccess : HistoryFailure;
  made.Reason = chain.Refusal;
  if (!chain.Refusal.empty()) return made;
  made.Chain = chain.Links.front().File;
  if (chain.Links.size() > 1) made.Base = chain.Links[chain.Links.size() - 2].File;
  return made;
}

std::string ReasonOf(const std::vector<std::string>& steps) {
  std::string done;
  // The first step is the job's description.
  for (std::size_t i = 1; i < steps.size(); ++i) done += (done.empty() ? "" : "; ") + steps[i];
  return std::string(InterruptedReason) + "; finished at the next start: " + (done.empty() ? "nothing was left" : done);
}

}  // namespace

std::vector<THistoryRecord> InterruptedJobRecords(const TJobRecord& record, bool targetFinished,
                                                  const std::vector<std::string>& steps,
                                                  const std::vector<THistoryRecord>& history) {
  if (record.Kind == TJobRecord::NBackup && (record.Succeeded || targetFinished)) {
    std::vector<THistoryRecord> records{MadeLevel(record, history)};
    if (record.Succeeded || !record.Verify) return records;
    THistoryRecord verify = CommonRecord(record, HistoryKindVerify);
    verify.Level = records.front().Level;
    verify.Outcome = HistoryFailure;
    verify.Reason = ReasonOf(steps);
    records.push_back(verify);
    return records;
  }
  THistoryRecord job = CommonRecord(record, HistoryKindOf(record));
  job.Outcome = record.Succeeded ? HistorySuccess : HistoryFailure;
  if (record.Succeeded && record.Kind == TJobRecord::Backup) {
    const TFileFacts facts = FileFactsOf(record.Target);
    job.Size = facts.Size;
    job.Sha256 = facts.Sha256;
  }
  if (!record.Succeeded) job.Reason = ReasonOf(steps);
  return {job};
}
